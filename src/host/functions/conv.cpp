// conv(a, b): full one-dimensional convolution of two vectors.
//
// Orientation, as the host's conv gives it: the result takes the orientation
// of the longer operand, and of the second operand when both are equally long.
// A 1x1 operand counts as a row, so conv of two scalars is 1x1. lixo relies
// on this: its extended signal is always the longer operand, so a column
// signal gives a column and a row signal a row.
#include <vector>

#include "host/functions/functions.hpp"
#include "host/functions/hostfn_checks.hpp"
#include "ulvadern/errors.hpp"

namespace ulv::hostfn {

namespace {

const mxArray& vectorOperand(const mxArray& a, const char* what) {
  requireNumeric("conv", a, what);
  if (!a.isVector() || a.isEmpty()) {
    hostError(std::string("conv: ") + what + " must be a non-empty vector (got " +
              dimsText(a.dims()) + ").");
  }
  return a;
}

bool isColumn(const mxArray& a) {
  return a.rows() > 1;
}

}  // namespace

Outputs conv(int, const Inputs& in) {
  requireInputCount("conv", in, 2, 2);
  const mxArray& a = vectorOperand(in[0], "input 1");
  const mxArray& b = vectorOperand(in[1], "input 2");
  const std::size_t m = a.numel();
  const std::size_t n = b.numel();
  std::vector<double> c(m + n - 1, 0.0);
  const double* x = a.data();
  const double* y = b.data();
  for (std::size_t i = 0; i < m; ++i) {
    for (std::size_t j = 0; j < n; ++j) c[i + j] += x[i] * y[j];
  }
  const bool column = isColumn(m > n ? a : b);
  const Dims dims = column ? Dims{c.size(), 1} : Dims{1, c.size()};
  return {mxArray::fromVector(dims, std::move(c))};
}

}  // namespace ulv::hostfn
