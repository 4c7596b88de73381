#include "ulvadern/work_directory_lock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <vector>

#include "host/files/unique_fd.hpp"
#include "ulvadern/errors.hpp"

namespace ulv {

namespace {

struct HeldDirectory {
  std::string name;  // as first asked for
  int fd;
  dev_t device;
  ino_t inode;
};

// The calls running on this thread and the directories they hold.
struct ThreadCalls {
  int depth = 0;
  std::vector<HeldDirectory> held;
};
thread_local ThreadCalls calls;

void release(int fd) {
  // Unlocked explicitly: a child forked meanwhile shares the descriptor.
  ::flock(fd, LOCK_UN);
  ::close(fd);
}

std::string shownName(const std::string& directory) {
  if (!directory.empty()) return directory;
  std::error_code error;
  const std::filesystem::path current = std::filesystem::current_path(error);
  return error ? "." : current.string();
}

[[noreturn]] void lockFailure(const std::string& directory, int error) {
  hostError("Cannot lock the work directory \"" + shownName(directory) +
            "\": " + std::generic_category().message(error) + ".");
}

// -1 where the directory is missing: the save or load that asked fails there
// with the reason. A directory that exists but cannot be opened (one that may
// be written but not read) is an error: going on unlocked would let two
// calls share its files.
int openForLocking(const std::string& directory) {
  const int fd =
      ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0 && errno != ENOENT && errno != ENOTDIR) lockFailure(directory, errno);
  return fd;
}

bool heldByThisThread(const std::string& directory) {
  for (const HeldDirectory& held : calls.held) {
    if (held.name == directory) return true;
  }
  return false;
}

bool heldByThisThread(const struct stat& info) {
  for (const HeldDirectory& held : calls.held) {
    if (held.device == info.st_dev && held.inode == info.st_ino) return true;
  }
  return false;
}

int lockRetryingOnSignals(int fd, int operation) {
  int result;
  while ((result = ::flock(fd, operation)) != 0 && errno == EINTR) {
  }
  return result;
}

void lockExclusively(int fd, const std::string& directory) {
  if (lockRetryingOnSignals(fd, LOCK_EX | LOCK_NB) == 0) return;
  if (errno != EWOULDBLOCK) lockFailure(directory, errno);
  hostWarning("Waiting for another call that uses the work directory \"" + shownName(directory) +
              "\".");
  if (lockRetryingOnSignals(fd, LOCK_EX) != 0) lockFailure(directory, errno);
}

}  // namespace

WorkDirectoryCall::WorkDirectoryCall() {
  ++calls.depth;
}

WorkDirectoryCall::~WorkDirectoryCall() {
  if (--calls.depth > 0) return;
  for (const HeldDirectory& held : calls.held) release(held.fd);
  calls.held.clear();
}

WorkDirectoryAccess::WorkDirectoryAccess(const std::string& directory) {
  // Every save and load of a call after its first (a call's directory does
  // not move while it runs): no system call.
  if (heldByThisThread(directory)) return;
  UniqueFd opened(openForLocking(directory));
  if (opened.get() < 0) return;
  struct stat info {};
  if (::fstat(opened.get(), &info) != 0) lockFailure(directory, errno);
  // The same directory under another name must not wait for itself.
  if (heldByThisThread(info)) return;
  lockExclusively(opened.get(), directory);
  if (calls.depth == 0) {
    ownLock_ = opened.release();
  } else {
    calls.held.push_back({directory, opened.get(), info.st_dev, info.st_ino});
    opened.release();
  }
}

WorkDirectoryAccess::~WorkDirectoryAccess() {
  if (ownLock_ >= 0) release(ownLock_);
}

}  // namespace ulv
