// Output files are written whole: into a temporary file in the target's
// directory, then renamed over the target, so a reader (or a crash) never
// sees half a file. Inputs are never overwritten.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ulvadern/array.hpp"

namespace ulvcli {

namespace fs = std::filesystem;

// Calls write(temporary) and renames the temporary over `target`. The
// temporary keeps the target's extension (some writers look at it) and is
// removed when write throws. A symbolic link is followed: the file it names
// is replaced in its own directory and the link stays. A FIFO or device
// (/dev/stdout) is written in place once the content is complete; a
// directory is refused.
void replaceFile(const fs::path& target, const std::function<void(const fs::path&)>& write);
// Writes bytes to `target` whole.
void writeFileWhole(const fs::path& target, std::string_view bytes);
// Writes bytes to standard output, in place like a FIFO (it is left open).
void writeStandardOutput(std::string_view bytes);
// Saves the variables as a MAT-file at `target`, whole; errors name `target`.
void writeMatFileWhole(const fs::path& target,
                       const std::vector<std::pair<std::string, ulv::mxArray>>& variables);

// True when both name the same file: the same resolved path, or the same inode.
bool sameFile(const fs::path& a, const fs::path& b);
// Throws when `output` is one of `inputs`.
void refuseToOverwrite(const fs::path& output, const std::vector<fs::path>& inputs);

}  // namespace ulvcli
