#include "auxiliary/gaussfit_sum.hpp"

#include <algorithm>
#include <array>

#include "host/vector_math.hpp"

namespace ulv {

namespace {

// Samples per block: the block's work arrays stay in the L1 cache.
constexpr std::size_t kBlock = 512;
constexpr std::size_t kLanes = 8;

std::size_t roundUp(std::size_t m) {
  return (m + kLanes - 1) / kLanes * kLanes;
}

// -((v / width) .^ 2) for one block, dividing by multiplying with the
// reciprocal (within an ulp of the quotient; divisions would cost more than
// the exponentials).
[[gnu::always_inline]] inline void negatedSquares(const double* v, std::size_t n, double width,
                                                  double* out) {
  const double reciprocal = 1 / width;
  for (std::size_t k = 0; k < n; ++k) {
    const double scaled = v[k] * reciprocal;
    out[k] = -(scaled * scaled);
  }
}

}  // namespace

// Cloned per instruction set for wider vectors; the arithmetic is the same in
// every clone (no contraction to fused multiply-adds).
[[gnu::target_clones("avx512f", "avx2", "default")]] double mixtureObjective(
    const double* v, std::size_t n, double x1, double x2, double w, double floor, double one) {
  const double narrowGain = w / x1, wideGain = (one - w) / x2;
  std::array<double, kBlock> a, b;
  // Eight running sums (lane k % 8), added together at the end in a fixed
  // order: a serial sum would wait on each addition.
  std::array<double, kLanes> sums{};
  for (std::size_t start = 0; start < n; start += kBlock) {
    const std::size_t m = std::min(kBlock, n - start);
    negatedSquares(v + start, m, x1, a.data());
    negatedSquares(v + start, m, x2, b.data());
    vmath::exp(a.data(), a.data(), m);
    vmath::exp(b.data(), b.data(), m);
    for (std::size_t k = 0; k < m; ++k) a[k] = (floor + narrowGain * a[k]) + wideGain * b[k];
    vmath::logCoarse(a.data(), a.data(), m);
    std::fill(a.begin() + m, a.begin() + roundUp(m), 0.0);
    for (std::size_t k = 0; k < m; k += kLanes) {
      for (std::size_t lane = 0; lane < kLanes; ++lane) sums[lane] += a[k + lane];
    }
  }
  double sum = sums[0];
  for (std::size_t lane = 1; lane < kLanes; ++lane) sum += sums[lane];
  return -sum;
}

}  // namespace ulv
