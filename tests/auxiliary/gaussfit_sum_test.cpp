// The one-pass objective against the runtime operations it stands for: within
// 1e-12 relative (vectorised exp and log), with the same underflow, NaN and
// infinities.
#include "auxiliary/gaussfit_sum.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <random>
#include <thread>

#include "host/runtime/ops.hpp"

namespace ulv {
namespace {

// gaussfit's steps 2 to 9 as runtime operations.
double composed(const mxArray& vv, double x1, double x2, double w) {
  const mxArray two = mlfScalar(2), one = mlfScalar(1), floor = mlfScalar(1e-15);
  auto component = [&](const mxArray& weight, double width) {
    const mxArray s = mlfScalar(width);
    const mxArray shape = mlfExp(mclUminus(mlfPower(mclMrdivide(vv, s), two)));
    return mclMrdivide(mclMtimes(weight, shape), s);
  };
  mxArray S = mclPlus(floor, component(mlfScalar(w), x1));
  S = mclPlus(S, component(mclMinus(one, mlfScalar(w)), x2));
  return mclUminus(mlfSum(mlfSum(mlfLog(S)))).scalarValue();
}

// Within 1e-12 relative; infinities equal, and any NaN equals any NaN.
bool agrees(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  if (std::isinf(a) || std::isinf(b)) return a == b;
  return std::abs(a - b) <= 1e-12 * std::abs(b);
}

TEST(MixtureObjective, AgreesWithTheComposedOperations) {
  std::mt19937_64 engine(3);
  std::normal_distribution<double> spread(0, 0.2);
  std::uniform_real_distribution<double> unit(0, 1);
  mxArray vv = mxArray::zeros({5000, 1});
  for (std::size_t k = 0; k < vv.numel(); ++k) vv.mutableData()[k] = spread(engine);
  vv.mutableData()[0] = 0;
  vv.mutableData()[1] = 40;  // both components underflow
  vv.mutableData()[2] = -1e-300;
  for (int trial = 0; trial < 50; ++trial) {
    const double x1 = 1e-10 + unit(engine) * 0.3, x2 = x1 * (2 + 10 * unit(engine));
    const double w = 0.05 + 0.93 * unit(engine);
    const double fast = mixtureObjective(vv, x1, x2, w, 1e-15, 1);
    EXPECT_TRUE(agrees(fast, composed(vv, x1, x2, w))) << x1 << " " << x2 << " " << w;
  }
  const mxArray row = vv.reshaped({1, 5000});
  EXPECT_TRUE(agrees(mixtureObjective(row, 0.1, 0.5, 1, 1e-15, 1), composed(row, 0.1, 0.5, 1)));
}

TEST(MixtureObjective, UnguardedParametersGiveTheRuntimesNaNAndInfinities) {
  const mxArray vv = mxArray::row({0.1, -0.2, 0});
  const double inf = std::numeric_limits<double>::infinity();
  for (const auto& [x1, x2, w] : {std::array<double, 3>{-0.1, 0.5, 0.5},
                                  {0, 0.5, 0.5},
                                  {0.1, 0.5, 3},
                                  {0.1, inf, 0.5},
                                  {0.1, 0.5, -inf}}) {
    EXPECT_TRUE(agrees(mixtureObjective(vv, x1, x2, w, 1e-15, 1), composed(vv, x1, x2, w)))
        << x1 << " " << x2 << " " << w;
  }
}

// The value on a thread that has evaluated nothing before.
double computedAfresh(const mxArray& v, double x1, double x2, double w) {
  const mxArray own = mxArray::fromVector({v.numel(), 1}, {v.data(), v.data() + v.numel()});
  double value = 0;
  std::thread([&] { value = mixtureObjective(own, x1, x2, w, 1e-15, 1); }).join();
  return value;
}

// Probes that repeat widths (as finite differences do) reuse earlier
// exponentials; the value must be the one computed afresh, also when the
// samples change (in a new buffer, or in place once no longer shared) and
// beyond the sizes that are kept.
TEST(MixtureObjective, RepeatedWidthsGiveTheValueComputedAfresh) {
  std::mt19937_64 engine(5);
  std::normal_distribution<double> spread(0, 0.2);
  for (const std::size_t n : {std::size_t{10000}, std::size_t{70001}}) {
    mxArray v = mxArray::zeros({n, 1});
    for (std::size_t k = 0; k < n; ++k) v.mutableData()[k] = spread(engine);
    const double h = 1e-6;
    const std::array<double, 3> probes[] = {
        {0.1, 0.5, 0.4},     {0.1 + h, 0.5, 0.4}, {0.1 - h, 0.5, 0.4}, {0.1, 0.5 + h, 0.4},
        {0.1, 0.5 - h, 0.4}, {0.1, 0.5, 0.4 + h}, {0.1, 0.5, 0.4 - h}, {0.5, 0.1, 0.4},
        {0.3, 0.3, 0.7},     {0.1, 0.5, 0.4}};
    for (const auto& [x1, x2, w] : probes) {
      EXPECT_EQ(mixtureObjective(v, x1, x2, w, 1e-15, 1), computedAfresh(v, x1, x2, w))
          << n << ": " << x1 << " " << x2 << " " << w;
    }
    v.mutableData()[n / 2] = 3.5;  // the kept copy stays as it was
    EXPECT_EQ(mixtureObjective(v, 0.1, 0.5, 0.4, 1e-15, 1), computedAfresh(v, 0.1, 0.5, 0.4));
    const mxArray copy = mxArray::fromVector({n, 1}, {v.data(), v.data() + n});
    EXPECT_EQ(mixtureObjective(copy, 0.1, 0.5, 0.4, 1e-15, 1), computedAfresh(v, 0.1, 0.5, 0.4));
    const mxArray shorter = mxArray::fromVector({n - 1, 1}, {v.data(), v.data() + n - 1});
    EXPECT_EQ(mixtureObjective(shorter, 0.1, 0.5, 0.4, 1e-15, 1),
              computedAfresh(shorter, 0.1, 0.5, 0.4));
  }
}

}  // namespace
}  // namespace ulv
