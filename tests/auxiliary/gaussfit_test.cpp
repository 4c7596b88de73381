// The mixture objective, fed through the sample file as the minimiser feeds it.
#include <gtest/gtest.h>

#include <cmath>

#include "host/files/matfile.hpp"
#include "host/runtime/ops.hpp"
#include "support/test_support.hpp"

namespace ulv {
namespace {

using test::hostErrorOf;

class GaussfitTest : public test::LibraryTest {
 protected:
  static void saveSample(const mxArray& vv) { saveVariables("minimiza.mat", {{"vv", vv}}); }
  static double gaussfit(double x1, double x2, double w) {
    return call("gaussfit", 1, {mlfScalar(x1), mlfScalar(x2), mlfScalar(w)})[0].scalarValue();
  }
  // The objective written out per sample.
  static double expected(const mxArray& vv, double x1, double x2, double w) {
    double y = 0;
    for (std::size_t k = 0; k < vv.numel(); ++k) {
      const double v = vv.at(k);
      y -= std::log(1e-15 + w * std::exp(-std::pow(v / x1, 2)) / x1 +
                    (1 - w) * std::exp(-std::pow(v / x2, 2)) / x2);
    }
    return y;
  }
  test::ScopedWorkDir dir_;
};

TEST_F(GaussfitTest, MatchesTheMixtureLikelihoodForVectorsAndMatrices) {
  const mxArray column = test::generate({12, 1}, [](std::size_t k) { return std::sin(k * 1.7); });
  saveSample(column);
  const double y = gaussfit(0.1, 0.6, 0.7);
  EXPECT_NEAR(y, expected(column, 0.1, 0.6, 0.7), 1e-12 * std::abs(y));
  saveSample(column.reshaped({3, 4}));
  EXPECT_DOUBLE_EQ(gaussfit(0.1, 0.6, 0.7), y) << "both sums reduce a matrix to a scalar";
  saveSample(mclUminus(column));
  EXPECT_DOUBLE_EQ(gaussfit(0.1, 0.6, 0.7), y) << "the sign of a sample does not matter";
}

TEST_F(GaussfitTest, StatedValues) {
  saveSample(mxArray::row({50}));
  EXPECT_DOUBLE_EQ(gaussfit(0.01, 0.02, 0.5), 34.538776394910684) << "both components underflow";
  saveSample(mxArray::row({0.3, -0.1}));
  EXPECT_EQ(gaussfit(0.2, 0.5, 1), gaussfit(0.2, 0.9, 1)) << "w = 1 ignores the second component";
  saveSample(mxArray::zeros({0, 1}));
  EXPECT_EQ(gaussfit(0.2, 0.5, 0.5), 0);
}

TEST_F(GaussfitTest, StoredVariablesTakeThePlaceOfTheArguments) {
  const mxArray vv = mxArray::row({0.05, 0.4});
  saveVariables("minimiza.mat", {{"vv", vv}, {"w", mlfScalar(0.3)}, {"other", mlfScalar(9)}});
  EXPECT_DOUBLE_EQ(gaussfit(0.1, 0.6, 0.9), expected(vv, 0.1, 0.6, 0.3));
}

TEST_F(GaussfitTest, Errors) {
  EXPECT_NE(hostErrorOf([] { gaussfit(0.1, 0.6, 0.7); }).find("minimiza"), std::string::npos)
      << "no sample file";
  saveVariables("minimiza.mat", {{"other", mlfScalar(1)}});
  EXPECT_EQ(hostErrorOf([] { gaussfit(0.1, 0.6, 0.7); }), "Variable \"vv\" is undefined.");
  saveSample(mxArray::row({0.1}));
  EXPECT_EQ(hostErrorOf([] {
              call("gaussfit", 1, {mlfScalar(0.1), mlfScalar(0.2)});
            }),
            "Input argument \"w\" is undefined.");
  EXPECT_EQ(hostErrorOf([] { call("gaussfit", 2, {}); }),
            "Run-time Error: File: gaussfit Line: 1 Column: 1 The function \"gaussfit\" was "
            "called with more than the declared number of outputs (1).");
  const mxArray one = mlfScalar(1);
  EXPECT_EQ(hostErrorOf([&] {
              call("gaussfit", 1, {one, one, one, one});
            }),
            "Run-time Error: File: gaussfit Line: 1 Column: 1 The function \"gaussfit\" was "
            "called with more than the declared number of inputs (3).");
}

}  // namespace
}  // namespace ulv
