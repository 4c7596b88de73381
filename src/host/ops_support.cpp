#include <cmath>
#include <string>

#include "host/ops_internal.hpp"

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

double toUint8Value(double v) {
  if (std::isnan(v) || v <= 0) return 0;
  if (v >= 255) return 255;
  return std::round(v);  // halves away from zero
}

void settleClass(mxArray& a) {
  if (a.classID() != mxUINT8_CLASS || a.isEmpty()) return;
  double* d = a.mutableData();
  for (std::size_t k = 0; k < a.numel(); ++k) d[k] = toUint8Value(d[k]);
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
