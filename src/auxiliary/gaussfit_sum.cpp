#include "auxiliary/gaussfit_sum.hpp"

#include <cmath>
#include <limits>

namespace ulv {

namespace {

// w * exp(-((v / width) .^ 2)) / width for one sample.
double weightedComponent(double v, double width, double weight) {
  const double scaled = v / width;
  return weight * std::exp(-(scaled * scaled)) / width;
}

// The runtime's log: NaN for negative arguments.
double runtimeLog(double x) {
  return x < 0 ? std::numeric_limits<double>::quiet_NaN() : std::log(x);
}

}  // namespace

double mixtureObjective(const double* v, std::size_t n, double x1, double x2, double w,
                        double floor, double one) {
  const double otherWeight = one - w;
  double sum = 0;
  for (std::size_t k = 0; k < n; ++k) {
    const double a = weightedComponent(v[k], x1, w);
    const double b = weightedComponent(v[k], x2, otherWeight);
    const double term = runtimeLog((floor + a) + b);
    sum = k == 0 ? term : sum + term;
  }
  return -sum;
}

}  // namespace ulv
