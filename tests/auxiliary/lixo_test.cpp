// lixo: the mirror formula for rows and columns, the single-sample case, the
// wfilters path, and the refusals.
#include <gtest/gtest.h>

#include <cmath>

#include "support/mirror_reference.hpp"
#include "support/test_support.hpp"
#include "ulvadern/calls.hpp"

namespace ulv {
namespace {

using test::hostErrorOf;

class LixoTest : public test::LibraryTest {};

// The centred sum over the mirror-extended signal, shaped like x.
mxArray byFormula(const mxArray& x, const mxArray& f, long width) {
  const long n = static_cast<long>(f.numel()), m = (n + 1) / 2;
  const bool row = x.rows() == 1;
  return test::matrixOf(x.rows(), x.cols(), [&](long r, long c) {
    const long i = row ? c : r;
    double sum = 0;
    for (long k = 1; k <= n; ++k) {
      sum += f.at(k - 1) * (row ? test::mirrorAt(x, 1, i + m - k, width)
                                : test::mirrorAt(x, i + m - k, 1, width));
    }
    return sum;
  });
}

TEST_F(LixoTest, RowsAndColumnsFollowTheMirrorFormula) {
  const mxArray lo = mxArray::row({0.2, 0, 0.5, 0.3, -0.1}),
                hi = mxArray::row({1, 0, -0.5, 0, 0.25, 0, -2});
  for (Dims dims : {Dims{1, 11}, Dims{30, 1}, Dims{1, 5}}) {
    const mxArray x = test::randomArray(dims, static_cast<std::uint32_t>(dims[0] + dims[1]), -4, 4);
    const std::vector<mxArray> out = call("lixo", 2, {x, lo, hi});
    ASSERT_EQ(out[0].dims(), x.dims());
    ASSERT_EQ(out[1].dims(), x.dims());
    EXPECT_LT(test::maxDifference(out[0], byFormula(x, lo, 5)), 1e-12);
    EXPECT_LT(test::maxDifference(out[1], byFormula(x, hi, 5)), 1e-12);
  }
  const mxArray flat = test::matrixOf(1, 9, [](long, long) { return 4.0; });
  const std::vector<mxArray> constant = call("lixo", 2, {flat, lo, hi});
  for (std::size_t k = 0; k < 9; ++k) {
    EXPECT_NEAR(constant[0].at(k), 4 * 0.9, 1e-12);
    EXPECT_NEAR(constant[1].at(k), 4 * -1.25, 1e-12);
  }
  const std::vector<mxArray> single =
      call("lixo", 2, {mlfScalar(3), mlfScalar(2), mlfScalar(-0.5)});
  EXPECT_EQ(single[0].scalarValue(), 6);
  EXPECT_EQ(single[1].scalarValue(), -1.5);
}

TEST_F(LixoTest, NamedWaveletCropsAsWkeepDoes) {
  const mxArray x = test::randomArray({1, 12}, 5, -1, 1);
  const std::vector<mxArray> db2 =
      hostfn::wfilters(2, {mxArray::string("db2"), mxArray::string("d")});
  const mxArray E =
      test::matrixOf(1, 20, [&](long, long c) { return test::mirrorAt(x, 1, c - 4, 4); });
  const std::vector<mxArray> out = call("lixo", 2, {x, mxArray::string("db2")});
  for (int k = 0; k < 2; ++k) {
    const mxArray full = hostfn::conv(1, {E, db2[k]})[0];
    const mxArray kept = hostfn::wkeep(1, {full, mlfScalar(12), mxArray::string("c")})[0];
    EXPECT_EQ(test::maxDifference(out[k], kept), 0) << k;
  }
}

TEST_F(LixoTest, CountsAndFailures) {
  const mxArray x = test::randomArray({1, 4}, 6, 0, 1), f = mxArray::row({1, 2, 1}),
                wide = mxArray::row({1, 0, 0, 0, 1});
  EXPECT_EQ(call("lixo", 0, {x, f, f})[0].numel(), 4u);
  EXPECT_EQ(call("lixo", 1, {x, f, f})[0].numel(), 4u);
  const mxArray* prhs[] = {&x, &f, &f, &f};
  const mxArray* tooWide[] = {&x, &wide, &f};
  mxArray* plhs[3] = {nullptr, nullptr, nullptr};
  const auto run = [&](int nlhs, int nrhs, const mxArray** in) {
    return hostFormError("lixo", nlhs, plhs, nrhs, in);
  };
  EXPECT_EQ(run(2, 1, prhs), "*");
  EXPECT_EQ(run(3, 3, prhs),
            "Run-time Error: File: lixo Line: 1 Column: 1 The function \"lixo\" "
            "was called with more than the declared number of outputs (2).");
  EXPECT_EQ(run(2, 4, prhs),
            "Run-time Error: File: lixo Line: 1 Column: 1 The function \"lixo\" "
            "was called with more than the declared number of inputs (3).");
  EXPECT_EQ(run(2, 3, tooWide),
            "lixo: x (4 elements) is too short for the 5-tap low-pass filter LoF_D: its mirror "
            "extension takes 5 samples from each end.");
  for (mxArray* slot : plhs) EXPECT_EQ(slot, nullptr);
  EXPECT_EQ(mclContextDepth(), 0);
}

// Data that would spread NaN through both results, and signals shorter than
// the mirror extension: a clear error naming what is wrong.
TEST_F(LixoTest, RefusesNonFiniteValuesAndShortSignals) {
  const mxArray lo = mxArray::row({1, 2, 1}), hi = mxArray::row({1, -1, 0});
  const std::vector<std::pair<std::vector<mxArray>, std::string>> cases = {
      {{mxArray::row({1, NAN, 3, 4}), lo, hi}, "lixo: x contains NaN or Inf values (x(2) is NaN)"},
      {{mxArray::row({1, 2, 3, -INFINITY}), lo, hi}, "(x(4) is -Inf)"},
      {{mxArray::row({1, 2, 3, 4}), mxArray::row({1, NAN, 1}), hi}, "LoF_D(2) is NaN"},
      {{mxArray::row({1, 2, 3, 4}), lo, mxArray::row({INFINITY, 0, 0})}, "HiF_D(1) is Inf"},
      {{mlfScalar(NAN), mxArray::string("db1")}, "x(1) is NaN"},
      {{mxArray::row({1, 2}), lo, hi}, "lixo: x (2 elements) is too short for the 3-tap"},
      {{mxArray::empty(), lo, hi}, "x (0 elements)"},
      {{mlfScalar(1), mxArray::string("db1")}, "x (1 element) is too short for the 2-tap"},
  };
  for (const auto& [inputs, message] : cases) {
    const std::string error = hostErrorOf([&] { call("lixo", 2, inputs); });
    EXPECT_NE(error.find(message), std::string::npos) << error;
  }
  EXPECT_EQ(call("lixo", 2, {mxArray::row({1, 2, 3}), lo, hi})[1].numel(), 3u)
      << "a signal as long as the filter is enough";
}

}  // namespace
}  // namespace ulv
