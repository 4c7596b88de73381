#include "denoise/directional_smoothing.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "host/fast_paths.hpp"

namespace ulv::denoise {

namespace {

bool isDoubleMatrix(const mxArray& a) {
  return a.classID() == mxDOUBLE_CLASS && a.ndims() == 2 && !a.isEmpty();
}

// Rows [first, first + count) of a column: the smoothing works on strips of
// rows so that its column buffers stay in the first-level cache.
struct RowStrip {
  std::size_t first, count;
};
constexpr std::size_t kStripRows = 1024;

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

namespace {

// The fused smoothing serves kernels of at most this many nonzero taps (the
// denoiser's 3 x 3 direction kernels have 3 each); shorter tap lists are
// padded with zero weights that read a zero column.
constexpr std::size_t kMaxFusedTaps = 3;

// The nonzero taps of the four kernels, in conv2's order (column-major over
// the kernel). Tap t of sector s reads F at row r + shift and column
// c + column for output (r, c).
struct FusedTaps {
  double weight[4][kMaxFusedTaps] = {};
  std::ptrdiff_t column[4][kMaxFusedTaps] = {};
  std::ptrdiff_t shift[4][kMaxFusedTaps] = {};
  bool padded[4][kMaxFusedTaps] = {};  // a zero-weight filler tap
  std::ptrdiff_t minColumn = 0, maxColumn = 0, halo = 0;
};

// The taps of `kernels`, or false where a kernel has more nonzero taps than
// the fused loop serves, or a tap that is not finite (a filler tap, 0 * F,
// only stands for a skipped one when F's taps are finite products).
bool fusedTapsOf(std::span<const mxArray* const> kernels, FusedTaps& taps) {
  for (std::size_t s = 0; s < 4; ++s) {
    const mxArray& K = *kernels[s];
    const auto top = static_cast<std::ptrdiff_t>(K.rows() / 2);
    const auto left = static_cast<std::ptrdiff_t>(K.cols() / 2);
    std::size_t count = 0;
    for (std::size_t j = 0; j < K.cols(); ++j) {
      for (std::size_t i = 0; i < K.rows(); ++i) {
        const double w = K.data()[i + j * K.rows()];
        if (w == 0) continue;
        if (count == kMaxFusedTaps || !std::isfinite(w)) return false;
        taps.weight[s][count] = w;
        taps.column[s][count] = left - static_cast<std::ptrdiff_t>(j);
        taps.shift[s][count] = top - static_cast<std::ptrdiff_t>(i);
        ++count;
      }
    }
    for (; count < kMaxFusedTaps; ++count) taps.padded[s][count] = true;
  }
  for (std::size_t s = 0; s < 4; ++s) {
    for (std::size_t t = 0; t < kMaxFusedTaps; ++t) {
      if (taps.padded[s][t]) continue;
      taps.minColumn = std::min(taps.minColumn, taps.column[s][t]);
      taps.maxColumn = std::max(taps.maxColumn, taps.column[s][t]);
      taps.halo = std::max(taps.halo, std::abs(taps.shift[s][t]));
    }
  }
  return true;
}

// Columns of F over a strip of rows, each with `halo` rows of zeros above
// and below where the image ends (and neighbouring rows where it goes on),
// held in a ring; columns beyond F read as zeros. A tap that falls outside F
// then adds w * 0, which leaves every partial sum as it is: the sums start
// from 0 + w * F, so they are never -0.
class PaddedColumns {
 public:
  PaddedColumns(const mxArray& F, const FusedTaps& taps)
      : F_(F),
        halo_(static_cast<std::size_t>(taps.halo)),
        length_(kStripRows + 2 * halo_),
        slots_(static_cast<std::size_t>(taps.maxColumn - taps.minColumn) + 1),
        ring_(slots_ * length_),
        holds_(slots_, -1),
        zeros_(length_, 0.0) {}

  void startStrip(RowStrip strip) {
    strip_ = strip;
    std::fill(holds_.begin(), holds_.end(), -1);
  }

  // Row r of the strip of column c is at [halo + r].
  const double* column(std::ptrdiff_t c) {
    if (c < 0 || c >= static_cast<std::ptrdiff_t>(F_.cols())) return zeros_.data();
    const std::size_t slot = static_cast<std::size_t>(c) % slots_;
    double* held = ring_.data() + slot * length_;
    if (holds_[slot] != c) {
      fill(static_cast<std::size_t>(c), held);
      holds_[slot] = c;
    }
    return held;
  }

