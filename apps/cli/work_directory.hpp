// The directory the library's MAT-files go to: the process's current
// directory during a call, as the original host had it.
#pragma once

#include <filesystem>

namespace ulvcli {

// Creates the directory when missing and makes it current.
void enterWorkDirectory(const std::filesystem::path& directory);

// The path made absolute against the current directory, so that it keeps
// naming the same file after enterWorkDirectory.
std::filesystem::path absoluteFrom(const std::filesystem::path& path);

}  // namespace ulvcli
