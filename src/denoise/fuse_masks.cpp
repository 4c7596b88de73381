// Fusion of each level's masks with those of up to two coarser levels (power
// mean), smoothing along the local coefficient direction, and weighting of
// the detail coefficients.
#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "denoise/directional_smoothing.hpp"
#include "denoise/fused_steps.hpp"
#include "denoise/workspace.hpp"
#include "gateway/argument_checks.hpp"
#include "host/runtime/fast_paths.hpp"
#include "host/runtime/ops.hpp"
#include "host/runtime/pages.hpp"
#include "ulvadern/errors.hpp"

namespace ulv::denoise {

namespace {

// Taps of each oriented smoothing kernel (a 3 x 3 kernel with one line of taps).
constexpr double kSmoothingKernelSize = 3;

// Whether the fused steps apply to a mask stack and the fusion exponent.
bool fusesInOnePass(const mxArray& mask, const mxArray& pot) {
  return fastPathsEnabled() && usesFusedSteps({&mask}) && pot.classID() == mxDOUBLE_CLASS &&
         pot.isScalar();
}

// Every page of a mask stack raised to `pot`, computed once: each page takes
// part in up to three fusions.
std::vector<mxArray> poweredPages(const mxArray& mask, const mxArray& pot, int levels) {
  std::vector<mxArray> pages;
  if (levels == 1) return pages;  // the coarsest level alone is never fused
  pages.reserve(levels);
  const bool fused = fusesInOnePass(mask, pot);
  for (int p = 1; p <= levels; ++p) {
    pages.push_back(fused ? poweredPage(mask, p, pot.scalarValue())
                          : mlfPower(pageRef(mask, mlfScalar(p)), pot));
  }
  return pages;
}

// ((sum over p = i..mi of mask(:,:,p).^pot) / (mi - i + 1)) .^ (1/pot), the
// sum taken in page order like a sum along the third dimension.
mxArray powerMean(const std::vector<mxArray>& pages, int i, int mi, const mxArray& pot) {
  const mxArray count = mlfScalar(mi - i + 1);
  const mxArray inverse = mclRdivide(constant(kOne), pot);
  if (fusesInOnePass(pages[i - 1], pot)) {
    std::vector<const mxArray*> operands;
    for (int p = i; p <= mi; ++p) operands.push_back(&pages[p - 1]);
    return denoise::powerMean(operands, count.scalarValue(), inverse.scalarValue());
  }
  mxArray sum = pages[i - 1];
  for (int p = i + 1; p <= mi; ++p) sum = mclPlus(sum, pages[p - 1]);
  return mlfPower(mclRdivide(sum, count), inverse);
}

struct Sectors {
  Var a0{"a0"}, a45{"a45"}, a90{"a90"}, a135{"a135"};
};

// Direction sectors of the angles: <= for a0, strict < for the diagonals,
// >= for a90, so that thin bands at the sector edges belong to two sectors.
// The sectors of the angles on page jj of the angle stack.
void classifyAngles(const mxArray& ang, int jj, Sectors& a) {
  const mxArray& halfWidth = constant(kSectorHalfWidth);
  const mxArray theta = pageRef(ang, mlfScalar(jj));
  const mxArray magnitude = mlfAbs(theta);
  a.a0 = mclLe(magnitude, halfWidth);
  a.a45 = mclLt(mlfAbs(mclMinus(theta, constant(kDiagonalAngle))), halfWidth);
  a.a135 = mclLt(mlfAbs(mclPlus(theta, constant(kDiagonalAngle))), halfWidth);
  a.a90 = mclGe(magnitude, constant(kVerticalAngle));
}

SectorLimits sectorLimits() {
  return {constant(kSectorHalfWidth).scalarValue(), constant(kDiagonalAngle).scalarValue(),
          constant(kVerticalAngle).scalarValue()};
}

std::array<const mxArray*, 4> smoothingKernels(const Workspace& w) {
  return {&*w.m0, &*w.m45, &*w.m90, &*w.m135};
}

// F smoothed along the coefficient directions of level jj. In one pass the
// sectors are tested on the fly; otherwise their indicators are formed, once
// per level, in `a`.
mxArray smoothAlong(const Workspace& w, int jj, Sectors& a, const mxArray& F) {
  const std::array<const mxArray*, 4> kernels = smoothingKernels(w);
  const auto page = static_cast<std::size_t>(jj);
  if (smoothsAlongAnglesInOnePass(F, *w.ang, page, kernels)) {
    return smoothAlongAngles(F, *w.ang, page, sectorLimits(), kernels);
  }
  if (!a.a0.isAssigned()) classifyAngles(*w.ang, jj, a);
  const std::array<SectorKernel, 4> sectors = {
      {{&*a.a0, &*w.m0}, {&*a.a45, &*w.m45}, {&*a.a90, &*w.m90}, {&*a.a135, &*w.m135}}};
  if (smoothsInOnePass(F, sectors)) return smoothBySector(F, sectors);
  const mxArray& same = constant(kSame);
  auto smoothed = [&](const Var& kernel) { return mlfConv2(F, *kernel, &same); };
  mxArray sum = mclPlus(mclTimes(*a.a0, smoothed(w.m0)), mclTimes(*a.a45, smoothed(w.m45)));
  sum = mclPlus(sum, mclTimes(*a.a90, smoothed(w.m90)));
  return mclPlus(sum, mclTimes(*a.a135, smoothed(w.m135)));
}

// D(:,:,i+1) = (mult(i) * mask) .* D(:,:,i)
void weightLevel(Var& D, const mxArray& gain, const mxArray& mask, int i) {
  const auto page = static_cast<std::size_t>(i);
  if (fastPathsEnabled() && usesFusedSteps({&*D}) && usesFusedSteps({&mask}) && D->pages() > page &&
      D->rows() == mask.rows() && D->cols() == mask.cols() && mask.ndims() == 2 &&
      gain.classID() == mxDOUBLE_CLASS && gain.isScalar()) {
    weightIntoNextPage(D.target(), gain.scalarValue(), mask, page);
    return;
  }
  const mxArray weighted = mclTimes(mclMtimes(gain, mask), pageRef(*D, mlfScalar(i)));
  pageAssign(D.target(), weighted, mlfScalar(i + 1));
}

// D(:,:,i+1) = (mult(i) * M) .* D(:,:,i) for M = F smoothed along the
// coefficient directions of level jj; in one pass without forming M.
void smoothAndWeight(Workspace& w, int jj, Sectors& a, const mxArray& F, const mxArray& gain,
                     Var& D, int i) {
  const std::array<const mxArray*, 4> kernels = smoothingKernels(w);
  const auto page = static_cast<std::size_t>(i);
  const auto anglePage = static_cast<std::size_t>(jj);
  if (smoothsAlongAnglesInOnePass(F, *w.ang, anglePage, kernels) && weightsInOnePass(F, *D, page) &&
      gain.classID() == mxDOUBLE_CLASS && gain.isScalar()) {
    smoothAlongAnglesAndWeight(F, *w.ang, anglePage, sectorLimits(), kernels, gain.scalarValue(),
                               D.target(), page);
    return;
  }
  weightLevel(D, gain, smoothAlong(w, jj, a, F), i);
}

// Page i + 1 of a weighted detail stack all finite. A gain so large that
// mult(i) * mask .* details overflows would otherwise reach the image as
// black (NaN) or saturated (Inf) pixels.
void requireFiniteWeighted(const mxArray& D, const mxArray& gain, int i) {
  const std::size_t page = D.rows() * D.cols();
  const double* weighted = D.data() + static_cast<std::size_t>(i) * page;
  if (std::all_of(weighted, weighted + page, [](double v) { return std::isfinite(v); })) return;
  hostError("ulvadern: the weighted details of level " + std::to_string(i) + " overflow: mult(" +
            std::to_string(i) + ") = " + valueText(gain) + " is too large a gain for this image.");
}

}  // namespace

void buildSmoothingKernels(Workspace& w) {
  PhaseClock clock(phaseTimes().fusion);
  w.dim = mlfScalar(kSmoothingKernelSize);
  w.t = mclMinus(mlfColon(constant(kOne), *w.dim),
                 mclRdivide(mclPlus(*w.dim, constant(kOne)), constant(kTwo)));
  w.t = mlfExp(mclRdivide(mclUminus(mlfPower(*w.t, constant(kTwo))), *w.dim));
  w.t = mclRdivide(*w.t, mlfSum(*w.t));
  w.m0 = *w.t;
  w.m135 = mlfDiag(*w.t);
  const int dim = static_cast<int>(w.dim->scalarValue());
  for (int k = 1; k <= dim; ++k) {
    mclArrayAssign2(w.m45.target(), mclIntArrayRef1(*w.t, k), mlfScalar(k), mlfScalar(dim - k + 1));
  }
  w.m90 = mlfCtranspose(*w.m0);
}

void fuseAndWeight(Workspace& w) {
  PhaseClock clock(phaseTimes().fusion);
  const int levels = static_cast<int>(mclIntArrayRef1(*w.s, 3).scalarValue()) - 1;
  const std::vector<mxArray> poweredH = poweredPages(*w.maskh, *w.pot, levels);
  const std::vector<mxArray> poweredV = poweredPages(*w.maskv, *w.pot, levels);
  for (int i = levels; i >= 1; --i) {
    const int mi = std::min(i + 2, levels);
    Var nmaskh("nmaskh"), nmaskv("nmaskv");
    if (i == levels) {
      nmaskh = pageRef(*w.maskh, mlfScalar(levels));
      nmaskv = pageRef(*w.maskv, mlfScalar(levels));
      // Last read of the raw masks (the powered pages serve the finer
      // levels): released now, they stay out of the peak.
      w.maskh.clear();
      w.maskv.clear();
    } else {
      nmaskh = powerMean(poweredH, i, mi, *w.pot);
      nmaskv = powerMean(poweredV, i, mi, *w.pot);
    }
    const int jj = i;
    Sectors a;
    const mxArray gain = mclIntArrayRef1(*w.mult, i);
    smoothAndWeight(w, jj, a, *nmaskh, gain, w.ch, i);
    smoothAndWeight(w, jj, a, *nmaskv, gain, w.cv, i);
    requireFiniteWeighted(*w.ch, gain, i);
    requireFiniteWeighted(*w.cv, gain, i);
  }
  w.ang.clear();
}

}  // namespace ulv::denoise
