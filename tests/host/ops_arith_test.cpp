#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "host/runtime/ops.hpp"
#include "support/test_support.hpp"

namespace ulv {
namespace {

using test::at;
using test::hostErrorOf;
using test::matrix;

constexpr double kInf = std::numeric_limits<double>::infinity();
mxArray num(double v) {
  return mxArray::scalar(v);
}
mxArray bytes(double v) {
  return mxArray::scalar(v, mxUINT8_CLASS);
}

TEST(OpsArith, ElementwiseExpandsScalarsAndChecksSizes) {
  const mxArray m = matrix(2, 2, {1, 2, 3, 4});
  EXPECT_EQ(at(mclMinus(num(10), m), 2, 2), 6);
  EXPECT_EQ(at(mlfPower(m, num(2)), 2, 1), 9);
  EXPECT_EQ(at(mclRdivide(m, m), 1, 2), 1);
  EXPECT_EQ(hostErrorOf([&] {
              mclPlus(m, mxArray::row({1, 2}));
            }),
            "Matrix dimensions must agree.");
  EXPECT_EQ(mclPlus(num(1), mxArray::zeros({0, 3})).dims(), (Dims{0, 3}));
  EXPECT_NE(hostErrorOf([] { mclPlus(mxArray::cell({1, 1}), num(1)); }), "");
  EXPECT_NE(hostErrorOf([] { mclTimes(mxArray(), num(1)); }), "");
}

TEST(OpsArith, Uint8RoundsAndSaturates) {
  EXPECT_EQ(mclPlus(bytes(250), num(10)).at(0), 255);
  EXPECT_EQ(mclMinus(bytes(5), num(10)).at(0), 0);
  EXPECT_EQ(mclRdivide(bytes(5), bytes(2)).at(0), 3);  // 2.5 rounds away from zero
  EXPECT_EQ(mclPlus(bytes(5), num(10)).classID(), mxUINT8_CLASS);
  EXPECT_EQ(mclUminus(bytes(5)).at(0), 0);
  const mxArray converted = mlfUint8(mxArray::row({-3, 0.5, 1.49, 2.5, 254.5, 300, NAN, kInf}));
  const double expected[] = {0, 1, 1, 3, 255, 255, 0, 255};
  for (std::size_t k = 0; k < 8; ++k) EXPECT_EQ(converted.at(k), expected[k]) << k;
  EXPECT_EQ(converted.classID(), mxUINT8_CLASS);
  EXPECT_EQ(mlfDouble(converted).classID(), mxDOUBLE_CLASS);

  // The vectorised conversion against std::round on values at every rounding
  // edge, in an array long enough for the vector loop and its tail.
  std::vector<double> edges = {0.49999999999999994,
                               0.5,
                               1.5,
                               2.5,
                               254.49999999999997,
                               254.5,
                               255.49,
                               -0.5,
                               -0.0,
                               4.9e-324,
                               1e300,
                               -kInf};
  for (int k = 0; k < 600; ++k) edges.push_back(k * 0.4999 - 20);
  mxArray many = mxArray::zeros({edges.size(), 1});
  std::copy(edges.begin(), edges.end(), many.mutableData());
  const mxArray rounded = mlfUint8(many);
  for (std::size_t k = 0; k < edges.size(); ++k) {
    const double v = edges[k];
    const double want = !(v > 0) ? 0 : v >= 255 ? 255 : std::round(v);
    ASSERT_EQ(rounded.at(k), want) << "uint8(" << v << ")";
  }
  EXPECT_EQ(many.at(0), 0.49999999999999994) << "the source is not modified";
}

TEST(OpsArith, ComparisonsAndConditions) {
  const mxArray values = mxArray::row({-kInf, -1, NAN, 0, kInf});
  const mxArray lt = mclLt(values, num(0));
  EXPECT_EQ(lt.classID(), mxLOGICAL_CLASS);
  const double ltExpected[] = {1, 1, 0, 0, 0};
  for (std::size_t k = 0; k < 5; ++k) EXPECT_EQ(lt.at(k), ltExpected[k]) << k;
  EXPECT_EQ(mclGe(values, num(0)).at(2), 0);
  EXPECT_EQ(mclGt(values, num(NAN)).at(4), 0);
  EXPECT_EQ(mclLe(num(0), values).at(3), 1);
  EXPECT_TRUE(mclEqBool(mxArray::row({1, 2}), mxArray::row({1, 2})));
  EXPECT_FALSE(mclEqBool(mxArray::row({1, 2}), num(1)));
  EXPECT_FALSE(mclEqBool(num(NAN), num(NAN)));
  EXPECT_FALSE(mclEqBool(mxArray::empty(), mxArray::empty()));
  EXPECT_TRUE(mlfTobool(mxArray::row({1, 2})));
  EXPECT_FALSE(mlfTobool(mxArray::row({1, 0})));
  EXPECT_FALSE(mlfTobool(mxArray::empty()));
  EXPECT_NE(hostErrorOf([] { mlfTobool(num(NAN)); }), "");
}

TEST(OpsArith, MatrixOperators) {
  const mxArray a = matrix(2, 3, {1, 2, 3, 4, 5, 6});
  const mxArray b = matrix(3, 1, {1, 0, -1});
  const mxArray p = mclMtimes(a, b);
  EXPECT_EQ(p.dims(), (Dims{2, 1}));
  EXPECT_EQ(p.at(1), -2);
  EXPECT_EQ(hostErrorOf([&] { mclMtimes(a, a); }), "Inner matrix dimensions must agree.");
  EXPECT_EQ(at(mclMtimes(num(2), a), 2, 3), 12);
  const mxArray square = matrix(2, 2, {2, 1, 1, 3});
  const mxArray x = mclMrdivide(matrix(1, 2, {4, 7}), square);  // x * square = [4 7]
  EXPECT_NEAR(x.at(0), 1, 1e-12);
  EXPECT_NEAR(x.at(1), 2, 1e-12);
  EXPECT_EQ(mclMrdivide(a, num(2)).at(5), 3);
  EXPECT_NE(hostErrorOf([&] { mclMrdivide(a, a); }), "");
  EXPECT_EQ(mclMpower(num(2), num(10)).at(0), 1024);
  const mxArray cube = mclMpower(square, num(3));
  EXPECT_EQ(at(cube, 1, 1), 15);  // [2 1;1 3]^3 = [15 20;20 35]
  EXPECT_EQ(at(cube, 2, 2), 35);
  EXPECT_EQ(at(mclMpower(square, num(0)), 1, 2), 0);
  EXPECT_NE(hostErrorOf([&] { mclMpower(square, num(0.5)); }), "");
  EXPECT_NE(hostErrorOf([&] { mclMpower(a, num(2)); }), "");
}

TEST(OpsMath, ElementFunctions) {
  EXPECT_TRUE(std::isnan(mlfLog(num(-1)).at(0)));
  EXPECT_EQ(mlfLog(num(0)).at(0), -kInf);
  EXPECT_EQ(mlfFloor(num(-1.5)).at(0), -2);
  EXPECT_EQ(mlfAbs(bytes(3)).classID(), mxUINT8_CLASS);
  EXPECT_NEAR(mlfAtan(num(1)).at(0), M_PI / 4, 1e-15);
  EXPECT_EQ(mlfExp(mxArray::zeros({0, 2})).dims(), (Dims{0, 2}));
}

TEST(OpsMath, Reductions) {
  const mxArray m = matrix(2, 3, {1, NAN, 3, 4, 5, NAN});
  const mxArray colMax = mlfMax(m);
  EXPECT_EQ(colMax.dims(), (Dims{1, 3}));
  EXPECT_EQ(colMax.at(1), 5);
  EXPECT_EQ(colMax.at(2), 3);
  EXPECT_TRUE(std::isnan(mlfMin(mxArray::row({NAN, NAN})).at(0)));
  EXPECT_EQ(mlfMin(mxArray::row({3, NAN, -1})).at(0), -1);
  const mxArray two = num(2);
  EXPECT_EQ(mlfMax(mxArray::row({1, NAN}), &two).at(1), 2);
  EXPECT_EQ(mlfSum(mxArray::empty()).dims(), (Dims{1, 1}));
  EXPECT_EQ(mlfSum(mxArray::empty()).at(0), 0);
  EXPECT_EQ(mlfSum(mxArray::zeros({0, 3})).dims(), (Dims{1, 3}));
  EXPECT_EQ(mlfSum(mxArray::row({1, 2, 3})).at(0), 6);
  EXPECT_EQ(mlfSum(matrix(2, 2, {1, 2, 3, 4}), &two).at(1), 7);
  const mxArray three = num(3);
  const mxArray cube = test::generate({2, 2, 3}, [](std::size_t k) { return double(k); });
  const mxArray pages = mlfSum(cube, &three);
  EXPECT_EQ(pages.dims(), (Dims{2, 2}));
  EXPECT_EQ(pages.at(0), 0 + 4 + 8);
}

TEST(OpsMath, SizesAndConstruction) {
  const mxArray cube = mxArray::zeros({2, 3, 4});
  EXPECT_EQ(mlfSize(cube).dims(), (Dims{1, 3}));
  EXPECT_EQ(mlfSize(cube, num(3)).at(0), 4);
  EXPECT_EQ(mlfSize(cube, num(7)).at(0), 1);
  EXPECT_EQ(mclLengthInt(cube), 4);
  EXPECT_EQ(mclLengthInt(mxArray::zeros({0, 5})), 0);
  EXPECT_EQ(mlfZeros({num(3)}).dims(), (Dims{3, 3}));
  EXPECT_EQ(mlfZeros({num(2), num(0)}).dims(), (Dims{2, 0}));
  EXPECT_EQ(mlfZeros({mxArray::row({2, 3, 4})}).dims(), (Dims{2, 3, 4}));
  EXPECT_NE(hostErrorOf([] { mlfZeros({num(1.5)}); }), "");
  const mxArray d = mlfDiag(mxArray::row({1, 2, 3}));
  EXPECT_EQ(d.dims(), (Dims{3, 3}));
  EXPECT_EQ(at(d, 3, 3), 3);
  EXPECT_EQ(at(d, 1, 3), 0);
  EXPECT_EQ(mlfDiag(d).dims(), (Dims{3, 1}));
  const mxArray t = mlfCtranspose(matrix(2, 3, {1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(t.dims(), (Dims{3, 2}));
  EXPECT_EQ(at(t, 3, 1), 3);
  EXPECT_NE(hostErrorOf([&] { mlfCtranspose(cube); }), "");
}

}  // namespace
}  // namespace ulv
