// MAT-files (level 5) through libmatio: the host's save and conditional load.
//
// A file name without an extension gets ".mat"; relative names are relative to
// the current directory. Saving writes a temporary file in the same directory,
// syncs it, reads it back and compares it with what was meant, and only then
// renames it over the target: a file is written whole or not at all, and a
// failure (a full disk, a size limit) is a host error that names the file and
// the system's reason. Loading checks the whole file first: every variable's
// stored data must match its size and class, and what the variables would
// take in memory must fit in what is available (matfile_layout.hpp). Names
// and bytes from files appear in messages escaped (printable.hpp).
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "ulvadern/array.hpp"

namespace ulv {

std::string matFileName(const std::string& name);

// Makes `directory` the current directory of the library's save and load on
// this thread for the scope (instead of the process's), so that hosts can run
// calls on several threads, each in a directory of its own.
class ScopedHostDirectory {
 public:
  explicit ScopedHostDirectory(std::string directory);
  ~ScopedHostDirectory();
  ScopedHostDirectory(const ScopedHostDirectory&) = delete;
  ScopedHostDirectory& operator=(const ScopedHostDirectory&) = delete;

 private:
  std::string previous_;
};

// This thread's host directory; empty: the process's current directory.
const std::string& currentHostDirectory();

// save(file, "w", name1, value1, ...): mode "w" overwrites.
void mlfSave(const mxArray& file, const mxArray& mode,
             const std::vector<std::pair<std::string, const mxArray*>>& variables);

// load(file) into the named variables: each variable present in the file
// replaces the target's value; absent ones are left alone. A missing or
// unreadable file is a host error.
void mclLoadConditional(const mxArray& file,
                        const std::vector<std::pair<std::string, mxArray*>>& targets);

// Hosts that clean up after fatal signals learn of the temporary files that
// saves make beside their targets: `announce` gets a temporary's path before
// the file is created, `withdraw` once it is gone or has replaced its target.
// Both run on the saving thread. Set once, before any save; empty functions
// (the default) tell nobody.
struct TemporaryFileHooks {
  std::function<void(const std::string&)> announce;
  std::function<void(const std::string&)> withdraw;
};
void setTemporaryFileHooks(TemporaryFileHooks hooks);

// Host-side helpers for tools: every variable of a file, in file order.
std::vector<std::pair<std::string, mxArray>> loadAllVariables(const std::string& path);
void saveVariables(const std::string& path,
                   const std::vector<std::pair<std::string, mxArray>>& variables);

}  // namespace ulv
