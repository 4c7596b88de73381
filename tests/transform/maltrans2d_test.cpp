// maltrans2d: the page layout and the closed forms of the default filters at
// every pixel, the wfilters path, and the failures.
#include <gtest/gtest.h>

#include <cmath>

#include "support/mirror_reference.hpp"
#include "support/test_support.hpp"
#include "ulvadern/calls.hpp"

namespace ulv {
namespace {

using test::hostErrorOf;
using test::mirrorAt;

class Maltrans2dTest : public test::LibraryTest {};

// Page i+1 of ca, ch and cv from page i of ca (a) by the closed forms.
std::vector<mxArray> nextLevel(const mxArray& a, long s) {
  const long width = 1 + 4 * s;
  const auto A = [&](long r, long c) { return mirrorAt(a, r, c, width); };
  const std::pair<long, double> w[] = {{1, 0.125}, {0, 0.375}, {-1, 0.375}, {-2, 0.125}};
  return {test::matrixOf(a.rows(), a.cols(),
                         [&](long r, long c) {
                           double sum = 0;
                           for (auto [p, wp] : w)
                             for (auto [q, wq] : w) sum += wp * wq * A(r + p * s, c + q * s);
                           return sum;
                         }),
          test::matrixOf(a.rows(), a.cols(),
                         [&](long r, long c) { return 2 * A(r, c - s) - 2 * A(r, c); }),
          test::matrixOf(a.rows(), a.cols(),
                         [&](long r, long c) { return 2 * A(r - s, c) - 2 * A(r, c); })};
}

mxArray page(const mxArray& stack, std::size_t p) {
  return test::matrixOf(stack.rows(), stack.cols(),
                        [&](long r, long c) { return test::at(stack, r, c, p); });
}

TEST_F(Maltrans2dTest, EveryPageFollowsTheClosedForms) {
  for (auto [rows, cols, N] : {std::tuple{33u, 33u, 4}, {37u, 52u, 4}, {9u, 12u, 2}}) {
    // Whole-numbered images: every sum of the default filters is exact.
    const mxArray x = test::randomArray({rows, cols}, rows + cols, 0, 256, true);
    const std::vector<mxArray> out = call("maltrans2d", 3, {x, mxArray(), mlfScalar(N)});
    for (const mxArray& stack : out) {
      ASSERT_EQ(stack.dims(), (Dims{rows, cols, static_cast<std::size_t>(N) + 1}));
    }
    EXPECT_EQ(test::maxDifference(page(out[0], 1), x), 0);
    for (int k : {1, 2})
      EXPECT_EQ(test::maxDifference(page(out[k], 1), mxArray::zeros({rows, cols})), 0);
    mxArray a = x;
    for (int i = 1; i <= N; ++i) {
      const std::vector<mxArray> expected = nextLevel(a, 1L << (i - 1));
      for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(test::maxDifference(page(out[k], i + 1), expected[k]), 0) << i << k;
      }
      a = expected[0];
    }
  }
}

TEST_F(Maltrans2dTest, ConstantImages) {
  const mxArray flat = test::matrixOf(20, 21, [](long, long) { return 42.0; });
  const std::vector<mxArray> out = call("maltrans2d", 3, {flat, mxArray::empty(), mlfScalar(3)});
  for (std::size_t k = 0; k < out[0].numel(); ++k) {
    ASSERT_EQ(out[0].at(k), 42.0);
    ASSERT_EQ(out[1].at(k), 0.0);
    ASSERT_EQ(out[2].at(k), 0.0);
  }
}

TEST_F(Maltrans2dTest, NamedWaveletFiltersEachLevelThroughTransfwav) {
  const mxArray x = test::randomArray({14, 11}, 9, -5, 5);
  const std::vector<mxArray> out =
      call("maltrans2d", 3, {x, mxArray(), mlfScalar(2), mxArray::string("db2")});
  const std::vector<mxArray> db2 = hostfn::wfilters(4, {mxArray::string("db2")});
  const auto taps = [](const mxArray& f) {
    return std::vector<double>(f.data(), f.data() + f.numel());
  };
  mxArray a = x;
  for (std::size_t i = 1; i <= 2; ++i) {
    const std::size_t s = std::size_t{1} << (i - 1);
    const std::vector<mxArray> level =
        call("transfwav", 3, {a, test::dilated(taps(db2[0]), s), test::dilated(taps(db2[1]), s)});
    for (int k = 0; k < 3; ++k) EXPECT_EQ(test::maxDifference(page(out[k], i + 1), level[k]), 0);
    a = level[0];
  }
}

TEST_F(Maltrans2dTest, FailuresFillNoOutput) {
  const mxArray x = test::randomArray({16, 16}, 5, 0, 1), three = mlfScalar(3);
  const mxArray* prhs[] = {&x, &x, &three, &x, &x};
  mxArray* plhs[4] = {nullptr, nullptr, nullptr, nullptr};
  const auto run = [&](int nlhs, int nrhs) {
    return hostFormError("maltrans2d", nlhs, plhs, nrhs, prhs);
  };
  EXPECT_EQ(run(3, 2), "Input argument \"type\" is undefined.");
  EXPECT_EQ(run(3, 3),
            "maltrans2d: 3 levels need an image of at least 17 x 17 pixels; this one is 16 x 16.");
  EXPECT_EQ(run(4, 5),
            "Run-time Error: File: maltrans2d Line: 1 Column: 1 The function "
            "\"maltrans2d\" was called with more than the declared number of outputs (3).");
  EXPECT_EQ(run(3, 5),
            "Run-time Error: File: maltrans2d Line: 1 Column: 1 The function "
            "\"maltrans2d\" was called with more than the declared number of inputs (4).");
  for (mxArray* slot : plhs) EXPECT_EQ(slot, nullptr);
  EXPECT_EQ(mclContextDepth(), 0);
}

// Level counts that would skip the levels (N < 1, NaN), cut them short
// (1.5), or dilate the filters beyond any size, and images with NaN: each a
// clear error, and no output.
TEST_F(Maltrans2dTest, RefusesWhatGivesNoMeaningfulTransform) {
  const mxArray x = test::randomArray({20, 20}, 7, 0, 255);
  mxArray withNan = x;
  withNan.mutableData()[41] = NAN;
  const std::vector<std::pair<std::vector<mxArray>, std::string>> cases = {
      {{x, x, mlfScalar(0)}, "whole number of at least 1 (got 0)"},
      {{x, x, mlfScalar(-1)}, "(got -1)"},
      {{x, x, mlfScalar(NAN)}, "(got NaN)"},
      {{x, x, mlfScalar(1.5)}, "(got 1.5)"},
      {{x, x, mlfScalar(INFINITY)}, "(got Inf)"},
      {{x, x, mxArray::row({1, 2})}, "(got a 1x2 double array)"},
      {{x, x, mxArray::cell({1, 1})}, "(got a 1x1 cell array)"},
      {{x, x, mlfScalar(4)},
       "4 levels need an image of at least 33 x 33 pixels; this one is 20 x 20."},
      {{x, x, mlfScalar(30)}, "at least 2147483649 x 2147483649 pixels"},
      {{x, x, mlfScalar(64)}, "at least 3.68935e+19 x 3.68935e+19 pixels"},
      {{x, x, mlfScalar(2147483648.0)}, "at least Inf x Inf pixels"},
      {{x, x, mlfScalar(4), mxArray::string("db2")}, "at least 25 x 25 pixels"},
      {{withNan, x, mlfScalar(1)}, "x contains NaN or Inf values (x(42) is NaN)"},
  };
  for (const auto& [inputs, message] : cases) {
    std::vector<const mxArray*> prhs;
    for (const mxArray& input : inputs) prhs.push_back(&input);
    mxArray* plhs[3] = {nullptr, nullptr, nullptr};
    const std::string error =
        hostFormError("maltrans2d", 3, plhs, static_cast<int>(prhs.size()), prhs.data());
    EXPECT_EQ(error.rfind("maltrans2d: ", 0), 0u) << error;
    EXPECT_NE(error.find(message), std::string::npos) << error;
    for (mxArray* slot : plhs) EXPECT_EQ(slot, nullptr);
  }
  EXPECT_EQ(call("maltrans2d", 3, {x, x, mlfScalar(3)})[0].pages(), 4u) << "20 x 20 holds 3 levels";
}

}  // namespace
}  // namespace ulv
