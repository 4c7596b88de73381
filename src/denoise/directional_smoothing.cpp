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

// Column c of conv2(F, K, "same") into `column` (F's row count long): the
// taps in column-major order, each adding w * F where its source lies in F.
[[gnu::always_inline]] inline void sameColumn(const mxArray& F, const mxArray& K, std::size_t c,
                                              double* column) {
  const std::size_t rows = F.rows(), cols = F.cols();
  const std::size_t top = K.rows() / 2, left = K.cols() / 2;
  std::fill(column, column + rows, 0.0);
  for (std::size_t j = 0; j < K.cols(); ++j) {
    if (c + left < j || c + left - j >= cols) continue;
    const double* source = F.data() + (c + left - j) * rows;
    for (std::size_t i = 0; i < K.rows(); ++i) {
      const double w = K.data()[i + j * K.rows()];
      if (w == 0) continue;
      // Output row r reads source row r + shift, which must lie in 0 .. rows - 1.
      const auto shift = static_cast<std::ptrdiff_t>(top) - static_cast<std::ptrdiff_t>(i);
      const std::ptrdiff_t first = std::max<std::ptrdiff_t>(0, -shift);
      const std::ptrdiff_t end =
          static_cast<std::ptrdiff_t>(rows) - std::max<std::ptrdiff_t>(0, shift);
      for (std::ptrdiff_t r = first; r < end; ++r) column[r] += w * source[r + shift];
    }
  }
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

// The sum over sectors s of indicator_s .* conv2(F, kernel_s, "same"), column
// by column; indicatorColumn(c, s, buffer) gives column c of indicator s
// (pointing into an array, or into `buffer` filled for the purpose).
template <class IndicatorColumn>
[[gnu::always_inline]] inline mxArray smoothColumns(const mxArray& F,
                                                    std::span<const mxArray* const> kernels,
                                                    IndicatorColumn indicatorColumn) {
  const std::size_t rows = F.rows();
  mxArray result = mxArray::uninitialized(F.dims());
  double* out = result.mutableData();
  std::vector<double> smoothed(rows), buffer(rows);
  for (std::size_t c = 0; c < F.cols(); ++c) {
    double* target = out + c * rows;
    for (std::size_t s = 0; s < kernels.size(); ++s) {
      sameColumn(F, *kernels[s], c, smoothed.data());
      const double* in = indicatorColumn(c, s, buffer.data());
      if (s == 0) {
        for (std::size_t r = 0; r < rows; ++r) target[r] = in[r] * smoothed[r];
      } else {
        for (std::size_t r = 0; r < rows; ++r) target[r] = target[r] + in[r] * smoothed[r];
      }
    }
  }
  return result;
}

// Indicator `sector` of the angles t[0 .. n-1], as the composed comparisons
// give it: a0 = abs(t) <= halfWidth, a45 = abs(t - diagonal) < halfWidth,
// a90 = abs(t) >= vertical, a135 = abs(t + diagonal) < halfWidth.
[[gnu::always_inline]] inline void sectorColumn(std::size_t sector, const double* t, std::size_t n,
                                                const SectorLimits& limits, double* out) {
  const double half = limits.halfWidth, diagonal = limits.diagonal;
  switch (sector) {
    case 0:
      for (std::size_t r = 0; r < n; ++r) out[r] = std::abs(t[r]) <= half;
      break;
    case 1:
      for (std::size_t r = 0; r < n; ++r) out[r] = std::abs(t[r] - diagonal) < half;
      break;
    case 2:
      for (std::size_t r = 0; r < n; ++r) out[r] = std::abs(t[r]) >= limits.vertical;
      break;
    default:
      for (std::size_t r = 0; r < n; ++r) out[r] = std::abs(t[r] + diagonal) < half;
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
  return smoothColumns(F, kernels, [&](std::size_t c, std::size_t s, double*) {
    return sectors[s].indicator->data() + c * F.rows();
  });
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

[[gnu::target_clones("avx512f", "avx2", "default")]] mxArray smoothAlongAngles(
    const mxArray& F, const mxArray& angles, std::size_t page, const SectorLimits& limits,
    std::span<const mxArray* const> kernels) {
  const std::size_t rows = F.rows();
  const double* theta = angles.data() + (page - 1) * rows * F.cols();
  return smoothColumns(F, kernels, [&](std::size_t c, std::size_t s, double* buffer) {
    sectorColumn(s, theta + c * rows, rows, limits, buffer);
    return static_cast<const double*>(buffer);
  });
}

}  // namespace ulv::denoise
