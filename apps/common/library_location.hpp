// The setting every host program of ours honours: $ULVADERN_LIBRARY names the
// libulvadern.so to load instead of the one the program would pick itself.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace ulvapps {

inline constexpr const char* kLibraryFile = "libulvadern.so";
inline constexpr const char* kLibraryVariable = "ULVADERN_LIBRARY";

// The variable's value, when it is set and not empty.
inline std::optional<std::string> configuredLibrary() {
  const char* value = std::getenv(kLibraryVariable);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

}  // namespace ulvapps