  std::size_t halo() const { return halo_; }

 private:
  void fill(std::size_t c, double* held) const {
    const auto rows = static_cast<std::ptrdiff_t>(F_.rows());
    const auto first =
        static_cast<std::ptrdiff_t>(strip_.first) - static_cast<std::ptrdiff_t>(halo_);
    const auto count = static_cast<std::ptrdiff_t>(strip_.count + 2 * halo_);
    const double* source = F_.data() + c * F_.rows();
    const std::ptrdiff_t from = std::max<std::ptrdiff_t>(first, 0);
    const std::ptrdiff_t to = std::min(first + count, rows);
    std::fill(held, held + (from - first), 0.0);
    std::copy(source + from, source + to, held + (from - first));
    std::fill(held + (to - first), held + count, 0.0);
  }

  const mxArray& F_;
  std::size_t halo_, length_, slots_;
  RowStrip strip_{0, 0};
  std::vector<double> ring_;
  std::vector<std::ptrdiff_t> holds_;
  std::vector<double> zeros_;
};

// For each row r of a strip of one output column: the four smoothed values
// from the tap sources src[s][t] (already at the tap's row shift), summed
// under the sector indicators of theta[r] in the order of the composed
// expression, handed to finish(r, sum).
template <class Finish>
[[gnu::always_inline]] inline void fusedStripColumn(const double* const (&src)[4][kMaxFusedTaps],
                                                    const FusedTaps& taps, const double* theta,
                                                    std::size_t n, const SectorLimits& limits,
                                                    Finish finish) {
  double w[4][kMaxFusedTaps];
  for (std::size_t s = 0; s < 4; ++s)
    for (std::size_t t = 0; t < kMaxFusedTaps; ++t) w[s][t] = taps.weight[s][t];
  const double half = limits.halfWidth, diagonal = limits.diagonal, vertical = limits.vertical;
#pragma GCC ivdep
  for (std::size_t r = 0; r < n; ++r) {
    double smoothed[4];
    for (std::size_t s = 0; s < 4; ++s) {
      double acc = 0.0;
      for (std::size_t t = 0; t < kMaxFusedTaps; ++t) acc = acc + w[s][t] * src[s][t][r];
      smoothed[s] = acc;
    }
    const double a = theta[r];
    double sum = double(std::abs(a) <= half) * smoothed[0];
    sum = sum + double(std::abs(a - diagonal) < half) * smoothed[1];
    sum = sum + double(std::abs(a) >= vertical) * smoothed[2];
    sum = sum + double(std::abs(a + diagonal) < half) * smoothed[3];
    finish(r, sum);
  }
}

// The fused smoothing of F along the angles theta (F's size), strip by strip
// and column by column: finish(c, strip, r, sum) receives each output.
template <class Finish>
[[gnu::always_inline]] inline void smoothAlongAnglesFused(const mxArray& F, const double* theta,
                                                          const FusedTaps& taps,
                                                          const SectorLimits& limits,
                                                          Finish finish) {
  const std::size_t rows = F.rows();
  PaddedColumns padded(F, taps);
  const auto halo = static_cast<std::ptrdiff_t>(padded.halo());
  for (std::size_t first = 0; first < rows; first += kStripRows) {
    const RowStrip strip = {first, std::min(kStripRows, rows - first)};
    padded.startStrip(strip);
    for (std::size_t c = 0; c < F.cols(); ++c) {
      const double* src[4][kMaxFusedTaps];
      for (std::size_t s = 0; s < 4; ++s) {
        for (std::size_t t = 0; t < kMaxFusedTaps; ++t) {
          const std::ptrdiff_t column =
              taps.padded[s][t] ? -1 : static_cast<std::ptrdiff_t>(c) + taps.column[s][t];
          src[s][t] = padded.column(column) + halo + taps.shift[s][t];
        }
      }
      const std::size_t at = c * rows + first;
      fusedStripColumn(src, taps, theta + at, strip.count, limits,
                       [&](std::size_t r, double sum) { finish(at + r, sum); });
    }
  }
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
    smoothAlongAnglesFused(F, pageOf(angles, page), taps, limits,
                           [out](std::size_t k, double sum) { out[k] = sum; });
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
    smoothAlongAnglesFused(
        F, pageOf(angles, anglePage), taps, limits,
        [next, current, gain](std::size_t k, double sum) { next[k] = (gain * sum) * current[k]; });
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
