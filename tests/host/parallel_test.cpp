// The ranges of parallelRanges: every item exactly once, in contiguous
// ranges no shorter than the grain, on as many threads as allowed, with a
// failure in any range reported once all have finished.
#include "ulvadern/parallel.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

namespace ulv {
namespace {

using Ranges = std::vector<std::pair<std::size_t, std::size_t>>;

Ranges rangesOf(std::size_t n, std::size_t grain, std::set<std::thread::id>* ids = nullptr) {
  Ranges ranges;
  std::mutex lock;
  parallelRanges(n, grain, [&](std::size_t begin, std::size_t end) {
    const std::lock_guard guard(lock);
    ranges.emplace_back(begin, end);
    if (ids) ids->insert(std::this_thread::get_id());
  });
  std::sort(ranges.begin(), ranges.end());
  return ranges;
}

TEST(ParallelRanges, CoverEveryItemOnceInRangesOfAtLeastTheGrain) {
  EXPECT_EQ(workerThreads(), 1u);
  EXPECT_EQ(rangesOf(10, 1), (Ranges{{0, 10}})) << "one thread: one range, here";
  EXPECT_TRUE(rangesOf(0, 1).empty()) << "nothing to do: no call";
  for (unsigned threads : {2u, 3u, 7u}) {
    ScopedWorkerThreads scoped(threads);
    EXPECT_EQ(workerThreads(), threads);
    for (std::size_t n : {1u, 5u, 6u, 100u, 1001u}) {
      for (std::size_t grain : {0u, 1u, 3u, 400u}) {
        const Ranges ranges = rangesOf(n, grain);
        ASSERT_FALSE(ranges.empty());
        EXPECT_LE(ranges.size(), threads);
        std::size_t next = 0;
        for (const auto& [begin, end] : ranges) {
          EXPECT_EQ(begin, next) << n << " items, grain " << grain;
          EXPECT_LT(begin, end);
          if (ranges.size() > 1) {
            EXPECT_GE(end - begin, grain);
          }
          next = end;
        }
        EXPECT_EQ(next, n);
      }
    }
  }
  EXPECT_EQ(workerThreads(), 1u) << "the scope restores the count";
  ScopedWorkerThreads tooMany(1000), none(0);
  EXPECT_EQ(workerThreads(), 1u);
}

TEST(ParallelRanges, RunOnSeveralThreadsAndTheCallerTakesTheFirstRange) {
  ScopedWorkerThreads threads(4);
  std::set<std::thread::id> ids;
  std::thread::id firstRange;
  std::mutex lock;
  parallelRanges(4, 1, [&](std::size_t begin, std::size_t) {
    const std::lock_guard guard(lock);
    ids.insert(std::this_thread::get_id());
    if (begin == 0) firstRange = std::this_thread::get_id();
  });
  EXPECT_EQ(ids.size(), 4u);
  EXPECT_EQ(firstRange, std::this_thread::get_id());
  std::thread([] { EXPECT_EQ(workerThreads(), 1u) << "the count is per thread"; }).join();
}

TEST(ParallelRanges, AFailureIsRethrownAfterEveryRangeHasRun) {
  ScopedWorkerThreads threads(3);
  std::atomic<int> finished{0};
  const auto failing = [&](std::size_t begin, std::size_t) {
    ++finished;
    if (begin != 0) throw std::runtime_error("range failed");
  };
  EXPECT_THROW(parallelRanges(3, 1, failing), std::runtime_error);
  EXPECT_EQ(finished.load(), 3);
}

}  // namespace
}  // namespace ulv
