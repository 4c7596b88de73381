// Writing MAT-files whole or not at all (internal to the MAT-file code).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "host/files/matfile.hpp"
#include "ulvadern/array.hpp"

namespace ulv::matfile {

using VariableRefs = std::vector<std::pair<std::string, const mxArray*>>;

// Writes `variables` to `path` (level 5, uncompressed). The data go to a
// temporary file beside it, which is synced, read back and compared with
// what was meant before it replaces `path`. On any failure the temporary file
// is removed, `path` is left as it was, and a host error names `path` and the
// system's reason ("No space left on device", "File too large").
void saveAtomically(const std::string& path, const VariableRefs& variables);

// Who hears of the temporary files (see setTemporaryFileHooks).
TemporaryFileHooks& temporaryFileHooks();

}  // namespace ulv::matfile
