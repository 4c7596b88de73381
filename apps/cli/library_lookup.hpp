// Where the tool finds libulvadern.so: $ULVADERN_LIBRARY when set (and then
// only there), else beside libulvhost.so, the host library the tool runs on
// (the build folder, or the lib directory of an installed prefix).
#pragma once

#include <filesystem>
#include <memory>

#include "ulvadern/loader.hpp"

namespace ulvcli {

std::filesystem::path findLibrary();
// Opens the library through the host's loader (initialisers run).
std::unique_ptr<ulv::LoadedLibrary> openLibrary();

}  // namespace ulvcli
