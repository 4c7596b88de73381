// The one-pass directional smoothing against the composed conv2 "same",
// products and sums: equal to the bit.
#include "denoise/directional_smoothing.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "host/runtime/ops.hpp"
#include "host/runtime/pages.hpp"
#include "support/test_support.hpp"
#include "ulvadern/parallel.hpp"

namespace ulv::denoise {
namespace {

using test::expectSameBits;

// One direction: its sector indicator and its smoothing kernel.
struct SectorKernel {
  const mxArray* indicator;
  const mxArray* kernel;
};

// ((a1 .* conv2(F, K1, "same") + a2 .* conv2(F, K2, "same")) + ...)
mxArray composed(const mxArray& F, std::span<const SectorKernel> sectors) {
  const mxArray same = mxArray::string("same");
  mxArray sum;
  for (std::size_t s = 0; s < sectors.size(); ++s) {
    const mxArray term = mclTimes(*sectors[s].indicator, mlfConv2(F, *sectors[s].kernel, &same));
    sum = s == 0 ? term : mclPlus(sum, term);
  }
  return sum;
}

struct AngleLimits {
  double half = 0.3927, diagonal = 0.785398, vertical = 1.178097;
};

// The sector indicators of page `page` of the angles, as the composed
// comparisons make them.
std::array<mxArray, 4> composedSectors(const mxArray& angles, std::size_t page,
                                       const AngleLimits& l) {
  const mxArray theta = pageRef(angles, mlfScalar(static_cast<double>(page)));
  const mxArray h = mlfScalar(l.half), d = mlfScalar(l.diagonal);
  return {mclLe(mlfAbs(theta), h), mclLt(mlfAbs(mclMinus(theta, d)), h),
          mclGe(mlfAbs(theta), mlfScalar(l.vertical)), mclLt(mlfAbs(mclPlus(theta, d)), h)};
}

// smoothAlongAnglesAndWeight against the indicators, the smoothing and the
// weighting composed from runtime operations, every page.
void expectAlongAnglesToTheBit(const mxArray& F, const mxArray& angles,
                               const std::array<const mxArray*, 4>& kernels,
                               std::mt19937_64& engine) {
  const AngleLimits l;
  std::normal_distribution<double> value(0, 1);
  for (std::size_t page = 1; page <= angles.pages(); ++page) {
    const std::array<mxArray, 4> a = composedSectors(angles, page, l);
    const std::array<SectorKernel, 4> sectors = {
        {{&a[0], kernels[0]}, {&a[1], kernels[1]}, {&a[2], kernels[2]}, {&a[3], kernels[3]}}};
    const mxArray M = composed(F, sectors);
    mxArray D = test::generate({F.rows(), F.cols(), angles.pages() + 1},
                               [&](std::size_t) { return value(engine); });
    mxArray weighted = D;
    const mxArray p = mlfScalar(static_cast<double>(page));
    pageAssign(weighted, mclTimes(mclMtimes(mlfScalar(0.7), M), pageRef(D, p)),
               mlfScalar(static_cast<double>(page + 1)));
    smoothAlongAnglesAndWeight(viewOf(F), angles, page, {l.half, l.diagonal, l.vertical}, kernels,
                               0.7, D, page);
    expectSameBits(D, weighted);
  }
}

// Sector indicators tested on the fly equal the composed comparisons, angles
// on the sector edges included, and so does the smoothing they select: for
// the denoiser's 3 x 3 direction kernels and for kernels with fewer or
// spread taps; on images smaller than the kernels, across strips of rows,
// with -0, Inf and NaN.
TEST(DirectionalSmoothing, AlongAnglesEqualsIndicatorsThenSmoothingToTheBit) {
  std::mt19937_64 engine(9);
  std::uniform_real_distribution<double> angle(-1.6, 1.6);
  std::normal_distribution<double> value(0, 1);
  const AngleLimits l;
  const mxArray m0 = mxArray::row({0.29, 0.41, 0.29});
  const mxArray m90 = m0.reshaped({3, 1});
  const mxArray m135 = mlfDiag(m0);
  mxArray m45 = mxArray::zeros({3, 3});
  for (int k = 0; k < 3; ++k) m45.mutableData()[k + (2 - k) * 3] = m0.at(k);
  const mxArray single = mxArray::row({0.6});
  mxArray spread = mxArray::zeros({5, 4});  // taps two rows and columns away, even width
  spread.mutableData()[0] = 0.2, spread.mutableData()[8] = -0.5, spread.mutableData()[19] = 0.3;
  const std::array<std::array<const mxArray*, 4>, 2> kernelSets = {{
      {&m0, &m45, &m90, &m135},
      {&single, &spread, &m90, &m0},
  }};
  for (const Dims& dims : {Dims{1031, 7}, Dims{2100, 3}, Dims{37, 23}, Dims{1, 9}, Dims{9, 1},
                           Dims{2, 2}, Dims{5, 4}}) {
    mxArray angles =
        test::generate({dims[0], dims[1], 2}, [&](std::size_t) { return angle(engine); });
    const double edges[] = {l.half,
                            -l.half,
                            l.diagonal - l.half,
                            l.diagonal + l.half,
                            -l.diagonal + l.half,
                            -l.diagonal - l.half,
                            l.vertical,
                            -l.vertical,
                            std::nextafter(l.half, 0.0),
                            -0.0,
                            std::nan("")};
    for (std::size_t k = 0; k < std::size(edges) && k * 37 < angles.numel(); ++k)
      angles.mutableData()[k * 37] = edges[k];
    mxArray F = test::generate(dims, [&](std::size_t) { return value(engine); });
    F.mutableData()[0] = -0.0;
    if (F.numel() > 4) {
      F.mutableData()[3] = std::numeric_limits<double>::infinity();
      F.mutableData()[4] = std::numeric_limits<double>::quiet_NaN();
    }
    for (const auto& kernels : kernelSets) {
      const bool fits = std::all_of(kernels.begin(), kernels.end(),
                                    [&](const mxArray* k) { return k->numel() <= F.numel(); });
      if (!fits) continue;
      SCOPED_TRACE(dimsText(dims));
      expectAlongAnglesToTheBit(F, angles, kernels, engine);
    }
  }
}

// The weighting's report that every weighted value is finite agrees with a
// scan of the page, whichever column of the page split over the threads
// holds an Inf or NaN, or overflows.
TEST(DirectionalSmoothing, ReportsNonFiniteWeightedValuesFromEveryRange) {
  std::mt19937_64 engine(4);
  std::uniform_real_distribution<double> angle(-1.6, 1.6);
  std::normal_distribution<double> value(0, 1);
  const AngleLimits l;
  const mxArray m0 = mxArray::row({0.29, 0.41, 0.29});
  const std::array<const mxArray*, 4> kernels = {&m0, &m0, &m0, &m0};
  const Dims dims = {512, 384};  // three ranges of 128 columns on three threads
  const mxArray angles = test::generate(dims, [&](std::size_t) { return angle(engine); });
  const mxArray F = test::generate(dims, [&](std::size_t) { return value(engine); });
  const mxArray D =
      test::generate({dims[0], dims[1], 2}, [&](std::size_t) { return value(engine); });
  const ScopedWorkerThreads threads(3);
  const std::size_t page = dims[0] * dims[1];
  const std::size_t at[] = {page, 0, page / 2, page - 1};  // none, then in each range
  for (const double bad : {std::numeric_limits<double>::infinity(), std::nan("")}) {
    for (const std::size_t k : at) {
      mxArray weighted = D;
      if (k < page) weighted.mutableData()[k] = bad;
      const bool finite = smoothAlongAnglesAndWeight(
          viewOf(F), angles, 1, {l.half, l.diagonal, l.vertical}, kernels, 0.7, weighted, 1);
      const double* out = weighted.data() + page;
      EXPECT_EQ(finite, std::all_of(out, out + page, [](double v) { return std::isfinite(v); }))
          << "at " << k;
      EXPECT_EQ(finite, k == page) << "at " << k;
    }
  }
  mxArray weighted = D;
  EXPECT_FALSE(smoothAlongAnglesAndWeight(viewOf(F), angles, 1, {l.half, l.diagonal, l.vertical},
                                          kernels, 1e308, weighted, 1));
}

}  // namespace
}  // namespace ulv::denoise
