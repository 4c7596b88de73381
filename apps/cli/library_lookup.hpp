// Where the tool finds libulvadern.so: $ULVADERN_LIBRARY when set (and then
// only there), else next to the executable, in its parent directory, or in
// ../lib relative to it (an installed layout).
#pragma once

#include <filesystem>
#include <memory>

#include "ulvadern/loader.hpp"

namespace ulvcli {

std::filesystem::path findLibrary();
// Opens the library through the host's loader (initialisers run).
std::unique_ptr<ulv::LoadedLibrary> openLibrary();

}  // namespace ulvcli
