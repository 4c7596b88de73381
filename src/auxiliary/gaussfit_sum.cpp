#include "auxiliary/gaussfit_sum.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#include "host/numerics/vector_math.hpp"
#include "kernels/gaussian.hpp"

namespace ulv {

namespace {

// Samples per block: the block's work arrays stay in the L1 cache.
constexpr std::size_t kBlock = 512;
constexpr std::size_t kLanes = 8;

// The loops below are cloned per instruction set for wider vectors; the
// arithmetic is the same in every clone (no contraction to fused
// multiply-adds).

// Sample vectors up to this size have their component shapes remembered
// (ShapeCache); a fit's sample has 10 000.
constexpr std::size_t kCachedSamplesMax = 1 << 16;

std::size_t roundUp(std::size_t m) {
  return (m + kLanes - 1) / kLanes * kLanes;
}

// The minimiser's finite differences move one parameter at a time, so most
// evaluations of a fit repeat a width of the evaluation before (and those
// that move the weight repeat both). The shapes of the last few widths are
// kept with the samples they belong to; any change of the samples drops them
// all, so a value from here is always the one computed afresh.
class ShapeCache {
 public:
  // Starts a lookup for the samples v. The cache holds v, so its buffer is
  // never freed and reused meanwhile, and the runtime never writes to a
  // buffer that two arrays share (copy on write): the same buffer holds the
  // same samples. Another buffer is compared element for element.
  void useSamples(const mxArray& v) {
    if (samples_.data() == v.data() && samples_.numel() == v.numel()) return;
    const bool same = samples_.numel() == v.numel() &&
                      std::memcmp(samples_.data(), v.data(), v.numel() * sizeof(double)) == 0;
    samples_ = v;
    if (!same) {
      for (Entry& e : entries_) e.filled = false;
    }
  }

  // The shapes for width; valid until three other widths have been computed
  // or the samples change.
  const double* shapes(double width) {
    const std::uint64_t key = std::bit_cast<std::uint64_t>(width);
    ++clock_;
    Entry* oldest = &entries_[0];
    for (Entry& e : entries_) {
      if (e.filled && e.key == key) {
        e.lastUse = clock_;
        return e.values.data();
      }
      if (!e.filled || (oldest->filled && e.lastUse < oldest->lastUse)) oldest = &e;
    }
    oldest->values.resize(samples_.numel());
    gaussianShapes(samples_.data(), samples_.numel(), width, oldest->values.data());
    oldest->key = key;
    oldest->lastUse = clock_;
    oldest->filled = true;
    return oldest->values.data();
  }

 private:
  struct Entry {
    std::uint64_t key = 0;
    std::uint64_t lastUse = 0;
    bool filled = false;
    std::vector<double> values;
  };
  mxArray samples_;
  std::array<Entry, 4> entries_;
  std::uint64_t clock_ = 0;
};

thread_local ShapeCache shapeCache;
thread_local std::vector<double> workSpace(kBlock);

// Adds log(floor + narrowGain*a + wideGain*b) of one block (m <= kBlock
// samples, starting at a multiple of kLanes) to the running sums, with mix
// (kBlock doubles) as work space.
[[gnu::target_clones("avx512f", "avx2", "default")]] void addBlockLogs(
    const double* __restrict a, const double* __restrict b, std::size_t m, double floor,
    double narrowGain, double wideGain, double* __restrict mix, double* __restrict sums) {
  for (std::size_t k = 0; k < m; ++k) mix[k] = (floor + narrowGain * a[k]) + wideGain * b[k];
  vmath::logCoarse(mix, mix, m);
  std::fill(mix + m, mix + roundUp(m), 0.0);
  double lanes[kLanes];
  std::copy_n(sums, kLanes, lanes);
  for (std::size_t k = 0; k < m; k += kLanes) {
    for (std::size_t lane = 0; lane < kLanes; ++lane) lanes[lane] += mix[k + lane];
  }
  std::copy_n(lanes, kLanes, sums);
}

}  // namespace

double mixtureObjective(const mxArray& samples, double x1, double x2, double w, double floor,
                        double one) {
  const double* v = samples.data();
  const std::size_t n = samples.numel();
  const double narrowGain = w / x1, wideGain = (one - w) / x2;
  // Eight running sums (lane k % 8), added together at the end in a fixed
  // order: a serial sum would wait on each addition.
  std::array<double, kLanes> sums{};
  std::vector<double>& mix = workSpace;
  if (n <= kCachedSamplesMax) {
    shapeCache.useSamples(samples);
    const double* narrow = shapeCache.shapes(x1);
    const double* wide = shapeCache.shapes(x2);
    for (std::size_t start = 0; start < n; start += kBlock) {
      addBlockLogs(narrow + start, wide + start, std::min(kBlock, n - start), floor, narrowGain,
                   wideGain, mix.data(), sums.data());
    }
  } else {
    std::array<double, kBlock> a, b;
    for (std::size_t start = 0; start < n; start += kBlock) {
      const std::size_t m = std::min(kBlock, n - start);
      gaussianShapes(v + start, m, x1, a.data());
      gaussianShapes(v + start, m, x2, b.data());
      addBlockLogs(a.data(), b.data(), m, floor, narrowGain, wideGain, mix.data(), sums.data());
    }
  }
  double sum = sums[0];
  for (std::size_t lane = 1; lane < kLanes; ++lane) sum += sums[lane];
  return -sum;
}

}  // namespace ulv
