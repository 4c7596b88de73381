// The host's random source: seedable uniform and normal generators.
//
// Uniform: xoshiro256** (64-bit), seeded through splitmix64; a draw takes the
// top 52 bits u and returns (u + 0.5) / 2^52, which is exact in double and so
// lies strictly inside (0, 1) (with 53 bits the largest values would round to 1).
// Normal: the polar Box-Muller (Marsaglia) method over those uniforms, using
// both values of each accepted pair. The uniforms use only integer arithmetic
// and exact conversions, so a seed gives the same sequence everywhere; the
// normals also depend on the C library's log(), which may differ in the last
// bit between platforms.
//
// The host may also record every draw (in order) or replay draws from a list
// instead of the generators, to reproduce a run bit for bit.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <vector>

#include "ulvadern/array.hpp"

namespace ulv {

constexpr std::uint64_t kDefaultSeed = 20261207;

// Reseeds the calling thread's generators (each thread starts from
// kDefaultSeed) and drops a pending second normal value.
void seedRandom(std::uint64_t seed);

// rand(r, c, ...) and randn(r, c, ...), as host arrays of those sizes.
mxArray mlfNRand(std::initializer_list<mxArray> sizes);
mxArray mlfNRandn(std::initializer_list<mxArray> sizes);

// For callers that use uniform draws at once instead of keeping them: the
// positions k < n, in order, at which the k-th of the next n values rand
// would give is at most `threshold` (find(rand(n, 1) <= threshold) - 1), the
// source left where those n draws leave it. Long runs are drawn in parts side
// by side, on the worker threads. Only while no recorder or replayer is set
// (drawsDirectly()), which need whole arrays; otherwise it draws nothing and
// returns false.
bool drawsDirectly();
bool drawPositionsAtMost(std::size_t n, double threshold, std::vector<std::size_t>& positions);

// One recorded or replayed draw: which generator, and the array it gave.
enum class RandomKind { Uniform, Normal };
struct RandomDraw {
  RandomKind kind;
  mxArray values;
};
// Recorder and replayer belong to the calling thread, like the generators.
// Called with every draw made (after it is made); null to stop recording.
void setRandomRecorder(std::function<void(const RandomDraw&)> recorder);
// Supplies the next draw of a kind for the requested sizes instead of the
// generator; it raises a host error when it cannot. Null to stop replaying.
using RandomReplayer = std::function<mxArray(RandomKind kind, const Dims& dims)>;
void setRandomReplayer(RandomReplayer replayer);

}  // namespace ulv
