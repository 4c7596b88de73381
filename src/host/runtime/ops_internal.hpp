// Helpers shared by the runtime operations (not part of the public runtime).
#pragma once

#include <cstddef>
#include <string_view>

#include "ulvadern/array.hpp"
#include "ulvadern/errors.hpp"

namespace ulv::ops {

// Operands of arithmetic must hold numbers: cells and the placeholder are refused.
void requireNumeric(const mxArray& a, std::string_view operation);

// uint8 conversion of one value: nearest integer with halves away from zero,
// saturated to 0..255; NaN becomes 0.
double toUint8Value(double v);
// toUint8Value of in[0 .. n-1] into out (which may be in).
void toUint8Values(const double* in, double* out, std::size_t n);
// Rounds and saturates every element in place when `a` is uint8.
void settleClass(mxArray& a);

// Class of an arithmetic result: uint8 when either operand is uint8, else double.
mxClassID arithmeticClass(const mxArray& a, const mxArray& b);

// The size of an element-wise result: a scalar expands, otherwise sizes must agree.
const Dims& broadcastDims(const mxArray& a, const mxArray& b);

// a op b element by element, with scalar expansion, into an array of class `cls`
// (uint8 results are rounded and saturated).
template <typename F>
mxArray elementwise(const mxArray& a, const mxArray& b, mxClassID cls, std::string_view operation,
                    F f) {
  requireNumeric(a, operation);
  requireNumeric(b, operation);
  mxArray result = mxArray::uninitialized(broadcastDims(a, b), cls);
  const std::size_t n = result.numel();
  double* out = result.mutableData();
  const double* x = a.data();
  const double* y = b.data();
  if (a.numel() == n && b.numel() == n) {
    for (std::size_t k = 0; k < n; ++k) out[k] = f(x[k], y[k]);
  } else if (a.numel() == n) {
    const double s = y[0];
    for (std::size_t k = 0; k < n; ++k) out[k] = f(x[k], s);
  } else {
    const double s = x[0];
    for (std::size_t k = 0; k < n; ++k) out[k] = f(s, y[k]);
  }
  settleClass(result);
  return result;
}

// f applied to every element, into an array of class `cls`.
template <typename F>
mxArray mapElements(const mxArray& a, mxClassID cls, std::string_view operation, F f) {
  requireNumeric(a, operation);
  mxArray result = mxArray::uninitialized(a.dims(), cls);
  const std::size_t n = a.numel();
  const double* x = a.data();
  double* out = result.mutableData();
  for (std::size_t k = 0; k < n; ++k) out[k] = f(x[k]);
  settleClass(result);
  return result;
}

// A dimension count or index given as a host value: a finite whole number >= 0.
std::size_t toCount(double v, std::string_view what);

}  // namespace ulv::ops
