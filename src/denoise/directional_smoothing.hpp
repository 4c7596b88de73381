// The directional smoothing of a fused mask and the weighting of a level's
// details by it, in one pass.
#pragma once

#include <cstddef>
#include <span>

#include "ulvadern/array.hpp"

namespace ulv::denoise {

// A column-major matrix read in place: a matrix, or one page of a stack.
struct MatrixView {
  const double* values;
  std::size_t rows, cols;
};
inline MatrixView viewOf(const mxArray& matrix) {
  return {matrix.data(), matrix.rows(), matrix.cols()};
}
// Page `page` (1-based) of a stack.
inline MatrixView pageView(const mxArray& stack, std::size_t page) {
  return {stack.data() + (page - 1) * stack.rows() * stack.cols(), stack.rows(), stack.cols()};
}

// The limits of the four direction sectors of the angles.
struct SectorLimits {
  double halfWidth, diagonal, vertical;
};

// D(:,:,page + 1) = (gain * M) .* D(:,:,page) for M the smoothing of F along
// the angles theta = angles(:,:,anglePage):
//   M = a0 .* conv2(F, K0, "same") + a45 .* conv2(F, K45, "same") + ... (a135),
//   a0 = abs(theta) <= halfWidth,  a45 = abs(theta - diagonal) < halfWidth,
//   a90 = abs(theta) >= vertical,  a135 = abs(theta + diagonal) < halfWidth,
// kernels in the order K0, K45, K90, K135, without forming M or the
// indicators; the same to the bit as the composed operations. F is a double
// matrix (or page), angles a double stack of its page size, D a double stack of its
// page size with more than `page` pages, and each kernel a double matrix of
// at most 3 nonzero, finite taps (the denoiser's 3 x 3 direction kernels).
// Returns whether every value of D(:,:,page + 1) is finite.
bool smoothAlongAnglesAndWeight(MatrixView F, const mxArray& angles, std::size_t anglePage,
                                const SectorLimits& limits, std::span<const mxArray* const> kernels,
                                double gain, mxArray& D, std::size_t page);

}  // namespace ulv::denoise
