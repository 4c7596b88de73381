// The directional smoothing of a fused mask in one pass.
#pragma once

#include <span>

#include "ulvadern/array.hpp"

namespace ulv::denoise {

// One direction: its sector indicator and its smoothing kernel.
struct SectorKernel {
  const mxArray* indicator;
  const mxArray* kernel;
};

// Whether smoothBySector applies: F a non-empty double matrix, each indicator
// a logical or double array of F's size, each kernel a non-empty double
// matrix with no more elements than F.
bool smoothsInOnePass(const mxArray& F, std::span<const SectorKernel> sectors);

// ((a1 .* conv2(F, K1, "same") + a2 .* conv2(F, K2, "same")) + ...) computed
// column by column without the full-size temporaries. Each convolution value
// sums the kernel's nonzero taps in the runtime's order from 0, and the
// products and sums follow the composed expression, so the result is the
// same to the bit.
mxArray smoothBySector(const mxArray& F, std::span<const SectorKernel> sectors);

// The limits of the four direction sectors of the angles.
struct SectorLimits {
  double halfWidth, diagonal, vertical;
};

// Whether smoothAlongAngles applies: F a non-empty double matrix, `page` a
// page of the double stack `angles` of F's size, and four double kernels
// with no more elements than F.
bool smoothsAlongAnglesInOnePass(const mxArray& F, const mxArray& angles, std::size_t page,
                                 std::span<const mxArray* const> kernels);

// smoothBySector with the sector indicators of theta = angles(:,:,page)
// computed column by column instead of read from arrays, kernels in the order
// a0, a45, a90, a135:
//   a0 = abs(theta) <= halfWidth,  a45 = abs(theta - diagonal) < halfWidth,
//   a90 = abs(theta) >= vertical,  a135 = abs(theta + diagonal) < halfWidth.
// The same to the bit as the composed comparisons and smoothing.
mxArray smoothAlongAngles(const mxArray& F, const mxArray& angles, std::size_t page,
                          const SectorLimits& limits, std::span<const mxArray* const> kernels);

// Whether smoothAlongAnglesAndWeight may write D(:,:,page + 1): D a double
// stack of F's page size with more than `page` pages.
bool weightsInOnePass(const mxArray& F, const mxArray& D, std::size_t page);

// D(:,:,page + 1) = (gain * M) .* D(:,:,page) for M = smoothAlongAngles(F,
// angles, anglePage, limits, kernels), without forming M; the same to the bit.
void smoothAlongAnglesAndWeight(const mxArray& F, const mxArray& angles, std::size_t anglePage,
                                const SectorLimits& limits, std::span<const mxArray* const> kernels,
                                double gain, mxArray& D, std::size_t page);

}  // namespace ulv::denoise
