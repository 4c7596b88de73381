// gaussfit's value for a sample vector and scalar parameters in one pass.
#pragma once

#include "ulvadern/array.hpp"

namespace ulv {

// -sum(log(floor + w*exp(-(v/x1).^2)/x1 + (one-w)*exp(-(v/x2).^2)/x2)) over
// the samples v (a non-empty double array), without the ten temporaries of
// the sample's size the composed operations make. Each sample's arithmetic
// is the runtime's; the sum is not: it runs in eight interleaved partial
// sums, added together at the end in a fixed order. exp and log are the
// vectorised ones (the log the 3.5-ulp one, whose last bits vanish in the
// sum), so the value agrees with the composed form to about 1e-15 relative,
// NaN and infinities alike.
// The exponentials of recent widths are kept (per thread) for the next
// evaluations on the same samples, as a fit's probes repeat widths; the value
// is the same to the bit either way.
double mixtureObjective(const mxArray& v, double x1, double x2, double w, double floor, double one);

}  // namespace ulv
