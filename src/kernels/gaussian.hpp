// The Gaussian shape exp(-(v / width)^2) of a mixture component, the one
// home of its arithmetic: composed from runtime operations for the
// straightforward computations, and in one pass for the fast ones. Callers
// scale it by their weights and 1 / width in their own order.
#pragma once

#include <cstddef>

#include "ulvadern/array.hpp"

namespace ulv {

// exp(-((v / width) .^ 2)) through the runtime's operations.
mxArray gaussianShape(const mxArray& v, const mxArray& width);

// The same for n values into out, dividing by multiplying with the
// reciprocal (within an ulp of the quotient; divisions would cost more than
// the exponentials) and with the vectorised exp: within 1e-12 relative of
// gaussianShape. An element's value does not depend on its position, so any
// split of the values gives the same bits.
void gaussianShapes(const double* v, std::size_t n, double width, double* out);

}  // namespace ulv
