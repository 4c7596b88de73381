// Where a host program finds the function library, libulvadern.so, when its
// user names none: beside this host library (libulvhost.so), which is where
// the build folder, an installed prefix, the Python package and the Octave
// package all keep the two. $ULVADERN_LIBRARY names another one.
#pragma once

#include <optional>
#include <string>

namespace ulv {

inline constexpr const char* kLibraryFile = "libulvadern.so";
inline constexpr const char* kLibraryVariable = "ULVADERN_LIBRARY";

// The variable's value, when it is set and not empty.
std::optional<std::string> configuredLibrary();

// libulvadern.so in the directory libulvhost.so was loaded from; the bare
// file name (left to the dynamic linker's search) when that is unknown.
std::string bundledLibrary();

// configuredLibrary() when set, else bundledLibrary().
std::string defaultLibrary();

}  // namespace ulv
