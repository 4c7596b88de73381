// One library call at a time per work directory.
//
// The library passes data between its functions through fixed file names
// ("minimiza", "mascaras") in its work directory: the thread's host directory,
// else the process's current directory. Two calls sharing a directory would
// read each other's files, so a call holds an exclusive flock(2) on the
// directory itself from its first save or load until it ends. Each holder
// opens the directory anew, so threads of one process exclude each other as
// processes do, and the kernel drops the lock of a process that dies. Nothing
// is created in the directory: read-only ones are locked too, and none is
// left behind.
#pragma once

#include <string>

namespace ulv {

// One library call on this thread; calls nest (the minimiser's objective runs
// inside the call that started it). Locks taken within the outermost call are
// held until it ends, whichever way it ends.
class WorkDirectoryCall {
 public:
  WorkDirectoryCall();
  ~WorkDirectoryCall();
  WorkDirectoryCall(const WorkDirectoryCall&) = delete;
  WorkDirectoryCall& operator=(const WorkDirectoryCall&) = delete;
};

// Taken by each of the library's saves and loads: makes sure this thread holds
// the lock of `directory` ("": the current directory). When another holds it,
// says so once on the warning channel, then waits. Inside a call the lock
// stays with the call; outside any, it lasts as long as this object. A
// directory that cannot be opened is not locked: the save or load itself
// reports why it cannot use it.
class WorkDirectoryAccess {
 public:
  explicit WorkDirectoryAccess(const std::string& directory);
  ~WorkDirectoryAccess();
  WorkDirectoryAccess(const WorkDirectoryAccess&) = delete;
  WorkDirectoryAccess& operator=(const WorkDirectoryAccess&) = delete;

 private:
  int ownLock_ = -1;  // held for this access only
};

}  // namespace ulv
