// Element-wise functions, class conversions, sizes and construction.
#include <cmath>
#include <limits>
#include <vector>

#include "host/runtime/ops.hpp"
#include "host/runtime/ops_internal.hpp"

namespace ulv {

namespace {

// abs and floor keep uint8 (already whole and non-negative); other classes give double.
mxClassID keptNumericClass(const mxArray& a) {
  return a.classID() == mxUINT8_CLASS ? mxUINT8_CLASS : mxDOUBLE_CLASS;
}

}  // namespace

mxArray mlfAbs(const mxArray& a) {
  return ops::mapElements(a, keptNumericClass(a), "abs", [](double x) { return std::abs(x); });
}

mxArray mlfFloor(const mxArray& a) {
  return ops::mapElements(a, keptNumericClass(a), "floor", [](double x) { return std::floor(x); });
}

mxArray mlfAtan(const mxArray& a) {
  return ops::mapElements(a, mxDOUBLE_CLASS, "atan", [](double x) { return std::atan(x); });
}

mxArray mlfExp(const mxArray& a) {
  return ops::mapElements(a, mxDOUBLE_CLASS, "exp", [](double x) { return std::exp(x); });
}

// The host's log of a negative number is complex; without a complex class the
// result is NaN (log(0) is -Inf as usual).
mxArray mlfLog(const mxArray& a) {
  return ops::mapElements(a, mxDOUBLE_CLASS, "log", [](double x) {
    return x < 0 ? std::numeric_limits<double>::quiet_NaN() : std::log(x);
  });
}

mxArray mlfDouble(const mxArray& a) {
  ops::requireNumeric(a, "double");
  return a.withClass(mxDOUBLE_CLASS);
}

// Nearest integer with halves away from zero, saturated to 0..255; NaN -> 0.
mxArray mlfUint8(const mxArray& a) {
  ops::requireNumeric(a, "uint8");
  if (a.classID() == mxUINT8_CLASS) return a;
  // Converted straight into a new array: no copy of a to convert in place.
  mxArray result = mxArray::uninitialized(a.dims(), mxUINT8_CLASS);
  if (!a.isEmpty()) ops::toUint8Values(a.data(), result.mutableData(), a.numel());
  return result;
}

int mclLengthInt(const mxArray& a) {
  if (a.isEmpty()) return 0;
  std::size_t longest = 0;
  for (std::size_t d : a.dims()) longest = std::max(longest, d);
  return static_cast<int>(longest);
}

mxArray mlfSize(const mxArray& a) {
  std::vector<double> dims(a.dims().begin(), a.dims().end());
  const std::size_t n = dims.size();
  return mxArray::fromVector({1, n}, std::move(dims));
}

mxArray mlfSize(const mxArray& a, const mxArray& dim) {
  ops::requireNumeric(dim, "size");
  if (dim.numel() != 1) hostError("Dimension argument must be a positive integer scalar.");
  const double d = dim.at(0);
  if (!(d >= 1) || d != std::floor(d) || std::isinf(d)) {
    hostError("Dimension argument must be a positive integer scalar.");
  }
  const std::size_t k = static_cast<std::size_t>(std::min(d, 1e9)) - 1;
  return mxArray::scalar(k < a.ndims() ? static_cast<double>(a.dims()[k]) : 1.0);
}

Dims sizeArguments(std::initializer_list<mxArray> sizes) {
  for (const mxArray& s : sizes) {
    if (s.isPlaceholder() || s.isCell() || s.isChar()) hostError("Size inputs must be numeric.");
  }
  if (sizes.size() == 0) return {1, 1};
  Dims dims;
  if (sizes.size() == 1) {
    const mxArray& only = *sizes.begin();
    if (only.isEmpty()) return {0, 0};
    if (!only.isVector()) hostError("Size vector must be a row vector with integer elements.");
    for (std::size_t k = 0; k < only.numel(); ++k) {
      dims.push_back(ops::toCount(only.at(k), "Size inputs"));
    }
    if (dims.size() == 1) dims.push_back(dims[0]);
  } else {
    for (const mxArray& s : sizes) {
      if (!s.isScalar()) hostError("Size inputs must be scalar.");
      dims.push_back(ops::toCount(s.at(0), "Size inputs"));
    }
  }
  return normalizeDims(std::move(dims));
}

mxArray mlfZeros(std::initializer_list<mxArray> sizes) {
  return mxArray::zeros(sizeArguments(sizes));
}

mxArray mlfDiag(const mxArray& v) {
  ops::requireNumeric(v, "diag");
  if (v.ndims() > 2) hostError("First input must be 2-D.");
  const double* in = v.data();
  if (v.isVector()) {
    const std::size_t n = v.numel();
    mxArray d = mxArray::zeros({n, n}, v.classID());
    double* out = d.mutableData();
    for (std::size_t k = 0; k < n; ++k) out[k * (n + 1)] = in[k];
    return d;
  }
  const std::size_t n = std::min(v.rows(), v.cols());
  mxArray d = mxArray::zeros({n, v.isEmpty() ? std::size_t{0} : std::size_t{1}}, v.classID());
  double* out = d.mutableData();
  for (std::size_t k = 0; k < n; ++k) out[k] = in[k * (v.rows() + 1)];
  return d;
}

}  // namespace ulv
