// Two-dimensional convolution, the runtime's hot path.
//
// The dilated filters of the transform are mostly zeros, so the loops run over
// the kernel's nonzero taps only, each tap adding a scaled copy of whole
// columns (contiguous in memory). A zero tap therefore contributes nothing
// even where the other operand holds Inf or NaN.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "host/runtime/ops.hpp"
#include "host/runtime/ops_internal.hpp"

namespace ulv {

namespace {

enum class Shape { Full, Same, Valid };

Shape parseShape(const mxArray* option) {
  if (option == nullptr) return Shape::Full;
  if (!option->isChar()) hostError("Unknown shape parameter.");
  std::string text = option->toString();
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (text == "full") return Shape::Full;
  if (text == "same") return Shape::Same;
  if (text == "valid") return Shape::Valid;
  hostError("Unknown shape parameter.");
}

void requirePlane(const mxArray& a) {
  ops::requireNumeric(a, "conv2");
  if (a.ndims() > 2) hostError("N-D arrays are not supported.");
}

// A 2-D view of doubles, column-major.
struct Plane {
  const double* data;
  std::size_t rows, cols;
};

Plane planeOf(const mxArray& a) {
  return {a.data(), a.rows(), a.cols()};
}

// Full-size extent of a convolution along one axis; empty stays empty.
std::size_t fullExtent(std::size_t m, std::size_t k) {
  return m == 0 || k == 0 ? 0 : m + k - 1;
}

// out += full convolution of `image` with `kernel`; out has the full size.
void convolveFull(Plane image, Plane kernel, double* out) {
  const std::size_t outRows = image.rows + kernel.rows - 1;
  for (std::size_t j = 0; j < kernel.cols; ++j) {
    for (std::size_t i = 0; i < kernel.rows; ++i) {
      const double w = kernel.data[i + j * kernel.rows];
      if (w == 0) continue;
      for (std::size_t c = 0; c < image.cols; ++c) {
        const double* __restrict src = image.data + c * image.rows;
        double* __restrict dst = out + (c + j) * outRows + i;
        for (std::size_t r = 0; r < image.rows; ++r) dst[r] += w * src[r];
      }
    }
  }
}

// The part of a full result (fullRows x fullCols) that `shape` keeps; the
// central part for "same" starts after floor(kernel size / 2).
mxArray crop(const mxArray& full, Shape shape, std::size_t rows, std::size_t cols,
             std::size_t kernelRows, std::size_t kernelCols) {
  if (shape == Shape::Full) return full;
  std::size_t outRows = rows, outCols = cols, top = kernelRows / 2, left = kernelCols / 2;
  if (shape == Shape::Valid) {
    outRows = kernelRows == 0 ? rows : (rows + 1 > kernelRows ? rows + 1 - kernelRows : 0);
    outCols = kernelCols == 0 ? cols : (cols + 1 > kernelCols ? cols + 1 - kernelCols : 0);
    top = kernelRows == 0 ? 0 : kernelRows - 1;
    left = kernelCols == 0 ? 0 : kernelCols - 1;
  }
  mxArray result = mxArray::zeros({outRows, outCols});
  if (full.isEmpty() || result.isEmpty()) return result;
  double* out = result.mutableData();
  const double* in = full.data();
  for (std::size_t c = 0; c < outCols; ++c) {
    std::memcpy(out + c * outRows, in + (c + left) * full.rows() + top, outRows * sizeof(double));
  }
  return result;
}

mxArray convolve(const mxArray& a, const mxArray& b, Shape shape) {
  requirePlane(a);
  requirePlane(b);
  mxArray full = mxArray::zeros({fullExtent(a.rows(), b.rows()), fullExtent(a.cols(), b.cols())});
  if (!full.isEmpty()) {
    // Full convolution commutes: loop over the taps of the smaller operand.
    const bool aIsKernel = a.numel() < b.numel();
    convolveFull(planeOf(aIsKernel ? b : a), planeOf(aIsKernel ? a : b), full.mutableData());
  }
  return crop(full, shape, a.rows(), a.cols(), b.rows(), b.cols());
}

// Columns of `a` convolved with u, then rows of the result with v.
mxArray convolveSeparable(const mxArray& u, const mxArray& v, const mxArray& a, Shape shape) {
  requirePlane(u);
  requirePlane(v);
  requirePlane(a);
  if (!u.isVector() || !v.isVector()) hostError("First and second arguments must be vectors.");
  const Plane column{u.data(), u.numel(), 1};
  const Plane row{v.data(), 1, v.numel()};
  mxArray columnsDone = mxArray::zeros({fullExtent(a.rows(), u.numel()), a.cols()});
  if (!columnsDone.isEmpty()) convolveFull(planeOf(a), column, columnsDone.mutableData());
  mxArray full = mxArray::zeros({columnsDone.rows(), fullExtent(a.cols(), v.numel())});
  if (!full.isEmpty()) convolveFull(planeOf(columnsDone), row, full.mutableData());
  return crop(full, shape, a.rows(), a.cols(), u.numel(), v.numel());
}

}  // namespace

mxArray mlfConv2(const mxArray& a, const mxArray& b, const mxArray* c, const mxArray* d) {
  if (c == nullptr || c->isChar()) {
    if (d != nullptr) hostError("Too many input arguments.");
    return convolve(a, b, parseShape(c));
  }
  return convolveSeparable(a, b, *c, parseShape(d));
}

}  // namespace ulv
