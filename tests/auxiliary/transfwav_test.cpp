// transfwav: the mirror formula at every pixel, the literal steps (extension,
// full conv2, wkeep) bit for bit, and the refusals.
#include <gtest/gtest.h>

#include <cmath>

#include "host/runtime/ops.hpp"
#include "support/mirror_reference.hpp"
#include "support/test_support.hpp"
#include "ulvadern/calls.hpp"

namespace ulv {
namespace {

using test::hostErrorOf;
using test::mirrorAt;

class TransfwavTest : public test::LibraryTest {};

// ca, ch, cv by the centred sums over the mirror-extended image (row filters).
std::vector<mxArray> byFormula(const mxArray& x, const mxArray& lo, const mxArray& hi) {
  const long lf = static_cast<long>(lo.numel()), lh = static_cast<long>(hi.numel());
  const long m = (lf + 1) / 2, mh = (lh + 1) / 2;
  const auto X = [&](long i, long j) { return mirrorAt(x, i, j, lf); };
  return {test::matrixOf(x.rows(), x.cols(),
                         [&](long i, long j) {
                           double sum = 0;
                           for (long a = 1; a <= lf; ++a)
                             for (long b = 1; b <= lf; ++b)
                               sum += lo.at(a - 1) * lo.at(b - 1) * X(i + m - a, j + m - b);
                           return sum;
                         }),
          test::matrixOf(x.rows(), x.cols(),
                         [&](long i, long j) {
                           double sum = 0;
                           for (long k = 1; k <= lh; ++k) sum += hi.at(k - 1) * X(i, j + mh - k);
                           return sum;
                         }),
          test::matrixOf(x.rows(), x.cols(), [&](long i, long j) {
            double sum = 0;
            for (long k = 1; k <= lh; ++k) sum += hi.at(k - 1) * X(i + mh - k, j);
            return sum;
          })};
}

TEST_F(TransfwavTest, FollowsTheMirrorFormulaAtEveryPixel) {
  const std::vector<double> lod{0, 0.125, 0.375, 0.375, 0.125}, hid{0, -2, 2};
  for (std::size_t s : {1, 2, 4}) {
    const mxArray lo = test::dilated(lod, s), hi = test::dilated(hid, s);
    for (auto [rows, cols] : {std::pair{lo.numel(), lo.numel()}, {23, 31}, {40, 21}}) {
      // Whole-numbered images and dyadic taps: every sum is exact.
      const mxArray x = test::randomArray({rows, cols}, 7 * s + rows, 0, 256, true);
      const std::vector<mxArray> got = call("transfwav", 3, {x, lo, hi});
      const std::vector<mxArray> expected = byFormula(x, lo, hi);
      for (int k = 0; k < 3; ++k) EXPECT_EQ(test::maxDifference(got[k], expected[k]), 0) << k;
    }
  }
  const mxArray lo = mxArray::row({0.2, -0.7, 1.3}), hi = mxArray::row({0.4, 0, 0, 0, -1.1});
  const mxArray x = test::randomArray({6, 9}, 1, -10, 10);
  const std::vector<mxArray> got = call("transfwav", 3, {x, lo, hi});
  const std::vector<mxArray> expected = byFormula(x, lo, hi);
  for (int k = 0; k < 3; ++k) EXPECT_LT(test::maxDifference(got[k], expected[k]), 1e-12) << k;
}

TEST_F(TransfwavTest, EqualsExtensionFullConvolutionAndCropBitForBit) {
  const mxArray x = test::randomArray({13, 17}, 2, -3, 3);
  const auto check = [&](const std::vector<mxArray>& got, const mxArray& lo, const mxArray& hi) {
    const mxArray E = test::extendByMirror(x, lo.numel());
    const mxArray expected[] = {mlfConv2(lo, mlfCtranspose(lo), &E), mlfConv2(hi, E),
                                mlfConv2(mlfCtranspose(hi), E)};
    for (int k = 0; k < 3; ++k) {
      const mxArray kept = test::keepCentral(expected[k], x.rows(), x.cols());
      for (std::size_t i = 0; i < kept.numel(); ++i) ASSERT_EQ(got[k].at(i), kept.at(i)) << k;
    }
  };
  const mxArray lo = mxArray::row({0.31, 0, 0.52, 0, 0.17}), hi = mxArray::row({-0.9, 0, 1.3});
  check(call("transfwav", 3, {x, lo, hi}), lo, hi);
  // An even-length pair by name: the crops lose the odd sample as wkeep decides.
  const std::vector<mxArray> db2 =
      hostfn::wfilters(2, {mxArray::string("db2"), mxArray::string("d")});
  check(call("transfwav", 3, {x, mxArray::string("db2")}), db2[0], db2[1]);
}

TEST_F(TransfwavTest, ConstantImagesAndColumnFilters) {
  const mxArray lo = test::dilated({0, 0.125, 0.375, 0.375, 0.125}, 2);
  const mxArray hi = test::dilated({0, -2, 2}, 2);
  const std::vector<mxArray> flat =
      call("transfwav", 3, {test::matrixOf(9, 12, [](long, long) { return 17.0; }), lo, hi});
  for (std::size_t i = 0; i < flat[0].numel(); ++i) {
    ASSERT_EQ(flat[0].at(i), 17.0);
    ASSERT_EQ(flat[1].at(i), 0.0);
    ASSERT_EQ(flat[2].at(i), 0.0);
  }
  const mxArray x = test::randomArray({11, 14}, 3, 0, 256, true);
  const std::vector<mxArray> rows = call("transfwav", 3, {x, lo, hi});
  const std::vector<mxArray> cols = call("transfwav", 3, {x, mlfCtranspose(lo), mlfCtranspose(hi)});
  EXPECT_EQ(test::maxDifference(cols[0], rows[0]), 0);
  EXPECT_EQ(test::maxDifference(cols[1], rows[2]), 0);
  EXPECT_EQ(test::maxDifference(cols[2], rows[1]), 0);
}

TEST_F(TransfwavTest, RefusalsFillNoOutput) {
  const mxArray x = test::randomArray({6, 6}, 4, 0, 1), lo = mxArray::row({1, 2, 1});
  const mxArray* prhs[] = {&x, &lo, &lo, &lo};
  mxArray* plhs[4] = {nullptr, nullptr, nullptr, nullptr};
  const auto run = [&](int nlhs, int nrhs) {
    return hostFormError("transfwav", nlhs, plhs, nrhs, prhs);
  };
  EXPECT_EQ(run(2, 3), "*");
  EXPECT_EQ(run(1, 1), "*");
  EXPECT_EQ(run(4, 4),
            "Run-time Error: File: transfwav Line: 1 Column: 1 The function "
            "\"transfwav\" was called with more than the declared number of outputs (3).");
  EXPECT_EQ(run(3, 4),
            "Run-time Error: File: transfwav Line: 1 Column: 1 The function "
            "\"transfwav\" was called with more than the declared number of inputs (3).");
  const mxArray wide = mxArray::row({1, 0, 0, 0, 0, 0, 1});
  const mxArray* tooWide[] = {&x, &wide, &lo};
  EXPECT_EQ(hostFormError("transfwav", 3, plhs, 3, tooWide),
            "transfwav: x (6x6) is too short for the 7-tap low-pass filter LoF_D: its mirror "
            "extension takes 7 samples from each end.");
  for (mxArray* slot : plhs) EXPECT_EQ(slot, nullptr);
  EXPECT_EQ(mclContextDepth(), 0);
  EXPECT_EQ(call("transfwav", 0, {x, lo, lo})[0].rows(), 6u);
}

// Data that would spread NaN through all three results, and images smaller
// than the mirror extension along either axis: a clear error each.
TEST_F(TransfwavTest, RefusesNonFiniteValuesAndSmallImages) {
  const mxArray lo = mxArray::row({1, 2, 1}), hi = mxArray::row({1, -1, 0});
  mxArray withNan = test::randomArray({5, 4}, 2, 0, 1);
  withNan.mutableData()[7] = NAN;
  const std::vector<std::pair<std::vector<mxArray>, std::string>> cases = {
      {{withNan, lo, hi}, "transfwav: x contains NaN or Inf values (x(8) is NaN)"},
      {{mxArray::zeros({4, 4}), mxArray::row({1, INFINITY, 1}), hi}, "LoF_D(2) is Inf"},
      {{mxArray::zeros({4, 4}), lo, mxArray::row({0, NAN})}, "HiF_D(2) is NaN"},
      {{mxArray::zeros({2, 9}), lo, hi}, "transfwav: x (2x9) is too short for the 3-tap"},
      {{mxArray::zeros({9, 2}), lo, hi}, "x (9x2)"},
      {{mxArray::empty(), lo, hi}, "x (0x0)"},
      {{mlfScalar(NAN), mxArray::string("haar")}, "x(1) is NaN"},
  };
  for (const auto& [inputs, message] : cases) {
    const std::string error = hostErrorOf([&] { call("transfwav", 3, inputs); });
    EXPECT_NE(error.find(message), std::string::npos) << error;
  }
  EXPECT_EQ(call("transfwav", 3, {mxArray::zeros({3, 3}), lo, hi})[2].rows(), 3u)
      << "an image as wide as the filter is enough";
}

}  // namespace
}  // namespace ulv
