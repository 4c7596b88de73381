// The directory the library's MAT-files go to: the process's current
// directory during a call, as the original host had it.
#pragma once

#include <filesystem>
#include <memory>

#include "fatal_signals.hpp"

namespace ulvcli {

// The work directory of one command, made current for its lifetime: the
// directory the user named (created when missing, kept with its files), or
// else a private one, "ulvadern-XXXXXX" under $TMPDIR or /tmp, removed with
// everything in it at the end, after an error, or on a fatal signal.
class WorkDirectory {
 public:
  explicit WorkDirectory(const std::filesystem::path& named);
  ~WorkDirectory();
  WorkDirectory(const WorkDirectory&) = delete;
  WorkDirectory& operator=(const WorkDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
  std::unique_ptr<RemovedOnSignal> removal_;  // private ones only
};

// The path made absolute against the current directory, so that it keeps
// naming the same file after the work directory is entered.
std::filesystem::path absoluteFrom(const std::filesystem::path& path);

}  // namespace ulvcli
