// The directional smoothing of a fused mask in one pass.
#pragma once

#include <span>

#include "host/array.hpp"

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

}  // namespace ulv::denoise
