#include <algorithm>
#include <cmath>
#include <string>

#include "host/runtime/ops_internal.hpp"
#include "ulvadern/parallel.hpp"

namespace ulv::ops {

void requireNumeric(const mxArray& a, std::string_view operation) {
  if (a.isCell()) {
    hostError("Undefined function or method '" + std::string(operation) +
              "' for input arguments of type 'cell'.");
  }
  if (a.isPlaceholder()) {
    hostError("Undefined function or method '" + std::string(operation) +
              "' for an unassigned value.");
  }
}

namespace {

[[gnu::always_inline]] inline double roundedToUint8(double v) {
  // Without branches, so that loops of it vectorise: NaN fails both
  // comparisons and becomes 0; within 0..255 the fraction, exact, decides
  // the rounding of halves away from zero.
  const double clamped = std::min(std::max(0.0, v), 255.0);  // max(0, NaN) is 0
  const double whole = std::trunc(clamped);
  return whole + static_cast<double>(clamped - whole >= 0.5);
}

}  // namespace

double toUint8Value(double v) {
  return roundedToUint8(v);
}

namespace {
// Cloned per instruction set: trunc becomes one vector instruction.
[[gnu::target_clones("avx512f", "avx2", "sse4.1", "default")]] void toUint8Range(const double* in,
                                                                                 double* out,
                                                                                 std::size_t n) {
  for (std::size_t k = 0; k < n; ++k) out[k] = roundedToUint8(in[k]);
}
}  // namespace

void toUint8Values(const double* in, double* out, std::size_t n) {
  parallelRanges(n, kParallelGrain, [&](std::size_t begin, std::size_t end) {
    toUint8Range(in + begin, out + begin, end - begin);
  });
}

void settleClass(mxArray& a) {
  if (a.classID() != mxUINT8_CLASS || a.isEmpty()) return;
  double* d = a.mutableData();
  toUint8Values(d, d, a.numel());
}

mxClassID arithmeticClass(const mxArray& a, const mxArray& b) {
  return a.classID() == mxUINT8_CLASS || b.classID() == mxUINT8_CLASS ? mxUINT8_CLASS
                                                                      : mxDOUBLE_CLASS;
}

const Dims& broadcastDims(const mxArray& a, const mxArray& b) {
  if (a.numel() == 1) return b.dims();
  if (b.numel() == 1 || a.dims() == b.dims()) return a.dims();
  hostError("Matrix dimensions must agree.");
}

std::size_t toCount(double v, std::string_view what) {
  if (std::isnan(v) || std::isinf(v) || v != std::floor(v)) {
    hostError(std::string(what) + " must be integers.");
  }
  if (v > 9.0e15) hostError("Maximum variable size allowed by the program is exceeded.");
  return v < 0 ? 0 : static_cast<std::size_t>(v);
}

}  // namespace ulv::ops
