#include "host/numerics/uniform_positions.hpp"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "ulvadern/parallel.hpp"

namespace ulv::xoshiro {

namespace {

// A group of draws is made in kLanes lanes of kLaneSteps consecutive draws
// each, kChunk steps of every lane at a time (32 KiB of draws, in the cache).
constexpr std::size_t kLanes = 8;
constexpr std::size_t kLaneSteps = std::size_t{1} << 13;
constexpr std::size_t kGroup = kLanes * kLaneSteps;
constexpr std::size_t kChunk = 512;

// The lanes' states, word by word, as vectors of kLanes (one AVX-512
// register, two AVX2 ones, four SSE2 ones in the clones below).
using Words = std::uint64_t __attribute__((vector_size(kLanes * sizeof(std::uint64_t))));
using Doubles = double __attribute__((vector_size(kLanes * sizeof(double))));
struct Lanes {
  Words s0, s1, s2, s3;
};

// Steps the lanes `steps` times: out[t * kLanes + j] = lane j's uniform at
// step t (next() and uniformOf() on all lanes at once), and the steps where
// some lane's uniform is at most `threshold` go to hitSteps, in order.
// Returns how many there are.
[[gnu::target_clones("avx512f", "avx2", "default")]] std::size_t fillLanes(
    Lanes& lanes, double* out, std::size_t steps, double threshold, std::size_t* hitSteps) {
  Words s0 = lanes.s0, s1 = lanes.s1, s2 = lanes.s2, s3 = lanes.s3;
  std::size_t hits = 0;
  for (std::size_t t = 0; t < steps; ++t) {
    // Rotations written out: a function taking these vectors would change
    // its calling convention between the clones.
    const Words times5 = (s1 << 2) + s1;
    const Words scaled = (times5 << 7) | (times5 >> 57);
    const Words result = (scaled << 3) + scaled;  // * 9
    const Words shifted = s1 << 17;
    s2 ^= s0;
    s3 ^= s1;
    s1 ^= s2;
    s0 ^= s3;
    s2 ^= shifted;
    s3 = (s3 << 45) | (s3 >> 19);
    const Doubles twoTo52PlusU = reinterpret_cast<Doubles>((result >> 12) | 0x4330000000000000ULL);
    const Doubles uniform = ((twoTo52PlusU - 0x1p52) + 0.5) * 0x1p-52;
    std::memcpy(out + t * kLanes, &uniform, sizeof uniform);
    const Words atMost = reinterpret_cast<Words>(uniform <= threshold);
    std::uint64_t any = 0;
    for (std::size_t j = 0; j < kLanes; ++j) any |= atMost[j];
    hitSteps[hits] = t;
    hits += any != 0;
  }
  lanes = {s0, s1, s2, s3};
  return hits;
}

// The draws of the group that starts at draw `first` in state `s`, those of
// them below n looked at; returns the state after the group.
State scanGroup(State s, std::size_t first, std::size_t n, double threshold,
                std::vector<std::size_t>& positions) {
  Lanes lanes;
  for (std::size_t j = 0; j < kLanes; ++j) {
    lanes.s0[j] = s[0];
    lanes.s1[j] = s[1];
    lanes.s2[j] = s[2];
    lanes.s3[j] = s[3];
    s = jumped(s, kLaneSteps);
  }
  std::vector<std::size_t> lane[kLanes];
  double draws[kChunk * kLanes];
  std::size_t hitSteps[kChunk];
  for (std::size_t step = 0; step < kLaneSteps && first + step < n; step += kChunk) {
    const std::size_t hits = fillLanes(lanes, draws, kChunk, threshold, hitSteps);
    for (std::size_t h = 0; h < hits; ++h) {
      const std::size_t t = hitSteps[h];
      for (std::size_t j = 0; j < kLanes; ++j) {
        const std::size_t at = first + j * kLaneSteps + step + t;
        if (draws[t * kLanes + j] <= threshold && at < n) lane[j].push_back(at);
      }
    }
  }
  for (const std::vector<std::size_t>& found : lane) {
    positions.insert(positions.end(), found.begin(), found.end());
  }
  return s;
}

std::vector<std::size_t> positionsOneByOne(State s, std::size_t n, double threshold) {
  std::vector<std::size_t> positions;
  for (std::size_t k = 0; k < n; ++k) {
    if (uniformOf(next(s)) <= threshold) positions.push_back(k);
  }
  return positions;
}

}  // namespace

std::vector<std::size_t> positionsAtMost(const State& s, std::size_t n, double threshold) {
  if (n < kGroup) return positionsOneByOne(s, n, threshold);
  const std::size_t groups = (n + kGroup - 1) / kGroup;
  std::mutex mutex;
  std::map<std::size_t, std::vector<std::size_t>> parts;
  parallelRanges(groups, 1, [&](std::size_t begin, std::size_t end) {
    std::vector<std::size_t> positions;
    State at = jumped(s, begin * kGroup);
    for (std::size_t g = begin; g < end; ++g)
      at = scanGroup(at, g * kGroup, n, threshold, positions);
    const std::lock_guard lock(mutex);
    parts[begin] = std::move(positions);
  });
  std::vector<std::size_t> positions;
  for (const auto& [begin, part] : parts)
    positions.insert(positions.end(), part.begin(), part.end());
  return positions;
}

}  // namespace ulv::xoshiro
