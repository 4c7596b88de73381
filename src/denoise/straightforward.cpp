// The straightforward pipeline: every step composed from the runtime's
// operations, as the algorithm reads. It is the reference the fast pipeline
// is compared with.
#include <algorithm>
#include <utility>
#include <vector>

#include "denoise/phases.hpp"
#include "denoise/reference_steps.hpp"
#include "gateway/callers.hpp"
#include "host/runtime/ops.hpp"
#include "host/runtime/pages.hpp"
#include "kernels/gaussian.hpp"
#include "kernels/stack_pages.hpp"
#include "ulvadern/random.hpp"

namespace ulv::denoise {

namespace {

// double(x) + 0.001 * randn(size(x)), its first and last rows, then its first
// and last columns, repeated around it.
PreparedImage prepare(const Arguments& arguments) {
  PhaseClock clock(phaseTimes().prepare);
  const mxArray noise = mlfNRandn({mlfSize(arguments.image)});
  mxArray x = mclPlus(mlfDouble(arguments.image), mclMtimes(constant(kPerturbation), noise));
  const mxArray s = mlfSize(x);
  const mxArray colon = mlfCreateColonIndex();
  const mxArray lastRow = mclIntArrayRef1(s, 1);
  x = mlfVertcat({mclArrayRef2(x, constant(kOne), colon), x, mclArrayRef2(x, lastRow, colon)});
  const mxArray lastColumn = mclIntArrayRef1(s, 2);
  x = mlfHorzcat({mclArrayRef2(x, colon, constant(kOne)), x, mclArrayRef2(x, colon, lastColumn)});
  return {std::move(x), mlfGray(&constant(k255))};
}

Decomposition decompose(PreparedImage prepared, const mxArray& levels) {
  PhaseClock clock(phaseTimes().transform);
  TransformStacks t = forwardTransform(std::move(prepared), levels);
  const mxArray last = mclIntArrayRef1(t.size, 3);
  const mxArray pages = mlfColon(constant(kTwo), last);
  Decomposition d;
  d.angles = pageRef(mlfAtan(mclRdivide(t.ch, mclPlus(t.cv, constant(kAngleOffset)))), pages);
  d.coarsest = pageRef(std::exchange(t.ca, {}), last);
  d.details.horizontal = pageRef(std::exchange(t.ch, {}), pages);
  d.details.vertical = pageRef(std::exchange(t.cv, {}), pages);
  d.size = std::move(t.size);
  return d;
}

// Component value exp(-(v / width)^2) / width at every coefficient.
mxArray component(const mxArray& v, const mxArray& width) {
  return mclMrdivide(gaussianShape(v, width), width);
}

// l = (ped * pedge) ./ ((pn * pnoise + ped * pedge) + guard) for the mixture sig.
mxArray edgePosterior(const mxArray& v, const mxArray& sig) {
  const mxArray x1 = mclIntArrayRef1(sig, 1);
  const mxArray x2 = mclIntArrayRef1(sig, 2);
  const mxArray pn = mclIntArrayRef1(sig, 3);
  const mxArray ped = mclMinus(constant(kOne), pn);
  const mxArray pnoise = component(v, x1);
  const mxArray pedge = component(v, x2);
  const mxArray edge = mclMtimes(ped, pedge);
  return mclRdivide(edge, mclPlus(mclPlus(mclMtimes(pn, pnoise), edge), constant(kUnderflowGuard)));
}

// Per level: v = D(:,:,i) / max(max(abs(D(:,:,i)))); a sample of v, each
// coefficient with probability 10000 / (H W); the mixture fitted to it; and
// M(:,:,i) = the edge posterior of every coefficient.
void orientationMasks(const mxArray& D, const mxArray& size, Var& sig, Var& M) {
  const mxArray H = mclIntArrayRef1(size, 1);
  const mxArray W = mclIntArrayRef1(size, 2);
  const mxArray threshold = mclRdivide(mclRdivide(constant(kSampleSize), H), W);
  const int levels = maskedLevels(size);
  for (int i = 1; i <= levels; ++i) {
    const mxArray level = mlfScalar(i);
    mxArray v = pageRef(D, level);
    v = mclMrdivide(v, mlfMax(mlfMax(mlfAbs(v))));
    if (i == 1) startFits(sig);
    saveSample(mclArrayRef1(v, mclLe(mlfNRand({H, W}), threshold)));
    fitMixture(sig);
    setPage(M.target(), edgePosterior(v, *sig), level);
  }
}

Masks estimateMasks(const Decomposition& parts) {
  return estimateMasksWith(parts, orientationMasks);
}

// The sectors of the angles on one page, as 0/1 arrays.
struct Sectors {
  mxArray a0, a45, a90, a135;
};

Sectors sectorsOf(const mxArray& angles, int page) {
  const mxArray& halfWidth = constant(kSectorHalfWidth);
  const mxArray theta = pageRef(angles, mlfScalar(page));
  const mxArray magnitude = mlfAbs(theta);
  Sectors a;
  a.a0 = mclLe(magnitude, halfWidth);
  a.a45 = mclLt(mlfAbs(mclMinus(theta, constant(kDiagonalAngle))), halfWidth);
  a.a135 = mclLt(mlfAbs(mclPlus(theta, constant(kDiagonalAngle))), halfWidth);
  a.a90 = mclGe(magnitude, constant(kVerticalAngle));
  return a;
}

// a0 .* conv2(F, m0, "same") + a45 .* conv2(F, m45, "same") + ... in this order.
mxArray smoothAlong(const mxArray& F, const Sectors& a, const SmoothingKernels& k) {
  const mxArray& same = constant(kSame);
  auto smoothed = [&](const mxArray& kernel) { return mlfConv2(F, kernel, &same); };
  mxArray sum = mclPlus(mclTimes(a.a0, smoothed(k.m0)), mclTimes(a.a45, smoothed(k.m45)));
  sum = mclPlus(sum, mclTimes(a.a90, smoothed(k.m90)));
  return mclPlus(sum, mclTimes(a.a135, smoothed(k.m135)));
}

// D(:,:,i+1) = (mult(i) * M) .* D(:,:,i)
void weightLevel(mxArray& D, const mxArray& gain, const mxArray& M, int i) {
  const mxArray weighted = mclTimes(mclMtimes(gain, M), pageRef(D, mlfScalar(i)));
  pageAssign(D, weighted, mlfScalar(i + 1));
}

// From the coarsest level to the finest: the level's masks fused with those
// of up to two coarser levels, smoothed along the coefficient directions, and
// the level's details weighted by them.
DetailStacks fuseAndWeight(Masks masks, DetailStacks D, mxArray angles, const mxArray& size,
                           const SmoothingKernels& kernels, const Arguments& arguments) {
  PhaseClock clock(phaseTimes().fusion);
  const int levels = maskedLevels(size);
  const std::vector<mxArray> poweredH = poweredPages(masks.horizontal, arguments.pot, levels);
  const std::vector<mxArray> poweredV = poweredPages(masks.vertical, arguments.pot, levels);
  for (int i = levels; i >= 1; --i) {
    const int mi = std::min(i + 2, levels);
    const Masks fused = i == levels ? coarsestMasks(std::move(masks), levels)
                                    : Masks{powerMean(poweredH, i, mi, arguments.pot),
                                            powerMean(poweredV, i, mi, arguments.pot)};
    const Sectors a = sectorsOf(angles, i);
    const mxArray gain = mclIntArrayRef1(arguments.gains, i);
    weightLevel(D.horizontal, gain, smoothAlong(fused.horizontal, a, kernels), i);
    weightLevel(D.vertical, gain, smoothAlong(fused.vertical, a, kernels), i);
    requireFiniteWeighted(D.horizontal, gain, i);
    requireFiniteWeighted(D.vertical, gain, i);
  }
  return D;
}

// The inverse transform, clipped to 0 .. 255, without the border, as uint8.
mxArray reconstruct(mxArray coarsest, const mxArray& size, DetailStacks weighted,
                    const mxArray& levels) {
  mxArray y = inverseTransform(std::move(coarsest), size, std::move(weighted), levels);
  mclArrayAssign1(y, constant(kZero), mclLt(y, constant(kZero)));
  mclArrayAssign1(y, constant(k255), mclGt(y, constant(k255)));
  return withoutBorder(y, size);
}

}  // namespace

std::vector<mxArray> poweredPages(const mxArray& mask, const mxArray& pot, int levels) {
  std::vector<mxArray> pages;
  if (levels == 1) return pages;  // the coarsest level alone is never fused
  pages.reserve(levels);
  for (int p = 1; p <= levels; ++p) pages.push_back(mlfPower(pageRef(mask, mlfScalar(p)), pot));
  return pages;
}

mxArray powerMean(const std::vector<mxArray>& pages, int i, int mi, const mxArray& pot) {
  const mxArray count = mlfScalar(mi - i + 1);
  const mxArray inverse = mclRdivide(constant(kOne), pot);
  mxArray sum = pages[i - 1];
  for (int p = i + 1; p <= mi; ++p) sum = mclPlus(sum, pages[p - 1]);
  return mlfPower(mclRdivide(sum, count), inverse);
}

const Pipeline& straightforwardPipeline() {
  static const Pipeline pipeline = {prepare, decompose, estimateMasks, fuseAndWeight, reconstruct};
  return pipeline;
}

}  // namespace ulv::denoise
