#include "host/runtime/heap_warming.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <numeric>
#include <vector>

#include "host/runtime/memory_tuning.hpp"

namespace ulv {
namespace {

// The helper maps pages the caller is already using: whatever it stored there
// stays, blocks freed and reused meanwhile included.
TEST(HeapWarming, MappingAheadNeverChangesWhatTheMemoryHolds) {
  tuneMemoryForLargeArrays();
  for (int round = 0; round < 3; ++round) {
    HeapWarming warming;
    warming.start(std::size_t{256} << 20);
    std::vector<std::vector<std::uint64_t>> blocks;
    for (std::size_t k = 0; k < 24; ++k) {
      blocks.emplace_back((std::size_t{1} << 20) + 4099 * k);
      std::iota(blocks.back().begin(), blocks.back().end(), k << 32);
      if (k % 3 == 2) blocks.erase(blocks.begin() + static_cast<std::ptrdiff_t>(k / 3));
    }
    for (const std::vector<std::uint64_t>& block : blocks) {
      const std::uint64_t first = block.front();
      for (std::size_t i = 0; i < block.size(); ++i) ASSERT_EQ(block[i], first + i);
    }
  }
}

TEST(HeapWarming, StopsWhenItsOwnerEnds) {
  const auto start = std::chrono::steady_clock::now();
  {
    HeapWarming warming;
    warming.start(std::size_t{1} << 30);  // more than the test waits for
    warming.start(std::size_t{1} << 20);  // a second start is ignored
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
}  // namespace ulv
