#include <cmath>
#include <limits>
#include <random>

#include "host/runtime/ops.hpp"
#include "support/test_support.hpp"

namespace ulv {
namespace {

using test::hostErrorOf;

mxArray randomMatrix(std::size_t rows, std::size_t cols, unsigned seed, double zeroShare = 0) {
  std::mt19937 engine(seed);
  std::uniform_real_distribution<double> value(-1, 1);
  return test::generate({rows, cols}, [&](std::size_t) {
    const double v = value(engine);
    return std::abs(v) < zeroShare ? 0.0 : v;
  });
}

// The full convolution by its definition.
mxArray naiveFull(const mxArray& a, const mxArray& b) {
  const std::size_t rows = a.rows() + b.rows() - 1, cols = a.cols() + b.cols() - 1;
  mxArray c = mxArray::zeros({rows, cols});
  double* out = c.mutableData();
  for (std::size_t i = 0; i < a.rows(); ++i)
    for (std::size_t j = 0; j < a.cols(); ++j)
      for (std::size_t p = 0; p < b.rows(); ++p)
        for (std::size_t q = 0; q < b.cols(); ++q)
          out[(i + p) + (j + q) * rows] += a.at(i + j * a.rows()) * b.at(p + q * b.rows());
  return c;
}

mxArray block(const mxArray& a, std::size_t top, std::size_t left, std::size_t rows,
              std::size_t cols) {
  return test::generate({rows, cols}, [&](std::size_t k) {
    return a.at((top + k % rows) + (left + k / rows) * a.rows());
  });
}

void expectNear(const mxArray& actual, const mxArray& expected) {
  ASSERT_EQ(actual.dims(), expected.dims());
  for (std::size_t k = 0; k < actual.numel(); ++k)
    EXPECT_NEAR(actual.at(k), expected.at(k), 1e-12) << k;
}

TEST(Conv2, FullSameValidAgainstDefinition) {
  const mxArray same = mxArray::string("same"), valid = mxArray::string("valid");
  const mxArray a = randomMatrix(7, 6, 1);
  for (auto [kr, kc] : {std::pair{1, 1}, {3, 3}, {2, 4}, {1, 5}, {4, 1}, {5, 2}}) {
    SCOPED_TRACE(std::to_string(kr) + "x" + std::to_string(kc));
    const mxArray k = randomMatrix(kr, kc, 2, 0.4);  // kernels with zero taps
    const mxArray full = naiveFull(a, k);
    expectNear(mlfConv2(a, k), full);
    expectNear(mlfConv2(k, a), full);
    expectNear(mlfConv2(a, k, &same), block(full, kr / 2, kc / 2, 7, 6));
    expectNear(mlfConv2(a, k, &valid), block(full, kr - 1, kc - 1, 8 - kr, 7 - kc));
  }
}

TEST(Conv2, SeparableEqualsOuterProductKernel) {
  const mxArray a = randomMatrix(6, 9, 3);
  const mxArray u = mxArray::row({0, 0.125, 0, 0.375, 0, 0.375, 0, 0.125});  // dilated
  const mxArray v = mxArray::row({0.5, 0, -2}).reshaped({3, 1});
  const mxArray kernel = mclMtimes(mlfCtranspose(u), mlfCtranspose(v));
  const mxArray full = naiveFull(a, kernel);
  expectNear(mlfConv2(u, v, &a), full);
  const mxArray same = mxArray::string("same");
  expectNear(mlfConv2(u, v, &a, &same), block(full, 4, 1, 6, 9));
}

TEST(Conv2, EmptyOperandsAndErrors) {
  const mxArray a = randomMatrix(3, 3, 4);
  EXPECT_TRUE(mlfConv2(mxArray::empty(), a).isEmpty());
  const mxArray same = mxArray::string("same");
  const mxArray kept = mlfConv2(a, mxArray::empty(), &same);
  EXPECT_EQ(kept.dims(), (Dims{3, 3}));
  EXPECT_EQ(kept.at(0), 0);
  const mxArray valid = mxArray::string("valid");
  EXPECT_EQ(mlfConv2(a, randomMatrix(4, 1, 5), &valid).dims(), (Dims{0, 3}));
  const mxArray bad = mxArray::string("middle");
  EXPECT_EQ(hostErrorOf([&] { mlfConv2(a, a, &bad); }), "Unknown shape parameter.");
  EXPECT_NE(hostErrorOf([&] { mlfConv2(a, mxArray::zeros({2, 2, 2})); }), "");
  EXPECT_NE(hostErrorOf([&] { mlfConv2(a, a, &a); }), "");
}

TEST(Conv2, ZeroTapsAreSkipped) {
  const double inf = std::numeric_limits<double>::infinity();
  const mxArray a = mxArray::row({1, inf, 2});
  const mxArray result = mlfConv2(a, mxArray::row({1, 0}));
  EXPECT_EQ(result.at(0), 1);
  EXPECT_EQ(result.at(2), 2);  // 0 * Inf would be NaN
}

}  // namespace
}  // namespace ulv
