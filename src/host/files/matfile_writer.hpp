// Writing MAT-files whole or not at all (internal to the MAT-file code).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "host/files/matfile.hpp"
#include "host/files/memory_files.hpp"
#include "ulvadern/array.hpp"

namespace ulv::matfile {

// The host error a save of `variables` to `path` raises before it writes:
// a name that is not a variable name or is given twice, a value absent or
// unassigned.
void checkVariables(const std::string& path, const VariableRefs& variables);

// Writes `variables` to `path` (level 5, uncompressed). The data go to a
// temporary file beside it, which is synced, read back and compared with
// what was meant before it replaces `path`. On any failure the temporary file
// is removed, `path` is left as it was, and a host error names `path` and the
// system's reason ("No space left on device", "File too large").
void saveAtomically(const std::string& path, const VariableRefs& variables);

// Who hears of the temporary files (see setTemporaryFileHooks).
TemporaryFileHooks& temporaryFileHooks();

}  // namespace ulv::matfile
