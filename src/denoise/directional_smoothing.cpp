#include "denoise/directional_smoothing.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "denoise/angle_smoothing.hpp"
#include "host/runtime/fast_paths.hpp"

namespace ulv::denoise {

namespace {

bool isDoubleMatrix(const mxArray& a) {
  return a.classID() == mxDOUBLE_CLASS && a.ndims() == 2 && !a.isEmpty();
}

// Rows `strip` of column c of conv2(F, K, "same") into `column` (strip.count
// long): the taps in column-major order, each adding w * F where its source
// lies in F.
[[gnu::always_inline]] inline void sameColumn(const mxArray& F, const mxArray& K, std::size_t c,
                                              RowStrip strip, double* column) {
  const auto rows = static_cast<std::ptrdiff_t>(F.rows());
  const std::size_t cols = F.cols();
  const std::size_t top = K.rows() / 2, left = K.cols() / 2;
  const auto first = static_cast<std::ptrdiff_t>(strip.first);
  const auto end = first + static_cast<std::ptrdiff_t>(strip.count);
  bool started = false;  // the sums start from 0: the first tap assigns 0 + w * F
  for (std::size_t j = 0; j < K.cols(); ++j) {
    if (c + left < j || c + left - j >= cols) continue;
    const double* source = F.data() + (c + left - j) * F.rows();
    for (std::size_t i = 0; i < K.rows(); ++i) {
      const double w = K.data()[i + j * K.rows()];
      if (w == 0) continue;
      // Output row r reads source row r + shift, which must lie in 0 .. rows - 1.
      const auto shift = static_cast<std::ptrdiff_t>(top) - static_cast<std::ptrdiff_t>(i);
      const std::ptrdiff_t from = std::min(std::max(first, -shift), end);
      const std::ptrdiff_t to = std::max(from, std::min(end, rows - shift));
      if (started) {
        for (std::ptrdiff_t r = from; r < to; ++r) column[r - first] += w * source[r + shift];
        continue;
      }
      std::fill(column, column + (from - first), 0.0);
      for (std::ptrdiff_t r = from; r < to; ++r) column[r - first] = 0.0 + w * source[r + shift];
      std::fill(column + (to - first), column + strip.count, 0.0);
      started = true;
    }
  }
  if (!started) std::fill(column, column + strip.count, 0.0);
}

}  // namespace

bool smoothsInOnePass(const mxArray& F, std::span<const SectorKernel> sectors) {
  if (!fastPathsEnabled() || !isDoubleMatrix(F) || sectors.empty()) return false;
  return std::all_of(sectors.begin(), sectors.end(), [&](const SectorKernel& s) {
    const mxClassID cls = s.indicator->classID();
    return (cls == mxLOGICAL_CLASS || cls == mxDOUBLE_CLASS) && s.indicator->dims() == F.dims() &&
           isDoubleMatrix(*s.kernel) && s.kernel->numel() <= F.numel();
  });
}

namespace {

// The sum over sectors s of indicator_s .* conv2(F, kernel_s, "same"), strip
// by strip and column by column. For the strip of column c, target(c, strip)
// gives where the sum goes; accumulate(c, strip, s, smoothed, sum) adds sector
// s's term to it (assigns it, for s = 0); finish(c, strip, sum) is then called.
template <class Target, class Accumulate, class Finish>
[[gnu::always_inline]] inline void smoothColumns(const mxArray& F,
                                                 std::span<const mxArray* const> kernels,
                                                 Target target, Accumulate accumulate,
                                                 Finish finish) {
  const std::size_t rows = F.rows();
  std::vector<double> smoothed(kStripRows);
  for (std::size_t first = 0; first < rows; first += kStripRows) {
    const RowStrip strip = {first, std::min(kStripRows, rows - first)};
    for (std::size_t c = 0; c < F.cols(); ++c) {
      double* sum = target(c, strip);
      for (std::size_t s = 0; s < kernels.size(); ++s) {
        sameColumn(F, *kernels[s], c, strip, smoothed.data());
        accumulate(c, strip, s, smoothed.data(), sum);
      }
      finish(c, strip, sum);
    }
  }
}

// target (+)= indicator(r) * smoothed[r] over a strip, where indicator(r) is
// 0 or 1: the term of one sector.
template <class Indicator>
[[gnu::always_inline]] inline void addSectorTerm(bool first, std::size_t n, const double* smoothed,
                                                 double* target, Indicator indicator) {
  if (first) {
    for (std::size_t r = 0; r < n; ++r) target[r] = indicator(r) * smoothed[r];
  } else {
    for (std::size_t r = 0; r < n; ++r) target[r] = target[r] + indicator(r) * smoothed[r];
  }
}

}  // namespace

// Both are cloned per instruction set: wider vectors, the same additions and
// products in the same order (no contraction to fused multiply-adds), so every
// clone gives the same bits.
[[gnu::target_clones("avx512f", "avx2", "default")]] mxArray smoothBySector(
    const mxArray& F, std::span<const SectorKernel> sectors) {
  std::vector<const mxArray*> kernels;
  for (const SectorKernel& s : sectors) kernels.push_back(s.kernel);
  mxArray result = mxArray::uninitialized(F.dims());
  double* out = result.mutableData();
  smoothColumns(
      F, kernels, [&](std::size_t c, RowStrip strip) { return out + c * F.rows() + strip.first; },
      [&](std::size_t c, RowStrip strip, std::size_t s, const double* smoothed, double* target) {
        const double* in = sectors[s].indicator->data() + c * F.rows() + strip.first;
        addSectorTerm(s == 0, strip.count, smoothed, target, [in](std::size_t r) { return in[r]; });
      },
      [](std::size_t, RowStrip, const double*) {});
  return result;
}

bool smoothsAlongAnglesInOnePass(const mxArray& F, const mxArray& angles, std::size_t page,
                                 std::span<const mxArray* const> kernels) {
  return fastPathsEnabled() && isDoubleMatrix(F) && angles.classID() == mxDOUBLE_CLASS &&
         angles.rows() == F.rows() && angles.cols() == F.cols() && page >= 1 &&
         page <= angles.pages() && kernels.size() == 4 &&
         std::all_of(kernels.begin(), kernels.end(), [&](const mxArray* k) {
           return isDoubleMatrix(*k) && k->numel() <= F.numel();
         });
}

namespace {

// The accumulation of smoothColumns for the sectors of the angles theta
// (a page, column-major with F's rows), as the composed comparisons make
// them: a0 = abs(t) <= halfWidth, a45 = abs(t - diagonal) < halfWidth,
// a90 = abs(t) >= vertical, a135 = abs(t + diagonal) < halfWidth.
[[gnu::always_inline]] inline auto angleSectors(const double* theta, std::size_t rows,
                                                const SectorLimits& limits) {
  const double half = limits.halfWidth, diagonal = limits.diagonal, vertical = limits.vertical;
  return [=](std::size_t c, RowStrip strip, std::size_t s, const double* smoothed, double* target) {
    const double* t = theta + c * rows + strip.first;
    const bool first = s == 0;
    const std::size_t n = strip.count;
    switch (s) {
      case 0:
        addSectorTerm(first, n, smoothed, target,
                      [t, half](std::size_t r) { return double(std::abs(t[r]) <= half); });
        break;
      case 1:
        addSectorTerm(first, n, smoothed, target, [t, half, diagonal](std::size_t r) {
          return double(std::abs(t[r] - diagonal) < half);
        });
        break;
      case 2:
        addSectorTerm(first, n, smoothed, target,
                      [t, vertical](std::size_t r) { return double(std::abs(t[r]) >= vertical); });
        break;
      default:
        addSectorTerm(first, n, smoothed, target, [t, half, diagonal](std::size_t r) {
          return double(std::abs(t[r] + diagonal) < half);
        });
    }
  };
}

const double* pageOf(const mxArray& stack, std::size_t page) {
  return stack.data() + (page - 1) * stack.rows() * stack.cols();
}

}  // namespace

[[gnu::target_clones("avx512f", "avx2", "default")]] mxArray smoothAlongAngles(
    const mxArray& F, const mxArray& angles, std::size_t page, const SectorLimits& limits,
    std::span<const mxArray* const> kernels) {
  const std::size_t rows = F.rows();
  mxArray result = mxArray::uninitialized(F.dims());
  double* out = result.mutableData();
  FusedTaps taps;
  if (fusedTapsOf(kernels, taps)) {
    smoothAlongAnglesFused(F, pageOf(angles, page), taps, limits, out);
    return result;
  }
  smoothColumns(
      F, kernels, [&](std::size_t c, RowStrip strip) { return out + c * rows + strip.first; },
      angleSectors(pageOf(angles, page), rows, limits),
      [](std::size_t, RowStrip, const double*) {});
  return result;
}

bool weightsInOnePass(const mxArray& F, const mxArray& D, std::size_t page) {
  return D.classID() == mxDOUBLE_CLASS && D.rows() == F.rows() && D.cols() == F.cols() &&
         page >= 1 && page < D.pages();
}

[[gnu::target_clones("avx512f", "avx2", "default")]] void smoothAlongAnglesAndWeight(
    const mxArray& F, const mxArray& angles, std::size_t anglePage, const SectorLimits& limits,
    std::span<const mxArray* const> kernels, double gain, mxArray& D, std::size_t page) {
  const std::size_t rows = F.rows(), size = rows * F.cols();
  double* next = D.mutableData() + page * size;
  const double* current = next - size;
  FusedTaps taps;
  if (fusedTapsOf(kernels, taps)) {
    smoothAlongAnglesFusedAndWeight(F, pageOf(angles, anglePage), taps, limits, gain, current,
                                    next);
    return;
  }
  std::vector<double> sum(kStripRows);
  smoothColumns(
      F, kernels, [&](std::size_t, RowStrip) { return sum.data(); },
      angleSectors(pageOf(angles, anglePage), rows, limits),
      [&](std::size_t c, RowStrip strip, const double* mask) {
        const std::size_t at = c * rows + strip.first;
        for (std::size_t r = 0; r < strip.count; ++r) {
          next[at + r] = (gain * mask[r]) * current[at + r];
        }
      });
}

}  // namespace ulv::denoise
