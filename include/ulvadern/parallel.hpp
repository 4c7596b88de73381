// Element-wise loops over large arrays, spread over several threads.
//
// Every element is computed by the same code whichever thread computes it, so
// results do not depend on the thread count. Only loops whose items are
// independent and touch no host state (no errors, no random draws, no calls
// by name) are spread.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>

namespace ulv {

// How many threads parallelRanges may use on the calling thread: 1 (the
// default) keeps every loop on the calling thread.
unsigned workerThreads();
constexpr unsigned kMaxWorkerThreads = 64;

// The worker count of this thread while an instance lives (clamped to
// 1 .. kMaxWorkerThreads).
class ScopedWorkerThreads {
 public:
  explicit ScopedWorkerThreads(unsigned count);
  ~ScopedWorkerThreads();
  ScopedWorkerThreads(const ScopedWorkerThreads&) = delete;
  ScopedWorkerThreads& operator=(const ScopedWorkerThreads&) = delete;

 private:
  unsigned previous_;
};

// Runs body(begin, end) over [0, n), cut into contiguous ranges of at least
// `grain` items, one per thread, on up to workerThreads() threads; the
// calling thread takes the first range. Returns when every range is done. An
// exception from any range is rethrown here once all have finished (the
// first range's first). Where a thread cannot be started its range runs on
// the calling thread.
void parallelRanges(std::size_t n, std::size_t grain,
                    const std::function<void(std::size_t, std::size_t)>& body);

// Items per thread below which a loop is not worth spreading: about 64K
// doubles (512 KiB), a few hundred microseconds of element-wise work.
constexpr std::size_t kParallelGrain = std::size_t{1} << 16;

// The grain of a loop over columns of `rows` elements.
inline std::size_t columnGrain(std::size_t rows) {
  return std::max<std::size_t>(1, kParallelGrain / std::max<std::size_t>(rows, 1));
}

}  // namespace ulv
