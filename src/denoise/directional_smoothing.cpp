// The directional smoothing of a mask along the coefficient angles, fused
// with the weighting: the four sector sums of each element formed in
// registers in one loop.
#include "denoise/directional_smoothing.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <vector>

#include "ulvadern/errors.hpp"
#include "ulvadern/parallel.hpp"

namespace ulv::denoise {

namespace {

// Rows [first, first + count) of a column: the smoothing works on strips of
// rows so that its column buffers stay in the first-level cache.
struct RowStrip {
  std::size_t first, count;
};
constexpr std::size_t kStripRows = 1024;

// The fused loop serves kernels of at most this many nonzero taps (the
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
// stands for a skipped one only when the kernel's taps are finite).
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
  PaddedColumns(MatrixView F, const FusedTaps& taps)
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
    if (c < 0 || c >= static_cast<std::ptrdiff_t>(F_.cols)) return zeros_.data();
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
    const auto rows = static_cast<std::ptrdiff_t>(F_.rows);
    const auto first =
        static_cast<std::ptrdiff_t>(strip_.first) - static_cast<std::ptrdiff_t>(halo_);
    const auto count = static_cast<std::ptrdiff_t>(strip_.count + 2 * halo_);
    const double* source = F_.values + c * F_.rows;
    const std::ptrdiff_t from = std::max<std::ptrdiff_t>(first, 0);
    const std::ptrdiff_t to = std::min(first + count, rows);
    std::fill(held, held + (from - first), 0.0);
    std::copy(source + from, source + to, held + (from - first));
    std::fill(held + (to - first), held + count, 0.0);
  }

  MatrixView F_;
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
// and column by column for columns [begin, end): finish(k, sum) receives
// each output, k its column-major index.
template <class Finish>
[[gnu::always_inline]] inline void smoothColumnRange(MatrixView F, const double* theta,
                                                     const FusedTaps& taps,
                                                     const SectorLimits& limits, std::size_t begin,
                                                     std::size_t end, Finish finish) {
  const std::size_t rows = F.rows;
  PaddedColumns padded(F, taps);
  const auto halo = static_cast<std::ptrdiff_t>(padded.halo());
  for (std::size_t first = 0; first < rows; first += kStripRows) {
    const RowStrip strip = {first, std::min(kStripRows, rows - first)};
    padded.startStrip(strip);
    for (std::size_t c = begin; c < end; ++c) {
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

// Cloned per instruction set: the same products and sums in the same order
// (no contraction), so every clone gives the same bits. Returns whether every
// weighted value is finite, checked as it is written rather than in another
// pass over the page.
[[gnu::target_clones("avx512f", "avx2", "default")]] bool smoothRangeAndWeight(
    MatrixView F, const double* theta, const FusedTaps& taps, const SectorLimits& limits,
    std::size_t begin, std::size_t end, double gain, const double* current, double* next) {
  unsigned finite = 1;
  smoothColumnRange(F, theta, taps, limits, begin, end, [&](std::size_t k, double sum) {
    const double weighted = (gain * sum) * current[k];
    next[k] = weighted;
    finite &= static_cast<unsigned>(std::abs(weighted) <= std::numeric_limits<double>::max());
  });
  return finite != 0;
}

// Each column is computed alike whichever thread takes it.
bool smoothAlongAnglesFusedAndWeight(MatrixView F, const double* theta, const FusedTaps& taps,
                                     const SectorLimits& limits, double gain, const double* current,
                                     double* next) {
  std::atomic<bool> finite = true;
  parallelRanges(F.cols, columnGrain(F.rows), [&](std::size_t begin, std::size_t end) {
    if (!smoothRangeAndWeight(F, theta, taps, limits, begin, end, gain, current, next)) {
      finite = false;
    }
  });
  return finite;
}

}  // namespace

bool smoothAlongAnglesAndWeight(MatrixView F, const mxArray& angles, std::size_t anglePage,
                                const SectorLimits& limits, std::span<const mxArray* const> kernels,
                                double gain, mxArray& D, std::size_t page) {
  const std::size_t size = F.rows * F.cols;
  double* next = D.mutableData() + page * size;
  const double* current = next - size;
  FusedTaps taps;
  if (!fusedTapsOf(kernels, taps)) {
    hostError("ulvadern: a direction kernel with more than 3 nonzero or a non-finite tap.");
  }
  return smoothAlongAnglesFusedAndWeight(F, angles.data() + (anglePage - 1) * size, taps, limits,
                                         gain, current, next);
}

}  // namespace ulv::denoise
