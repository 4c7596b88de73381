// The work directory's MAT-files kept in memory.
//
// The library hands data from one function to the next through MAT-files of
// fixed names in its work directory ("minimiza", "mascaras"). Where nobody
// looks at those files (a private temporary directory), a host may keep them
// in memory instead: while a ScopedMemoryWorkDirectory lives on a thread, the
// library's saves of plain file names in that directory keep the variables as
// they are (the arrays share their storage: no serialisation, no copy), and
// loads are served from them. A load of a file that no save kept reads the
// disk, and so fails as it would have. The directory's lock applies as for
// files. Loading gives what loading the file would: the names are checked as
// the writer checks them, and a save holding a cell, which the file stores in
// its own way, is written to the disk as before.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ulvadern/array.hpp"

namespace ulv {

namespace matfile {
class MemoryFiles;
}

// Keeps the MAT-files of this thread's work directory (the host directory,
// else the process's current directory) in memory for its scope; they are
// gone with it. The files named in `unread` (as the library names them:
// "mascaras") are ones the host will not read: their saves are checked, then
// dropped, so that their arrays are freed as soon as the library is done
// with them.
class ScopedMemoryWorkDirectory {
 public:
  explicit ScopedMemoryWorkDirectory(const std::vector<std::string>& unread = {});
  ~ScopedMemoryWorkDirectory();
  ScopedMemoryWorkDirectory(const ScopedMemoryWorkDirectory&) = delete;
  ScopedMemoryWorkDirectory& operator=(const ScopedMemoryWorkDirectory&) = delete;

 private:
  std::unique_ptr<matfile::MemoryFiles> files_;
  matfile::MemoryFiles* outer_;
};

}  // namespace ulv
