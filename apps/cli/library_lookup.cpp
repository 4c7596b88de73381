#include "library_lookup.hpp"

#include <stdexcept>
#include <string>

#include "library_location.hpp"

namespace ulvcli {

namespace fs = std::filesystem;

fs::path findLibrary() {
  if (const auto chosen = ulvapps::configuredLibrary()) return *chosen;
  const fs::path bundled = ulvapps::bundledLibrary();
  std::error_code error;
  if (fs::is_regular_file(bundled, error)) return bundled;
  throw std::runtime_error("cannot find " + bundled.string() + "\nSet " +
                           ulvapps::kLibraryVariable + " to the path of " + ulvapps::kLibraryFile +
                           ".");
}

std::unique_ptr<ulv::LoadedLibrary> openLibrary() {
  return ulv::LoadedLibrary::open(findLibrary());
}

}  // namespace ulvcli
