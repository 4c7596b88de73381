// gray(n): the n x 3 linear gray-scale colour map, each column k/(n-1) for
// k = 0..n-1 (black to white). gray(1) is black, gray(0) is 0x3.
#include "host/functions/functions.hpp"
#include "host/functions/hostfn_checks.hpp"
#include "ulvadern/errors.hpp"

namespace ulv::hostfn {

Outputs gray(int, const Inputs& in) {
  requireInputCount("gray", in, 1, 1);
  const mxArray& size = requireNumeric("gray", in[0], "the number of colours");
  if (!size.isScalar()) hostError("gray: the number of colours must be a scalar.");
  const std::size_t n = requireCount("gray", size.scalarValue(), "the number of colours");
  const double step = n > 1 ? static_cast<double>(n - 1) : 1.0;
  mxArray map = mxArray::zeros({n, 3});
  double* levels = map.mutableData();
  for (std::size_t k = 0; k < n; ++k) {
    const double level = static_cast<double>(k) / step;
    for (std::size_t c = 0; c < 3; ++c) levels[c * n + k] = level;
  }
  return {map};
}

}  // namespace ulv::hostfn
