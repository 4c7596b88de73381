// Element-wise operators, comparisons and the truth of conditions.
//
// Arithmetic is done in double precision; a uint8 result is then rounded
// (halves away from zero) and saturated to 0..255, as the host does.
// Comparisons give logical arrays; any comparison with NaN is false.
#include <cmath>

#include "host/runtime/ops.hpp"
#include "host/runtime/ops_internal.hpp"

namespace ulv {

using ops::arithmeticClass;
using ops::elementwise;

mxArray mclPlus(const mxArray& a, const mxArray& b) {
  return elementwise(a, b, arithmeticClass(a, b), "plus", [](double x, double y) { return x + y; });
}

mxArray mclMinus(const mxArray& a, const mxArray& b) {
  return elementwise(a, b, arithmeticClass(a, b), "minus",
                     [](double x, double y) { return x - y; });
}

mxArray mclTimes(const mxArray& a, const mxArray& b) {
  return elementwise(a, b, arithmeticClass(a, b), "times",
                     [](double x, double y) { return x * y; });
}

mxArray mclRdivide(const mxArray& a, const mxArray& b) {
  return elementwise(a, b, arithmeticClass(a, b), "rdivide",
                     [](double x, double y) { return x / y; });
}

// A negative base with a non-integer exponent has a complex result in the
// host; without a complex class it gives NaN here.
mxArray mlfPower(const mxArray& a, const mxArray& b) {
  return elementwise(a, b, arithmeticClass(a, b), "power",
                     [](double x, double y) { return y == 2 ? x * x : std::pow(x, y); });
}

mxArray mclUminus(const mxArray& a) {
  const mxClassID cls = a.classID() == mxUINT8_CLASS ? mxUINT8_CLASS : mxDOUBLE_CLASS;
  return ops::mapElements(a, cls, "uminus", [](double x) { return -x; });
}

mxArray mclLt(const mxArray& a, const mxArray& b) {
  return elementwise(a, b, mxLOGICAL_CLASS, "lt",
                     [](double x, double y) { return x < y ? 1. : 0.; });
}

mxArray mclLe(const mxArray& a, const mxArray& b) {
  return elementwise(a, b, mxLOGICAL_CLASS, "le",
                     [](double x, double y) { return x <= y ? 1. : 0.; });
}

mxArray mclGt(const mxArray& a, const mxArray& b) {
  return elementwise(a, b, mxLOGICAL_CLASS, "gt",
                     [](double x, double y) { return x > y ? 1. : 0.; });
}

mxArray mclGe(const mxArray& a, const mxArray& b) {
  return elementwise(a, b, mxLOGICAL_CLASS, "ge",
                     [](double x, double y) { return x >= y ? 1. : 0.; });
}

bool mclEqBool(const mxArray& a, const mxArray& b) {
  return mlfTobool(elementwise(a, b, mxLOGICAL_CLASS, "eq",
                               [](double x, double y) { return x == y ? 1. : 0.; }));
}

// Like the host, a NaN in a condition is an error rather than silently false.
bool mlfTobool(const mxArray& a) {
  ops::requireNumeric(a, "if");
  if (a.isEmpty()) return false;
  const double* d = a.data();
  bool all = true;
  for (std::size_t k = 0; k < a.numel(); ++k) {
    if (std::isnan(d[k])) hostError("NaN's cannot be converted to logicals.");
    all = all && d[k] != 0;
  }
  return all;
}

}  // namespace ulv
