// gaussfit's value for a sample vector and scalar parameters in one pass.
#pragma once

#include <cstddef>

namespace ulv {

// -sum(log(floor + w*exp(-(v/x1).^2)/x1 + (one-w)*exp(-(v/x2).^2)/x2)) over
// v[0..n-1] (n >= 1). Every sample goes through the runtime's operations of
// the composed form in their order and the sum runs from the first element,
// as the runtime's sum does, so the result is the same to the bit; only the
// ten temporaries of the sample's size are skipped.
double mixtureObjective(const double* v, std::size_t n, double x1, double x2, double w,
                        double floor, double one);

}  // namespace ulv
