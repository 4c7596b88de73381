#include "library_lookup.hpp"

#include <stdexcept>
#include <string>
#include <vector>

#include "library_location.hpp"

namespace ulvcli {

namespace fs = std::filesystem;

namespace {

using ulvapps::kLibraryFile;
using ulvapps::kLibraryVariable;

std::vector<fs::path> candidatePaths() {
  std::error_code error;
  const fs::path executable = fs::read_symlink("/proc/self/exe", error);
  if (error) return {};
  const fs::path directory = executable.parent_path();
  return {directory / kLibraryFile, directory.parent_path() / kLibraryFile,
          directory.parent_path() / "lib" / kLibraryFile};
}

}  // namespace

fs::path findLibrary() {
  if (const auto chosen = ulvapps::configuredLibrary()) return *chosen;
  std::string tried;
  for (const fs::path& candidate : candidatePaths()) {
    std::error_code error;
    if (fs::is_regular_file(candidate, error)) return candidate;
    tried += "\n  " + candidate.string();
  }
  throw std::runtime_error(std::string("cannot find ") + kLibraryFile + "; looked in:" + tried +
                           "\nSet " + kLibraryVariable + " to its path.");
}

std::unique_ptr<ulv::LoadedLibrary> openLibrary() {
  return ulv::LoadedLibrary::open(findLibrary());
}

}  // namespace ulvcli
