// A file descriptor that is closed when its owner goes, whichever way it goes.
#pragma once

#include <unistd.h>

#include <utility>

namespace ulv {

class UniqueFd {
 public:
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  // Hands the descriptor over: it is no longer closed here.
  int release() { return std::exchange(fd_, -1); }
  // Closes now; false when closing failed (where a deferred write error shows).
  bool close() {
    const int fd = std::exchange(fd_, -1);
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_;
};

}  // namespace ulv
