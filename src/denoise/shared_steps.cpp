// The steps both pipelines take alike: the transforms, the fits and their
// files, the smoothing kernels, and the checks and cropping of the result.
#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <utility>

#include "denoise/phases.hpp"
#include "gateway/argument_checks.hpp"
#include "gateway/callers.hpp"
#include "host/files/matfile.hpp"
#include "host/numerics/minimiser.hpp"
#include "host/runtime/ops.hpp"
#include "host/runtime/pages.hpp"
#include "transform/invmaltrans2d.hpp"
#include "transform/maltrans2d.hpp"
#include "ulvadern/errors.hpp"

namespace ulv::denoise {

namespace {

// Taps of each oriented smoothing kernel (a 3 x 3 kernel with one line of taps).
constexpr double kSmoothingKernelSize = 3;

}  // namespace

TransformStacks forwardTransform(PreparedImage prepared, const mxArray& levels) {
  TransformStacks t;
  t.ca = mlfMaltrans2d(&t.ch, &t.cv, &prepared.image, &prepared.colourMap, &levels, nullptr);
  t.size = mlfSize(t.ca);
  return t;
}

int maskedLevels(const mxArray& size) {
  return static_cast<int>(mclIntArrayRef1(size, 3).scalarValue()) - 1;
}

Masks estimateMasksWith(const Decomposition& parts, OrientationMasks orientation) {
  return masksWithFile([&](Var& maskh, Var& maskv) {
    Var sig("sig");
    orientation(parts.details.vertical, parts.size, sig, maskv);
    orientation(parts.details.horizontal, parts.size, sig, maskh);
  });
}

Masks masksWithFile(const std::function<void(Var& maskh, Var& maskv)>& orientations) {
  PhaseTimes& times = phaseTimes();
  const double timedInside = times.fits + times.matWrites;
  double all = 0;
  Masks masks;
  {
    PhaseClock clock(all);
    Var maskh("maskh"), maskv("maskv");
    orientations(maskh, maskv);
    PhaseClock writes(times.matWrites);
    mlfSave(constant(kMaskFile), mclCreateString("w"), {{"maskh", &*maskh}, {"maskv", &*maskv}});
    masks = {maskh.release(), maskv.release()};
  }
  // Everything but the fits and the file writes: normalisation, sampling, posteriors.
  // (Never below zero: fits run side by side add up to more than the wall time.)
  times.masks += std::max(0.0, all - (times.fits + times.matWrites - timedInside));
  return masks;
}

double sampleThreshold(const mxArray& H, const mxArray& W) {
  return mclRdivide(mclRdivide(constant(kSampleSize), H), W).scalarValue();
}

void saveSample(const mxArray& sample) {
  PhaseClock clock(phaseTimes().matWrites);
  mlfSave(constant(kSampleFile), mclCreateString("w"), {{"vv", &sample}});
}

// sig = fmincon("gaussfit(x(1),x(2),x(3))", [0.1 0.7 0.7], [1 -0.5 0], 0, [], [],
//               [1e-10 1e-10 0.05], [sig(1) 1 0.98])
void fitMixture(Var& sig) {
  PhaseClock clock(phaseTimes().fits);
  const mxArray upper =
      mlfHorzcat({mclIntArrayRef1(*sig, 1), constant(kOne), constant(kWeightUpper)});
  const std::array<const mxArray*, 10> inputs = {&constant(kObjective),
                                                 &constant(kStartPoint),
                                                 &constant(kConstraintRow),
                                                 &constant(kZero),
                                                 &constant(kEmpty),
                                                 &constant(kEmpty),
                                                 &constant(kLowerBounds),
                                                 &upper,
                                                 nullptr,
                                                 nullptr};
  sig = mlfNFmincon(1, {}, inputs, {});
  ++phaseTimes().fitCount;
  phaseTimes().evaluations += lastMinimiserEvaluations();
}

void startFits(Var& sig) {
  mclArrayAssign1(sig.target(), constant(kOne), constant(kOne));
}

SmoothingKernels smoothingKernels() {
  PhaseClock clock(phaseTimes().fusion);
  const mxArray dim = mlfScalar(kSmoothingKernelSize);
  mxArray t = mclMinus(mlfColon(constant(kOne), dim),
                       mclRdivide(mclPlus(dim, constant(kOne)), constant(kTwo)));
  t = mlfExp(mclRdivide(mclUminus(mlfPower(t, constant(kTwo))), dim));
  t = mclRdivide(t, mlfSum(t));
  SmoothingKernels k;
  k.m0 = t;
  k.m135 = mlfDiag(t);
  const int taps = static_cast<int>(dim.scalarValue());
  for (int i = 1; i <= taps; ++i) {
    mclArrayAssign2(k.m45, mclIntArrayRef1(t, i), mlfScalar(i), mlfScalar(taps - i + 1));
  }
  k.m90 = mlfCtranspose(k.m0);
  return k;
}

Masks coarsestMasks(Masks masks, int levels) {
  const mxArray level = mlfScalar(levels);
  const mxArray horizontal = pageRef(std::exchange(masks.horizontal, {}), level);
  return {horizontal, pageRef(std::exchange(masks.vertical, {}), level)};
}

// A gain so large that mult(i) * mask .* details overflows would otherwise
// reach the image as black (NaN) or saturated (Inf) pixels.
void requireFiniteWeighted(const mxArray& D, const mxArray& gain, int i) {
  const std::size_t page = D.rows() * D.cols();
  const double* weighted = D.data() + static_cast<std::size_t>(i) * page;
  if (std::all_of(weighted, weighted + page, [](double v) { return std::isfinite(v); })) return;
  hostError("ulvadern: the weighted details of level " + std::to_string(i) + " overflow: mult(" +
            std::to_string(i) + ") = " + valueText(gain) + " is too large a gain for this image.");
}

mxArray inverseTransform(mxArray coarsest, const mxArray& size, DetailStacks weighted,
                         const mxArray& levels) {
  PhaseClock clock(phaseTimes().reconstruction);
  // The coarsest approximation as the last page of an otherwise zero stack.
  const mxArray approximation = coarsest;
  pageAssign(coarsest, approximation, mclIntArrayRef1(size, 3));
  const mxArray y =
      mlfInvmaltrans2d(&coarsest, &weighted.horizontal, &weighted.vertical, &levels, nullptr);
  return pageRef(y, constant(kOne));
}

mxArray withoutBorder(const mxArray& y, const mxArray& size) {
  PhaseClock clock(phaseTimes().reconstruction);
  const mxArray rows = mlfColon(constant(kTwo), mclMinus(mclIntArrayRef1(size, 1), constant(kOne)));
  const mxArray columns =
      mlfColon(constant(kTwo), mclMinus(mclIntArrayRef1(size, 2), constant(kOne)));
  return mlfUint8(mclArrayRef2(y, rows, columns));
}

}  // namespace ulv::denoise
