// The denoiser end to end and phase by phase, on images small enough
// (H * W <= 10000 with the border) for every coefficient to be sampled.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>

#include "denoise/phases.hpp"
#include "host/files/matfile.hpp"
#include "host/runtime/ops.hpp"
#include "host/runtime/pages.hpp"
#include "support/test_support.hpp"
#include "ulvadern/random.hpp"

namespace ulv {
namespace {

using test::at;
using test::hostErrorOf;

// Bright rectangles and a disc on a dark ground: edges in every direction.
mxArray shapes(std::size_t rows, std::size_t cols) {
  mxArray image = mxArray::zeros({rows, cols});
  for (std::size_t c = 0; c < cols; ++c) {
    for (std::size_t r = 0; r < rows; ++r) {
      const double dr = r - rows * 0.6, dc = c - cols * 0.35;
      double v = 60;
      if (r > rows / 8 && r < rows / 2 && c > cols / 2 && c < cols * 7 / 8) v = 190;
      if (dr * dr + dc * dc < rows * rows / 16.0) v = 150;
      image.mutableData()[c * rows + r] = v;
    }
  }
  return image;
}

mxArray withNoise(const mxArray& clean, double sigma, unsigned seed) {
  std::mt19937_64 engine(seed);
  std::normal_distribution<double> noise(0, sigma);
  mxArray noisy = clean;
  for (std::size_t k = 0; k < noisy.numel(); ++k) {
    noisy.mutableData()[k] = std::clamp(std::round(clean.at(k) + noise(engine)), 0.0, 255.0);
  }
  return noisy;
}

// PSNR of `image` - offset against `clean`.
double psnr(const mxArray& image, const mxArray& clean, double offset = 0) {
  double squared = 0;
  for (std::size_t k = 0; k < clean.numel(); ++k) {
    squared += std::pow(image.at(k) - offset - clean.at(k), 2);
  }
  return 10 * std::log10(255.0 * 255.0 / (squared / clean.numel()));
}

class UlvadernTest : public test::LibraryTest {
 protected:
  static mxArray denoise(const std::vector<mxArray>& inputs, std::uint64_t seed = 7) {
    seedRandom(seed);
    return call("ulvadern", 1, inputs)[0];
  }
  test::ScopedWorkDir dir_;
};

TEST_F(UlvadernTest, ReturnsAnEightBitImageOfTheInputSizeForEveryLevelCount) {
  const mxArray image = withNoise(shapes(40, 47), 12, 1);
  for (int n = 1; n <= 3; ++n) {
    const mxArray y = denoise({image, mlfScalar(n)});
    EXPECT_EQ(y.classID(), mxUINT8_CLASS);
    EXPECT_EQ(y.dims(), (Dims{40, 47})) << "N = " << n;
  }
}

TEST_F(UlvadernTest, SameSeedSameImageAndDefaultsAsDocumented) {
  const mxArray image = withNoise(shapes(36, 36), 15, 2);
  const mxArray plain = denoise({image});
  const mxArray explicitDefaults =
      denoise({image, mlfScalar(3), mxArray::row({1, 1, 1, 1, 1}), mlfScalar(0.3)});
  EXPECT_EQ(std::vector<double>(plain.data(), plain.data() + plain.numel()),
            std::vector<double>(explicitDefaults.data(), explicitDefaults.data() + plain.numel()));
}

TEST_F(UlvadernTest, EightBitInputIsConvertedBeforeThePerturbation) {
  const mxArray image = withNoise(shapes(30, 30), 10, 3);
  const mxArray asDouble = denoise({image, mlfScalar(2)});
  const mxArray asUint8 = denoise({mlfUint8(image), mlfScalar(2)});
  EXPECT_TRUE(std::equal(asDouble.data(), asDouble.data() + asDouble.numel(), asUint8.data()));
}

TEST_F(UlvadernTest, WritesTheUnfusedMasksAndLeavesTheLastSample) {
  const std::size_t rows = 34, cols = 40, levels = 2;
  const mxArray image = withNoise(shapes(rows, cols), 15, 4);
  denoise({image, mlfScalar(static_cast<double>(levels))});

  const auto masks = loadAllVariables("mascaras.mat");
  ASSERT_EQ(masks.size(), 2u);
  EXPECT_EQ(masks[0].first, "maskh");
  EXPECT_EQ(masks[1].first, "maskv");
  for (const auto& [name, mask] : masks) {
    EXPECT_EQ(mask.dims(), (Dims{rows + 2, cols + 2, levels})) << name;
    for (std::size_t k = 0; k < mask.numel(); ++k) {
      ASSERT_TRUE(mask.at(k) >= 0 && mask.at(k) <= 1) << name << " at " << k;
    }
  }

  // Redo the perturbation and the transform: the last sample is the whole
  // coarsest horizontal detail page, normalised, in column-major order.
  seedRandom(7);
  mxArray x = mclPlus(image, mclMtimes(mlfScalar(0.001), mlfNRandn({mlfSize(image)})));
  const mxArray colon = mlfCreateColonIndex();
  x = mlfVertcat(
      {mclArrayRef2(x, mlfScalar(1), colon), x, mclArrayRef2(x, mlfScalar(rows), colon)});
  x = mlfHorzcat(
      {mclArrayRef2(x, colon, mlfScalar(1)), x, mclArrayRef2(x, colon, mlfScalar(cols))});
  const auto stacks = call("maltrans2d", 3, {x, mxArray::empty(), mlfScalar(levels)});
  const mxArray last = pageRef(stacks[1], mlfScalar(levels + 1));
  const mxArray normalised = mclMrdivide(last, mlfMax(mlfMax(mlfAbs(last))));

  const auto sample = loadAllVariables("minimiza.mat");
  ASSERT_EQ(sample.size(), 1u);
  EXPECT_EQ(sample[0].first, "vv");
  const mxArray& vv = sample[0].second;
  ASSERT_EQ(vv.dims(), (Dims{normalised.numel(), 1}));
  for (std::size_t k = 0; k < vv.numel(); ++k) ASSERT_EQ(vv.at(k), normalised.at(k)) << k;
}

TEST_F(UlvadernTest, ZeroGainsLeaveOnlyTheApproximation) {
  const mxArray flat = mxArray::zeros({32, 32});
  mxArray image = mclPlus(flat, mlfScalar(100));
  const mxArray y = denoise({image, mlfScalar(2), mxArray::row({0, 0})});
  for (std::size_t k = 0; k < y.numel(); ++k) {
    ASSERT_EQ(y.at(k), 102) << "a constant image comes back N gray levels brighter";
  }
}

TEST_F(UlvadernTest, RemovesNoiseAndKeepsEdges) {
  const mxArray clean = shapes(128, 128);
  const mxArray noisy = withNoise(clean, 15, 5);
  const mxArray y = denoise({noisy});
  const double before = psnr(noisy, clean);
  const double after = psnr(y, clean, 3);  // the output is N = 3 levels brighter
  EXPECT_GT(after, before + 3) << "PSNR " << before << " dB -> " << after << " dB";
  RecordProperty("psnr_in", std::to_string(before));
  RecordProperty("psnr_out", std::to_string(after));
}

TEST_F(UlvadernTest, RefusesCallsOutsideItsCounts) {
  const mxArray image = shapes(20, 20);
  const mxArray one = mlfScalar(1);
  EXPECT_EQ(hostErrorOf([&] { call("ulvadern", 1, {image, one, one, one, one, one}); }), "*");
  EXPECT_EQ(hostErrorOf([&] { call("ulvadern", 0, {image}); }), "*");
  EXPECT_EQ(hostErrorOf([&] { call("ulvadern", 1, {}); }), "*");
  EXPECT_EQ(hostErrorOf([&] { call("ulvadern", 2, {image}); }),
            "Run-time Error: File: ulvadern Line: 1 Column: 1 The function \"ulvadern\" was "
            "called with more than the declared number of outputs (1).");
  seedRandom(1);
  EXPECT_EQ(call("ulvadern", 1, {image, one, one, one, one})[0].dims(), (Dims{20, 20}))
      << "a fifth input is admitted and never read";
}

TEST_F(UlvadernTest, RefusesInputsThatWouldGiveAWrongImage) {
  const mxArray image = shapes(20, 20);
  auto errorFor = [&](std::vector<mxArray> inputs) {
    return hostErrorOf([&] { call("ulvadern", 1, inputs); });
  };
  EXPECT_NE(errorFor({mxArray::zeros({20, 20, 3})}).find("2-D"), std::string::npos);
  EXPECT_NE(errorFor({mxArray::cell({1, 1})}).find("2-D"), std::string::npos);
  mxArray withNan = image;
  withNan.mutableData()[5] = NAN;
  EXPECT_EQ(errorFor({withNan}), "ulvadern: x contains NaN or Inf values (x(6) is NaN).");
  EXPECT_NE(errorFor({image, mlfScalar(0)}).find("whole number"), std::string::npos);
  EXPECT_NE(errorFor({image, mlfScalar(1.5)}).find("whole number"), std::string::npos);
  EXPECT_NE(errorFor({image, mlfScalar(3), mxArray::row({1, 1})}).find("mult"), std::string::npos);
  EXPECT_NE(errorFor({image, mlfScalar(4)}).find("levels need"), std::string::npos);
  EXPECT_NE(errorFor({mxArray::empty()}).find("empty"), std::string::npos);
}

// Parameters that could give no meaningful image: refused before the first
// file is written, naming the argument and what it got.
TEST_F(UlvadernTest, RefusesParametersBeforeWritingAnything) {
  const mxArray image = shapes(20, 20), three = mlfScalar(3), gains = mxArray::row({1, 1, 1});
  const std::vector<std::pair<std::vector<mxArray>, std::string>> cases = {
      {{image, mlfScalar(INFINITY)},
       "N, the number of levels, must be a whole number of at least 1 (got Inf)"},
      {{image, mlfScalar(NAN)}, "(got NaN)"},
      {{image, mlfScalar(-1)}, "(got -1)"},
      {{image, mxArray::row({2, 3})}, "(got a 1x2 double array)"},
      {{image, mlfScalar(2147483648.0), gains},
       "2147483648 levels need an image of at least Inf x Inf pixels; this one is 20 x 20."},
      {{image, mlfScalar(64)}, "64 levels need an image of at least 3.68935e+19 x"},
      {{image, three, mxArray::row({1, NAN, 1})},
       "mult contains NaN or Inf values (mult(2) is NaN)"},
      {{image, three, mxArray::row({1, 1, -INFINITY, 1})}, "(mult(3) is -Inf)"},
      {{image, three, mxArray::row({1, 1})},
       "mult must be a real vector with a gain for each of the 3 levels (got a 1x2 double "
       "array)"},
      {{image, three, mxArray::string("abc")}, "(got a 1x3 char array)"},
      {{image, three, mlfUint8(gains)}, "(got a 1x3 uint8 array)"},
      {{image, three, mxArray::zeros({2, 3})}, "(got a 2x3 double array)"},
      {{image, three, mxArray::cell({1, 3})}, "(got a 1x3 cell array)"},
      {{image, three, gains, mlfScalar(NAN)},
       "pot, the exponent of the mask fusion, must be a finite real scalar (got NaN)"},
      {{image, three, gains, mlfScalar(-INFINITY)}, "(got -Inf)"},
      {{image, three, gains, mxArray::row({0.3, 0.3})}, "(got a 1x2 double array)"},
      {{image, three, gains, mxArray::empty()}, "(got a 0x0 double array)"},
      {{image, three, gains, mxArray::string("a")}, "(got a 1x1 char array)"},
      {{image, three, gains, mlfUint8(mlfScalar(1))}, "(got a 1x1 uint8 array)"},
  };
  for (const auto& [inputs, message] : cases) {
    const std::string error = hostErrorOf([&] { call("ulvadern", 1, inputs); });
    EXPECT_EQ(error.rfind("ulvadern: ", 0), 0u) << error;
    EXPECT_NE(error.find(message), std::string::npos) << error;
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path())) << "no file before the checks";
}

TEST_F(UlvadernTest, GainsThatOverflowTheWeightedDetailsAreRefused) {
  const mxArray image = withNoise(shapes(24, 24), 15, 6);
  EXPECT_EQ(hostErrorOf([&] {
              denoise({image, mlfScalar(2), mxArray::row({1, 1e308})});
            }),
            "ulvadern: the weighted details of level 2 overflow: mult(2) = 1e+308 is too large "
            "a gain for this image.");
  EXPECT_NE(hostErrorOf([&] {
              denoise({image, mlfScalar(2), mxArray::row({-1e308, 1})});
            }).find("level 1 overflow: mult(1) = -1e+308"),
            std::string::npos);
}

// Values at the edge of the admitted ones keep the results they always had:
// gains beyond N are never read, a column or logical gain vector weighs like
// the double row, and pot = 0 (every fused mask 1) still gives an image.
TEST_F(UlvadernTest, AdmittedEdgeValuesKeepTheirResults) {
  const mxArray image = withNoise(shapes(30, 30), 12, 8);
  const mxArray two = mlfScalar(2), pot = mlfScalar(0.5);
  const mxArray plain = denoise({image, two, mxArray::row({1, 0}), pot});
  test::expectSameBits(denoise({image, two, mxArray::row({1, 0, NAN, INFINITY}), pot}), plain);
  test::expectSameBits(denoise({image, two, mlfCtranspose(mxArray::row({1, 0})), pot}), plain);
  test::expectSameBits(
      denoise({image, two, mxArray::fromVector({1, 2}, {1, 0}, mxLOGICAL_CLASS), pot}), plain);
  const mxArray potZero = denoise({image, two, mxArray::row({1, 1}), mlfScalar(0)});
  EXPECT_EQ(potZero.dims(), image.dims());
  EXPECT_EQ(potZero.classID(), mxUINT8_CLASS);
}

// Fusion on its own, in either pipeline: constant masks, every angle 0 (the
// horizontal sector), unit details; the interior of each weighted page is the
// fused mask.
class FusionTest : public test::LibraryTest, public ::testing::WithParamInterface<bool> {
 protected:
  static mxArray weightedInterior(std::vector<double> maskLevels, double pot) {
    const std::size_t n = maskLevels.size();
    const denoise::Pipeline& pipeline =
        GetParam() ? denoise::fastPipeline() : denoise::straightforwardPipeline();
    denoise::Arguments arguments;
    arguments.pot = mlfScalar(pot);
    arguments.gains = mxArray::row({1, 1, 1, 1, 1});
    mxArray masks = mxArray::zeros({9, 9, n});
    for (std::size_t k = 0; k < masks.numel(); ++k) masks.mutableData()[k] = maskLevels[k / 81];
    // The details with the spare page the weighting of the coarsest level fills.
    mxArray details = mclPlus(mxArray::zeros({9, 9, n + 1}), mlfScalar(1));
    for (std::size_t k = 81 * n; k < details.numel(); ++k) details.mutableData()[k] = 0;
    const denoise::DetailStacks weighted = pipeline.fuseAndWeight(
        {masks, masks}, {details, details}, mxArray::zeros({9, 9, n}),
        mxArray::row({9, 9, static_cast<double>(n + 1)}), denoise::smoothingKernels(), arguments);
    mxArray interior = mxArray::zeros({1, n + 1});
    for (std::size_t p = 1; p <= n + 1; ++p) {
      interior.mutableData()[p - 1] = at(weighted.horizontal, 5, 5, p);
    }
    return interior;
  }
};

INSTANTIATE_TEST_SUITE_P(Pipelines, FusionTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Fast" : "Straightforward"; });

TEST_P(FusionTest, PowerMeanOverTheLevelAndUpToTwoCoarserOnes) {
  const double pot = 0.5;
  auto mean = [pot](std::initializer_list<double> m) {
    double sum = 0;
    for (double v : m) sum += std::pow(v, pot);
    return std::pow(sum / m.size(), 1 / pot);
  };
  const mxArray one = weightedInterior({0.4}, pot);
  EXPECT_DOUBLE_EQ(one.at(1), 0.4) << "N = 1: the coarsest level alone";
  EXPECT_EQ(one.at(0), 1) << "page 1 keeps the unweighted details";

  const mxArray two = weightedInterior({0.25, 1}, pot);
  EXPECT_NEAR(two.at(1), mean({0.25, 1}), 1e-15);
  EXPECT_DOUBLE_EQ(two.at(2), 1);

  const mxArray four = weightedInterior({0.1, 0.2, 0.3, 0.9}, pot);
  EXPECT_NEAR(four.at(1), mean({0.1, 0.2, 0.3}), 1e-15);
  EXPECT_NEAR(four.at(2), mean({0.2, 0.3, 0.9}), 1e-15);
  EXPECT_NEAR(four.at(3), mean({0.3, 0.9}), 1e-15);
  EXPECT_DOUBLE_EQ(four.at(4), 0.9);
}

TEST_F(UlvadernTest, SmoothingKernels) {
  const denoise::SmoothingKernels w = denoise::smoothingKernels();
  const double t[] = {0.2944976854873674, 0.4110046290252653, 0.2944976854873674};
  for (int k = 1; k <= 3; ++k) {
    EXPECT_NEAR(at(w.m0, 1, k), t[k - 1], 1e-16);
    EXPECT_EQ(at(w.m90, k, 1), at(w.m0, 1, k));
    EXPECT_EQ(at(w.m135, k, k), at(w.m0, 1, k));
    EXPECT_EQ(at(w.m45, k, 4 - k), at(w.m0, 1, k));
  }
  EXPECT_EQ(at(w.m45, 1, 1), 0);
  EXPECT_EQ(at(w.m135, 1, 3), 0);
}

}  // namespace
}  // namespace ulv
