// touint: clipping to 0..255 before the 8-bit conversion.
#include "auxiliary/touint.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "gateway/constants.hpp"
#include "host/runtime/fast_paths.hpp"
#include "support/test_support.hpp"

namespace ulv {
namespace {

using test::hostErrorOf;

class TouintTest : public test::LibraryTest {
 protected:
  static mxArray touint(const mxArray& x) { return call("touint", 1, {x})[0]; }
};

TEST_F(TouintTest, ClipsThenConverts) {
  const double inf = std::numeric_limits<double>::infinity();
  const mxArray x = mxArray::row({0, 255, -0.5, 300, -inf, inf, NAN, 127.5, 3.49});
  const mxArray y = touint(x);
  EXPECT_EQ(y.classID(), mxUINT8_CLASS);
  const double expected[] = {0, 255, 0, 255, 0, 255, 0, 128, 3};
  ASSERT_EQ(y.dims(), x.dims());
  for (std::size_t k = 0; k < 9; ++k) EXPECT_EQ(y.at(k), expected[k]) << k;
  EXPECT_EQ(x.at(2), -0.5) << "the caller's array is not modified";
  EXPECT_EQ(mlfTouint(&x).at(3), 255);
}

TEST_F(TouintTest, DirectConversionEqualsClippingFirst) {
  const double inf = std::numeric_limits<double>::infinity();
  const mxArray x = test::generate({37, 11}, [](std::size_t k) { return k * 0.77 - 40; });
  const mxArray special = mxArray::row({-0.0, -0.5, 0.5, 254.5, 255.5, 1e300, -inf, inf, NAN});
  for (const mxArray* input : {&x, &special}) {
    mxArray clippedFirst;
    {
      ScopedFastPaths off(false);
      clippedFirst = touint(*input);
    }
    test::expectSameBits(touint(*input), clippedFirst);
  }
}

TEST_F(TouintTest, KeepsShapes) {
  const mxArray empty = touint(mxArray::zeros({0, 3}));
  EXPECT_EQ(empty.dims(), (Dims{0, 3}));
  EXPECT_EQ(empty.classID(), mxUINT8_CLASS);
  const mxArray cube = test::generate({2, 3, 2}, [](std::size_t k) { return k * 30.0 - 20; });
  const mxArray y = touint(cube);
  EXPECT_EQ(y.dims(), (Dims{2, 3, 2}));
  EXPECT_EQ(y.at(0), 0);
  EXPECT_EQ(y.at(11), 255);
  EXPECT_EQ(y.at(5), 130);
}

TEST_F(TouintTest, RefusesExtraArguments) {
  const mxArray x = mlfScalar(1);
  EXPECT_EQ(hostErrorOf([&] {
              call("touint", 1, {x, x});
            }),
            countErrorMessage("touint", "inputs", 1));
  EXPECT_EQ(hostErrorOf([&] { call("touint", 2, {x}); }),
            countErrorMessage("touint", "outputs", 1));
}

}  // namespace
}  // namespace ulv
