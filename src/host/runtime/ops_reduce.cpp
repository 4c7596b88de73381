// Reductions along a dimension (max, min, sum) and element-wise max/min.
#include <cmath>
#include <limits>

#include "host/runtime/ops.hpp"
#include "host/runtime/ops_internal.hpp"

namespace ulv {

namespace {

std::size_t firstNonSingleton(const Dims& dims) {
  for (std::size_t k = 0; k < dims.size(); ++k)
    if (dims[k] != 1) return k;
  return 0;
}

// Reduces `a` along dimension `dim` with `combine`, starting each slice from
// its first element (slices are non-empty).
template <typename F>
mxArray reduce(const mxArray& a, std::size_t dim, mxClassID cls, F combine) {
  Dims dims = a.dims();
  if (dim >= dims.size()) dims.resize(dim + 1, 1);
  const std::size_t length = dims[dim];
  std::size_t inner = 1, outer = 1;
  for (std::size_t k = 0; k < dim; ++k) inner *= dims[k];
  for (std::size_t k = dim + 1; k < dims.size(); ++k) outer *= dims[k];
  dims[dim] = 1;
  mxArray result = mxArray::zeros(dims, cls);
  const double* in = a.data();
  double* out = result.mutableData();
  for (std::size_t o = 0; o < outer; ++o) {
    for (std::size_t i = 0; i < inner; ++i) {
      const double* slice = in + o * inner * length + i;
      double acc = slice[0];
      for (std::size_t k = 1; k < length; ++k) acc = combine(acc, slice[k * inner]);
      out[o * inner + i] = acc;
    }
  }
  ops::settleClass(result);
  return result;
}

// The larger (or smaller) of two values; NaN only when both are NaN.
template <bool kMax>
double pick(double x, double y) {
  if (std::isnan(x)) return y;
  if (std::isnan(y)) return x;
  return kMax ? (y > x ? y : x) : (y < x ? y : x);
}

template <bool kMax>
mxArray extreme(const mxArray& a, const mxArray* b) {
  const char* name = kMax ? "max" : "min";
  if (b != nullptr) return ops::elementwise(a, *b, ops::arithmeticClass(a, *b), name, pick<kMax>);
  ops::requireNumeric(a, name);
  const mxClassID cls = a.classID() == mxUINT8_CLASS ? mxUINT8_CLASS : mxDOUBLE_CLASS;
  const std::size_t dim = firstNonSingleton(a.dims());
  if (a.dims()[dim] == 0) {  // nothing to compare: an empty result
    Dims dims = a.dims();
    if (!(a.ndims() == 2 && a.rows() == 0 && a.cols() == 0)) dims[dim] = 0;
    return mxArray::zeros(dims, cls);
  }
  return reduce(a, dim, cls, pick<kMax>);
}

}  // namespace

mxArray mlfMax(const mxArray& a, const mxArray* b) {
  return extreme<true>(a, b);
}
mxArray mlfMin(const mxArray& a, const mxArray* b) {
  return extreme<false>(a, b);
}

// The sum of an empty 0x0 array is 0; empty slices of other arrays sum to 0.
// uint8 sums stay uint8 (saturated), other classes give double.
mxArray mlfSum(const mxArray& a, const mxArray* dim) {
  ops::requireNumeric(a, "sum");
  const mxClassID cls = a.classID() == mxUINT8_CLASS ? mxUINT8_CLASS : mxDOUBLE_CLASS;
  std::size_t d = 0;
  if (dim != nullptr) {
    ops::requireNumeric(*dim, "sum");
    if (dim->numel() != 1 || !(dim->at(0) >= 1) || dim->at(0) != std::floor(dim->at(0))) {
      hostError("Dimension argument must be a positive integer scalar.");
    }
    d = ops::toCount(dim->at(0), "Dimension argument") - 1;
  } else if (a.ndims() == 2 && a.rows() == 0 && a.cols() == 0) {
    return mxArray::scalar(0, cls);
  } else {
    d = firstNonSingleton(a.dims());
  }
  if (d < a.ndims() && a.dims()[d] == 0) {
    Dims dims = a.dims();
    dims[d] = 1;
    return mxArray::zeros(dims, cls);
  }
  return reduce(a, d, cls, [](double x, double y) { return x + y; });
}

}  // namespace ulv
