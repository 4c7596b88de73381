#include "ulvadern/library_location.hpp"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <utility>

namespace ulv {

namespace {

// An address inside this library, for dladdr to name the file it came from.
void anchor() {}

}  // namespace

std::optional<std::string> configuredLibrary() {
  const char* value = std::getenv(kLibraryVariable);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

std::string bundledLibrary() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&anchor), &info) == 0 || info.dli_fname == nullptr ||
      *info.dli_fname == '\0') {
    return kLibraryFile;
  }
  // dli_fname is the path the library was loaded by, as the search path
  // spelled it ("lib/python3/dist-packages/ulvadern/../../../libulvhost.so.1"):
  // the real file's directory is the one meant.
  std::error_code error;
  const std::filesystem::path self = std::filesystem::weakly_canonical(info.dli_fname, error);
  if (error) return kLibraryFile;
  return (self.parent_path() / kLibraryFile).string();
}

std::string defaultLibrary() {
  if (auto configured = configuredLibrary()) return *std::move(configured);
  return bundledLibrary();
}

}  // namespace ulv
