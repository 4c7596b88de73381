#include "host/runtime/fast_paths.hpp"

namespace ulv {

namespace {
thread_local bool enabled = true;
}

bool fastPathsEnabled() {
  return enabled;
}

ScopedFastPaths::ScopedFastPaths(bool on) : previous_(enabled) {
  enabled = on;
}

ScopedFastPaths::~ScopedFastPaths() {
  enabled = previous_;
}

}  // namespace ulv
