// Fast paths compute in one pass what a chain of runtime operations computes
// step by step. Each library function reads fastPathsEnabled() once per call
// (ulvadern to choose its pipeline), so that a thread can switch them all off
// and compare them with the operations they stand for.
#pragma once

namespace ulv {

bool fastPathsEnabled();

// Fast paths on or off for this thread while an instance lives.
class ScopedFastPaths {
 public:
  explicit ScopedFastPaths(bool enabled);
  ~ScopedFastPaths();
  ScopedFastPaths(const ScopedFastPaths&) = delete;
  ScopedFastPaths& operator=(const ScopedFastPaths&) = delete;

 private:
  bool previous_;
};

}  // namespace ulv
