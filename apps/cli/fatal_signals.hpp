// What the tool leaves behind when it is stopped by SIGINT, SIGTERM, SIGHUP or
// SIGPIPE: nothing but the outputs that were complete. Temporary files and
// folders are registered here while they exist; the handler stops the worker
// processes, waits for them, removes what is registered and ends the process
// by the signal (exit status 128 + the signal in a shell).
//
// The handler uses system calls only. It runs on the main thread (a signal
// that lands on another thread is passed on to it), which is also the only
// thread that registers and releases paths, so the handler never sees a
// registration half made.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <filesystem>
#include <string>

namespace ulvcli {

// Installs the handler for those signals, leaving alone a signal
// the process was started with ignored (nohup, background jobs).
void installFatalSignalCleanup();

// Holds those signals back in this thread for the scope, so that a step
// and its registration happen together.
class FatalSignalsBlocked {
 public:
  FatalSignalsBlocked();
  ~FatalSignalsBlocked();
  FatalSignalsBlocked(const FatalSignalsBlocked&) = delete;
  FatalSignalsBlocked& operator=(const FatalSignalsBlocked&) = delete;

 private:
  sigset_t previous_;
};

// Registers a path for removal on a fatal signal for the object's lifetime:
// a file, or a folder with everything in it. The path is made absolute, so a
// later change of the current directory does not matter.
class RemovedOnSignal {
 public:
  explicit RemovedOnSignal(const std::filesystem::path& path);
  ~RemovedOnSignal();
  RemovedOnSignal(const RemovedOnSignal&) = delete;
  RemovedOnSignal& operator=(const RemovedOnSignal&) = delete;

 private:
  char* entry_;
};

// Registers the temporary files of the host's MAT-file saves too, from just
// before each is created until it is gone or has replaced its target.
void removeHostTemporariesOnSignal();

// fork() for a worker process. The parent registers the child, which the
// handler then stops and waits for. The child forgets the parent's
// registrations, registers its own folder `directory` (the parent removes it
// too), and gets SIGTERM when the parent dies, however it dies.
pid_t forkWorker(const std::filesystem::path& directory);

// Waits for a worker started with forkWorker and returns its wait status.
int reapWorker(pid_t pid);

// Removes a file, or a folder and everything in it, with system calls only
// (as the handler does). Returns false when something could not be removed.
bool removeTree(const char* path);

}  // namespace ulvcli
