// invmaltrans2d: each pass by its closed form at every pixel, the literal
// steps of the reconstruction, the round trips, and the failures.
#include <gtest/gtest.h>

#include <cmath>

#include "host/runtime/ops.hpp"
#include "support/mirror_reference.hpp"
#include "support/test_support.hpp"
#include "ulvadern/calls.hpp"

namespace ulv {
namespace {

using test::at;
using test::hostErrorOf;

class Invmaltrans2dTest : public test::LibraryTest {};

struct Stacks {
  mxArray ca, ch, cv;
};

Stacks randomStacks(std::size_t rows, std::size_t cols, std::size_t N, std::uint32_t seed) {
  const std::size_t pages = N + 1;
  return {test::randomArray({rows, cols, pages}, seed, -20, 280),
          test::randomArray({rows, cols, pages}, seed + 1, -30, 30),
          test::randomArray({rows, cols, pages}, seed + 2, -30, 30)};
}

// All pages before the offset and the conversion, by the closed forms.
std::vector<mxArray> byClosedForms(const Stacks& in, long N) {
  const double lambda[] = {0.0078, 0.0469, 0.1172, 0.6563, 0.1172, 0.0469, 0.0078};  // -3..3
  const double kappa[] = {0, -0.0078, -0.0547, -0.1719, 0.1719, 0.0547, 0.0078};     // -3..3
  const double omega[] = {0.125, 0.375, 0.375, 0.125};                               // -1..2
  std::vector<mxArray> x(N + 2);
  x[N + 1] = test::matrixOf(in.ca.rows(), in.ca.cols(),
                            [&](long r, long c) { return at(in.ca, r, c, N + 1); });
  for (long i = N; i >= 1; --i) {
    const long s = 1L << (i - 1);
    const auto P = [&](const mxArray& st, long r, long c) {
      return test::mirrorAt(st, r, c, 0, i + 1);
    };
    x[i] = test::matrixOf(in.ca.rows(), in.ca.cols(), [&](long r, long c) {
      double t1 = 0, t2 = 0, t3 = 0;
      for (long p = -3; p <= 3; ++p) {
        for (long q = -3; q <= 3; ++q) {
          t1 += lambda[p + 3] * kappa[q + 3] * P(in.ch, r + p * s, c + q * s);
          t2 += kappa[p + 3] * lambda[q + 3] * P(in.cv, r + p * s, c + q * s);
        }
      }
      for (long p = -1; p <= 2; ++p)
        for (long q = -1; q <= 2; ++q)
          t3 += omega[p + 1] * omega[q + 1] *
                test::mirrorAt(x[i + 1], r + p * s, c + q * s, 1 + 4 * s);
      return (t1 + t2) + t3;
    });
  }
  return x;
}

TEST_F(Invmaltrans2dTest, EveryPassFollowsItsClosedForm) {
  for (auto [rows, cols, N] : {std::tuple{33u, 40u, 4}, {12u, 9u, 2}, {20u, 20u, 1}}) {
    const Stacks in = randomStacks(rows, cols, N, rows * cols);
    const mxArray out = call("invmaltrans2d", 1, {in.ca, in.ch, in.cv, mlfScalar(N)})[0];
    ASSERT_EQ(out.classID(), mxUINT8_CLASS);
    ASSERT_EQ(out.dims(), (Dims{rows, cols, static_cast<std::size_t>(N) + 1}));
    const std::vector<mxArray> x = byClosedForms(in, N);
    for (long p = 1; p <= N + 1; ++p) {
      for (std::size_t k = 0; k < x[p].numel(); ++k) {
        const double v = std::clamp(x[p].at(k) + N, 0.0, 255.0);
        const double got = out.at(k + (p - 1) * x[p].numel());
        if (std::abs(v - std::floor(v) - 0.5) < 1e-9) continue;  // a tie decided by rounding
        ASSERT_EQ(got, std::round(v)) << "page " << p << " element " << k;
      }
    }
  }
}

// Part of the literal steps: extension, full conv2 and wkeep for each term.
mxArray literalReconstruction(const Stacks& in, long N, const mxArray& lod, const mxArray& lor,
                              const mxArray& hir) {
  const auto taps = [](const mxArray& f) {
    return std::vector<double>(f.data(), f.data() + f.numel());
  };
  std::vector<double> lorr = taps(lod);
  std::reverse(lorr.begin(), lorr.end());
  const std::size_t rows = in.ca.rows(), cols = in.ca.cols(), size = rows * cols;
  mxArray x = mxArray::zeros({rows, cols, static_cast<std::size_t>(N) + 1});
  std::copy_n(in.ca.data() + N * size, size, x.mutableData() + N * size);
  const auto pageOf = [&](const mxArray& stack, long p) {
    return test::matrixOf(rows, cols, [&](long r, long c) { return at(stack, r, c, p); });
  };
  for (long i = N; i >= 1; --i) {
    const std::size_t s = std::size_t{1} << (i - 1);
    const mxArray lo = test::dilated(lorr, s), kk = test::dilated(taps(hir), s),
                  ll = test::dilated(taps(lor), s);
    const mxArray xx = test::extendByMirror(pageOf(x, i + 1), lo.numel());
    const mxArray P = pageOf(in.ch, i + 1), Q = pageOf(in.cv, i + 1);
    const mxArray sum = mclPlus(mclPlus(test::keepCentral(mlfConv2(ll, kk, &P), rows, cols),
                                        test::keepCentral(mlfConv2(kk, ll, &Q), rows, cols)),
                                test::keepCentral(mlfConv2(lo, lo, &xx), rows, cols));
    std::copy_n(sum.data(), size, x.mutableData() + (i - 1) * size);
  }
  return mlfUint8(mclPlus(x, mlfScalar(N)));
}

TEST_F(Invmaltrans2dTest, EqualsTheLiteralStepsForDefaultAndNamedFilters) {
  const Stacks in = randomStacks(21, 26, 2, 77);
  const mxArray N = mlfScalar(2);
  const mxArray fallback = call("invmaltrans2d", 1, {in.ca, in.ch, in.cv, N})[0];
  const mxArray expected =
      literalReconstruction(in, 2, mxArray::row({0, 0.125, 0.375, 0.375, 0.125}),
                            mxArray::row({0.0078, 0.0469, 0.1172, 0.6563, 0.1172, 0.0469, 0.0078}),
                            mxArray::row({0.0078, 0.0547, 0.1719, -0.1719, -0.0547, -0.0078, 0}));
  EXPECT_EQ(test::maxDifference(fallback, expected), 0);
  // db2: even lengths at level 1 (crops lose the odd sample as wkeep says), odd at level 2.
  const std::vector<mxArray> db2 = hostfn::wfilters(4, {mxArray::string("db2")});
  const mxArray named =
      call("invmaltrans2d", 1, {in.ca, in.ch, in.cv, N, mxArray::string("db2")})[0];
  EXPECT_EQ(test::maxDifference(named, literalReconstruction(in, 2, db2[0], db2[2], db2[3])), 0);
}

TEST_F(Invmaltrans2dTest, RoundTrips) {
  const mxArray N = mlfScalar(3);
  const mxArray flat = test::matrixOf(40, 40, [](long, long) { return 100.0; });
  const std::vector<mxArray> f = call("maltrans2d", 3, {flat, mxArray(), N});
  const mxArray rebuiltFlat = call("invmaltrans2d", 1, {f[0], f[1], f[2], N})[0];
  for (std::size_t k = 0; k < rebuiltFlat.numel(); ++k) ASSERT_EQ(rebuiltFlat.at(k), 103.0);

  // Away from the borders the four-decimal filters rebuild the image to
  // within a few hundredths, so whole values come back exactly.
  const mxArray x = test::randomArray({64, 64}, 11, 20, 230, true);
  const std::vector<mxArray> d = call("maltrans2d", 3, {x, mxArray(), N});
  const mxArray rebuilt = call("invmaltrans2d", 1, {d[0], d[1], d[2], N})[0];
  const long margin = 12;
  for (long r = 1 + margin; r <= 64 - margin; ++r)
    for (long c = 1 + margin; c <= 64 - margin; ++c)
      ASSERT_EQ(at(rebuilt, r, c), at(x, r, c) + 3) << r << "," << c;

  const mxArray none = call("invmaltrans2d", 1, {x, x, x, mlfScalar(0)})[0];
  EXPECT_EQ(test::maxDifference(none, x), 0);
}

TEST_F(Invmaltrans2dTest, FailuresFillNoOutput) {
  const Stacks in = randomStacks(20, 20, 2, 3);
  const mxArray two = mlfScalar(2), three = mlfScalar(3);
  const mxArray* prhs[] = {&in.ca, &in.ch, &in.cv, &three, &two, &two};
  mxArray* plhs[2] = {nullptr, nullptr};
  const auto run = [&](int nlhs, int nrhs) {
    return hostFormError("invmaltrans2d", nlhs, plhs, nrhs, prhs);
  };
  EXPECT_EQ(run(1, 3), "Input argument \"type\" is undefined.");
  EXPECT_EQ(run(1, 4), "Index exceeds matrix dimensions.") << "N = 3 needs four pages";
  EXPECT_EQ(run(2, 6),
            "Run-time Error: File: invmaltrans2d Line: 1 Column: 1 The function "
            "\"invmaltrans2d\" was called with more than the declared number of outputs (1).");
  EXPECT_EQ(run(1, 6),
            "Run-time Error: File: invmaltrans2d Line: 1 Column: 1 The function "
            "\"invmaltrans2d\" was called with more than the declared number of inputs (5).");
  const Stacks shortDetails{in.ca, randomStacks(20, 20, 1, 4).ch, in.cv};
  EXPECT_EQ(hostErrorOf([&] {
              call("invmaltrans2d", 1, {shortDetails.ca, shortDetails.ch, shortDetails.cv, two});
            }),
            "Index exceeds matrix dimensions.");
  for (mxArray* slot : plhs) EXPECT_EQ(slot, nullptr);
  EXPECT_EQ(mclContextDepth(), 0);
}

}  // namespace
}  // namespace ulv
