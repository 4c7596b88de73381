// The directional smoothing of a mask along the coefficient angles, with the
// four sector sums of each element formed in registers in one loop.
#pragma once

#include <cstddef>
#include <span>

#include "denoise/directional_smoothing.hpp"
#include "ulvadern/array.hpp"

namespace ulv::denoise {

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
// the fused loop serves, or a tap that is not finite.
bool fusedTapsOf(std::span<const mxArray* const> kernels, FusedTaps& taps);

// next = (gain * M) .* current for M the smoothing of F along the angles
// theta (F's size, column-major) as smoothAlongAnglesAndWeight defines it,
// for taps from fusedTapsOf(), without forming M.
void smoothAlongAnglesFusedAndWeight(const mxArray& F, const double* theta, const FusedTaps& taps,
                                     const SectorLimits& limits, double gain, const double* current,
                                     double* next);

}  // namespace ulv::denoise
