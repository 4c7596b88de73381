#include "fatal_signals.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include "host/files/matfile.hpp"

namespace ulvcli {

namespace fs = std::filesystem;

namespace {

// SIGPIPE too: `ulvadern denoise ... | head -1` must not leave a work directory.
constexpr int kFatalSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
// Worker folders (at most 256 workers), the work directory and the outputs
// being written.
constexpr std::size_t kMaxPaths = 512;
constexpr std::size_t kMaxWorkers = 512;
// The work directory holds worker folders, which hold the library's files.
constexpr int kMaxDepth = 8;

// Owned by the RemovedOnSignal objects; written before they are published.
std::atomic<char*> gPaths[kMaxPaths];
std::atomic<pid_t> gWorkers[kMaxWorkers];

sigset_t fatalSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  for (const int sig : kFatalSignals) sigaddset(&set, sig);
  return set;
}

bool isDotOrDotDot(const char* name) {
  return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

bool removeEntry(int parent, const char* name, int depth);

// Removes the folder's entries; entries removed while the folder is read may
// hide others, so it is read again until a pass removes nothing.
void emptyFolder(int folder, int depth) {
  alignas(struct dirent64) char buffer[2048];
  for (bool removedSome = true; removedSome;) {
    removedSome = false;
    if (lseek(folder, 0, SEEK_SET) != 0) return;
    for (ssize_t size; (size = getdents64(folder, buffer, sizeof buffer)) > 0;) {
      for (ssize_t at = 0; at < size;) {
        const auto* entry = reinterpret_cast<const struct dirent64*>(buffer + at);
        at += entry->d_reclen;
        if (!isDotOrDotDot(entry->d_name) && removeEntry(folder, entry->d_name, depth)) {
          removedSome = true;
        }
      }
    }
  }
}

bool removeEntry(int parent, const char* name, int depth) {
  if (unlinkat(parent, name, 0) == 0 || errno == ENOENT) return true;
  if ((errno != EISDIR && errno != EPERM) || depth == 0) return false;
  const int folder = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folder < 0) return errno == ENOENT;
  emptyFolder(folder, depth - 1);
  close(folder);
  return unlinkat(parent, name, AT_REMOVEDIR) == 0 || errno == ENOENT;
}

void stopWorkers() {
  for (const std::atomic<pid_t>& worker : gWorkers) {
    const pid_t pid = worker.load();
    if (pid <= 0) continue;
    kill(pid, SIGTERM);
    kill(pid, SIGCONT);  // a stopped worker would never end, and we wait for it
  }
  // Each worker removes its own half-written output before it ends.
  for (const std::atomic<pid_t>& worker : gWorkers) {
    const pid_t pid = worker.load();
    if (pid <= 0) continue;
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
}

// Ends the process by the signal itself, as it would have without the
// handler: a shell sees 128 + sig, and a script running us in a loop stops on
// Ctrl-C instead of going on to the next command.
[[noreturn]] void dieOf(int sig) {
  signal(sig, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, sig);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  raise(sig);
  _exit(128 + sig);
}

extern "C" void onFatalSignal(int sig) {
  // The registrations belong to the main thread, whose id is the process id.
  if (gettid() != getpid()) {
    tgkill(getpid(), getpid(), sig);
    return;
  }
  stopWorkers();
  for (const std::atomic<char*>& path : gPaths) {
    if (const char* name = path.load()) removeTree(name);
  }
  dieOf(sig);
}

char* publishPath(const fs::path& path) {
  const std::string text = fs::absolute(path).string();
  char* entry = new char[text.size() + 1];
  std::memcpy(entry, text.c_str(), text.size() + 1);
  for (std::atomic<char*>& slot : gPaths) {
    char* empty = nullptr;
    if (slot.compare_exchange_strong(empty, entry)) return entry;
  }
  delete[] entry;
  throw std::runtime_error("too many temporary files at once");
}

void publishWorker(pid_t pid) {
  for (std::atomic<pid_t>& slot : gWorkers) {
    pid_t empty = 0;
    if (slot.compare_exchange_strong(empty, pid)) return;
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  throw std::runtime_error("too many worker processes");
}

// In a new worker: the parent's folders and workers are the parent's to
// remove (its objects own the entries, so they are dropped, not freed).
void becomeWorker(pid_t parent, const fs::path& directory) {
  for (std::atomic<char*>& slot : gPaths) slot.store(nullptr);
  for (std::atomic<pid_t>& slot : gWorkers) slot.store(0);
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  // The parent may have died before the line above: nothing would tell us.
  if (getppid() != parent) _exit(128 + SIGTERM);
  try {
    publishPath(directory);  // for the worker's life, which ends in _exit
  } catch (...) {
    _exit(127);  // unwinding would run the parent's destructors here
  }
}

}  // namespace

void installFatalSignalCleanup() {
  for (const int sig : kFatalSignals) {
    struct sigaction previous {};
    if (sigaction(sig, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = &onFatalSignal;
    action.sa_mask = fatalSignalSet();
    sigaction(sig, &action, nullptr);
  }
}

FatalSignalsBlocked::FatalSignalsBlocked() {
  const sigset_t set = fatalSignalSet();
  pthread_sigmask(SIG_BLOCK, &set, &previous_);
}

FatalSignalsBlocked::~FatalSignalsBlocked() {
  pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

RemovedOnSignal::RemovedOnSignal(const fs::path& path) : entry_(publishPath(path)) {}

RemovedOnSignal::~RemovedOnSignal() {
  for (std::atomic<char*>& slot : gPaths) {
    char* mine = entry_;
    if (slot.compare_exchange_strong(mine, nullptr)) break;
  }
  delete[] entry_;
}

void removeHostTemporariesOnSignal() {
  struct Registrations {
    std::mutex mutex;
    std::map<std::string, std::unique_ptr<RemovedOnSignal>> byPath;
  };
  static Registrations* const registrations = new Registrations;  // outlives every save
  ulv::setTemporaryFileHooks({
      [](const std::string& path) {
        const std::lock_guard lock(registrations->mutex);
        registrations->byPath[path] = std::make_unique<RemovedOnSignal>(path);
      },
      [](const std::string& path) {
        const std::lock_guard lock(registrations->mutex);
        registrations->byPath.erase(path);
      },
  });
}

pid_t forkWorker(const fs::path& directory) {
  const pid_t parent = getpid();
  const FatalSignalsBlocked blocked;
  const pid_t pid = fork();
  if (pid == 0) {
    becomeWorker(parent, directory);
  } else if (pid > 0) {
    publishWorker(pid);
  }
  return pid;
}

int reapWorker(pid_t pid) {
  // Wait with the child kept as a zombie, so that its id cannot be reused
  // before the handler forgets it.
  siginfo_t info;
  while (waitid(P_PID, pid, &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
  }
  const FatalSignalsBlocked blocked;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  for (std::atomic<pid_t>& slot : gWorkers) {
    pid_t mine = pid;
    if (slot.compare_exchange_strong(mine, 0)) break;
  }
  return status;
}

bool removeTree(const char* path) {
  return removeEntry(AT_FDCWD, path, kMaxDepth);
}

}  // namespace ulvcli
