// Each fused step of the denoiser against the runtime operations it stands
// for: to the bit where it repeats their arithmetic, within 1e-12 relative
// where it uses the vectorised functions.
#include "denoise/fused_steps.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <random>

#include "host/runtime/ops.hpp"
#include "host/runtime/pages.hpp"
#include "support/test_support.hpp"
#include "ulvadern/random.hpp"

namespace ulv::denoise {
namespace {

using test::expectAgrees;
using test::expectSameBits;

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// Values spread over [low, high] with the awkward ones planted at the start:
// odd sizes, so that vector tails are exercised.
mxArray spread(Dims dims, double low, double high, std::initializer_list<double> planted,
               unsigned seed) {
  std::mt19937_64 engine(seed);
  std::uniform_real_distribution<double> u(low, high);
  mxArray a = test::generate(std::move(dims), [&](std::size_t) { return u(engine); });
  std::size_t k = 0;
  for (double v : planted) a.mutableData()[k++] = v;
  return a;
}

mxArray page(const mxArray& stack, double p) {
  return pageRef(stack, mlfScalar(p));
}

TEST(FusedSteps, AnglesOfTheDetailPages) {
  const mxArray ch = spread({37, 29, 4}, -50, 50, {0, 1e-300, -7, inf, nan}, 1);
  const mxArray cv = spread({37, 29, 4}, -50, 50, {-1e-8, 0, 1e300, 3, 2}, 2);
  const mxArray offset = mlfScalar(1e-8);
  const mxArray composed =
      pageRef(mlfAtan(mclRdivide(ch, mclPlus(cv, offset))), mlfColon(mlfScalar(2), mlfScalar(4)));
  expectAgrees(anglesOfPages(ch, cv, 1e-8, 2, 4), composed);
  expectAgrees(anglesOfPages(ch, cv, 1e-8, 4, 4), page(composed, 3));
}

TEST(FusedSteps, NormalisationAndSamplingToTheBit) {
  mxArray stack = spread({31, 17, 3}, -5, 5, {}, 10);
  for (std::size_t k = 0; k < 31 * 17; ++k) stack.mutableData()[31 * 17 + k] = nan;
  stack.mutableData()[31 * 17 + 40] = -2;  // page 2: NaN but for one element
  for (std::size_t k = 0; k < 31 * 17; ++k) stack.mutableData()[2 * 31 * 17 + k] = 0;  // all zero
  for (int p = 1; p <= 3; ++p) {
    const mxArray v = page(stack, p);
    const mxArray largest = mlfMax(mlfMax(mlfAbs(v)));
    const NormalisedPage fused = normalisedPage(stack, p);
    expectSameBits(mlfScalar(fused.largest), largest);
    expectSameBits(fused.values, mclMrdivide(v, largest));
  }
  const mxArray v = page(stack, 1);
  const mxArray draws = spread({31, 17}, 0, 1, {}, 11);
  // Draws a replayer supplies: taken as the array rand gives.
  setRandomReplayer([&](RandomKind, const Dims&) { return draws; });
  for (double threshold : {0.3, 0.0, 1.0}) {
    expectSameBits(valuesAt(v, samplePositions(mlfScalar(31), mlfScalar(17), threshold)),
                   mclArrayRef1(v, mclLe(draws, mlfScalar(threshold))));
  }
  setRandomReplayer(nullptr);
  // Draws used as they come: the same sample, and the source left where
  // rand would leave it.
  const mxArray big = spread({1500, 3}, -1, 1, {}, 12);
  for (double threshold : {0.01, 0.5}) {
    seedRandom(5);
    const mxArray fused = valuesAt(big, samplePositions(mlfScalar(1500), mlfScalar(3), threshold));
    const double nextFused = mlfNRand({mlfScalar(1)}).scalarValue();
    seedRandom(5);
    const mxArray r = mlfNRand({mlfScalar(1500), mlfScalar(3)});
    expectSameBits(fused, mclArrayRef1(big, mclLe(r, mlfScalar(threshold))));
    EXPECT_EQ(nextFused, mlfNRand({mlfScalar(1)}).scalarValue());
  }
  setRandomRecorder([](const RandomDraw&) {});
  std::vector<std::size_t> unused;
  EXPECT_FALSE(drawsDirectly());
  EXPECT_FALSE(drawPositionsAtMost(1, 0.5, unused));
  setRandomRecorder(nullptr);
  EXPECT_TRUE(drawsDirectly());
}

TEST(FusedSteps, EdgePosteriorOfTheFittedMixture) {
  const mxArray v = spread({101, 53}, -1, 1, {0, -0.0, 1, -1, 40, 1e-300, nan}, 3);
  auto component = [&](double width) {
    const mxArray s = mlfScalar(width);
    return mclMrdivide(mlfExp(mclUminus(mlfPower(mclMrdivide(v, s), mlfScalar(2)))), s);
  };
  for (const MixtureParameters& p : {MixtureParameters{0.05, 0.4, 0.8, 0.2, 1e-20},
                                     MixtureParameters{1e-10, 1, 0.98, 0.02, 1e-20},
                                     MixtureParameters{0.2, 0.4000001, 0.05, 0.95, 1e-20}}) {
    const mxArray edge = mclMtimes(mlfScalar(p.ped), component(p.x2));
    const mxArray composed = mclRdivide(
        edge,
        mclPlus(mclPlus(mclMtimes(mlfScalar(p.pn), component(p.x1)), edge), mlfScalar(p.guard)));
    mxArray fused = mxArray::uninitialized(v.dims());
    edgePosterior(v, p, fused.mutableData());
    expectAgrees(fused, composed);
  }
}

TEST(FusedSteps, PowersAndPowerMeansOfMaskPages) {
  const mxArray masks = spread({45, 31, 3}, 0, 1, {0, 1, 1e-20, 4.9e-324, 1e-300, nan, inf}, 4);
  for (double exponent : {0.3, 1 / 0.3, 2.0, -0.5, 7.5, 1.0, 0.999, -0.999}) {
    // Raised where it lies, while another holder keeps the stack as it was.
    mxArray powered = masks;
    raiseToPowerInPlace(powered, exponent);
    for (int p = 1; p <= 3; ++p) {
      expectAgrees(page(powered, p), mlfPower(page(masks, p), mlfScalar(exponent)));
    }
  }
  EXPECT_EQ(masks.data()[0], 0);
  for (double exponent : {2.0, 0.3}) {
    mxArray negative = spread({9, 7}, -1, 1, {-0.5, -0.0}, 5);
    const mxArray expected = mlfPower(negative, mlfScalar(exponent));
    raiseToPowerInPlace(negative, exponent);
    expectAgrees(negative, expected);
  }

  const mxArray pot = mlfScalar(0.3);
  const mxArray a = mlfPower(page(masks, 1), pot), b = mlfPower(page(masks, 2), pot),
                c = mlfPower(page(masks, 3), pot);
  const mxArray inverse = mclRdivide(mlfScalar(1), pot);
  const Dims dims = a.dims();
  expectAgrees(powerMean({a.data(), b.data(), c.data()}, dims, 3, inverse.scalarValue()),
               mlfPower(mclRdivide(mclPlus(mclPlus(a, b), c), mlfScalar(3)), inverse));
  expectAgrees(powerMean({b.data(), c.data()}, dims, 2, inverse.scalarValue()),
               mlfPower(mclRdivide(mclPlus(b, c), mlfScalar(2)), inverse));
}

}  // namespace
}  // namespace ulv::denoise
