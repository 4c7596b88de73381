// gaussfit's value for a sample vector and scalar parameters in one pass.
#pragma once

#include <cstddef>

namespace ulv {

// -sum(log(floor + w*exp(-(v/x1).^2)/x1 + (one-w)*exp(-(v/x2).^2)/x2)) over
// v[0..n-1] (n >= 1), without the ten temporaries of the sample's size the
// composed operations make. The arithmetic and the sum run in the runtime's
// order; exp and log are the vectorised ones, so the value agrees with the
// composed form to about 1e-15 relative (NaN and infinities alike); the log
// is the 3.5-ulp one, its last bits vanish in the sum.
double mixtureObjective(const double* v, std::size_t n, double x1, double x2, double w,
                        double floor, double one);

}  // namespace ulv
