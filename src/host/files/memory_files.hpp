// MAT-files held in memory (internal to the MAT-file code): the work
// directory's store (work_directory_store.hpp) and the files of the tasks of
// a call that run side by side (host/loader/call_tasks.hpp).
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ulvadern/array.hpp"

namespace ulv::matfile {

using Variables = std::vector<std::pair<std::string, mxArray>>;
using VariableRefs = std::vector<std::pair<std::string, const mxArray*>>;

// Files by path, in the order they were first saved.
class MemoryFiles {
 public:
  // Files in `directory` ("": the process's current one) only; see serves().
  // Saves of the files named in `unread` are dropped.
  explicit MemoryFiles(std::string directory, std::vector<std::string> unread = {})
      : directory_(std::move(directory)), unread_(std::move(unread)) {}

  // Whether `path` (as the save or load resolved it) names a file of this
  // directory: "name" for "", "directory/name" otherwise.
  bool serves(const std::string& path) const;

  bool holds(const std::string& path) const { return find(path) != nullptr; }
  const Variables* find(const std::string& path) const;
  void save(const std::string& path, Variables variables);
  void forget(const std::string& path);

  const std::vector<std::pair<std::string, Variables>>& files() const { return files_; }

 private:
  std::string directory_;
  std::vector<std::string> unread_;  // as matFileName gives them
  std::vector<std::pair<std::string, Variables>> files_;
};

// Whether the variables may be kept as they are: what a file gives back for
// them is the same arrays (no cells, whose empty elements a file stores in
// its own way).
bool keptAsTheyAre(const VariableRefs& variables);

// Saves `variables` to `path` where this thread keeps it: the task's files,
// the work directory's store, else the disk (whole or not at all). The
// variables are checked as the writer checks them either way.
void saveFile(const std::string& path, const VariableRefs& variables);

// The memory files of this thread's work directory, when a host keeps them.
MemoryFiles* workDirectoryStore();

// Makes `store` this thread's work directory store for the scope.
class ScopedWorkDirectoryStore {
 public:
  explicit ScopedWorkDirectoryStore(MemoryFiles* store);
  ~ScopedWorkDirectoryStore();
  ScopedWorkDirectoryStore(const ScopedWorkDirectoryStore&) = delete;
  ScopedWorkDirectoryStore& operator=(const ScopedWorkDirectoryStore&) = delete;

 private:
  MemoryFiles* outer_;
};
// Those of the task running on this thread, when it is one of several of a
// call run side by side: all of its saves go there.
MemoryFiles* taskFiles();
MemoryFiles* setTaskFiles(MemoryFiles* files);  // returns the previous

}  // namespace ulv::matfile
