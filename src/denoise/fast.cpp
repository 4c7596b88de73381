// The fast pipeline: the phases of the straightforward one computed in fused
// passes, without most of their image-sized temporaries. Steps marked "to the
// bit" in fused_steps.hpp and directional_smoothing.hpp give the same values
// as the composed operations; the angles, the edge posteriors and the power
// means use vectorised atan, exp and pow and agree within 1e-12 relative.
//
// Every operand here is one the library makes itself (double arrays of the
// sizes the transform gives), which the fused passes require. The arguments
// are checked before: the fusion exponent pot is a double or a logical
// scalar, and only a double one is raised in fused passes; a logical pot (0
// or 1) takes the reference's power, whose bits vectorised pow need not match.
#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "denoise/directional_smoothing.hpp"
#include "denoise/fused_steps.hpp"
#include "denoise/phases.hpp"
#include "denoise/reference_steps.hpp"
#include "gateway/callers.hpp"
#include "host/runtime/ops.hpp"
#include "host/runtime/pages.hpp"
#include "kernels/stack_pages.hpp"
#include "ulvadern/parallel.hpp"
#include "ulvadern/random.hpp"

namespace ulv::denoise {

namespace {

// double(x) + scale * noise with its first and last rows, then its first and
// last columns, repeated around it (the one-pixel border), in one pass: the
// same values as the composed operations, to the bit.
mxArray perturbedWithBorder(const mxArray& x, double scale, const mxArray& noise) {
  const std::size_t rows = x.rows(), cols = x.cols(), outRows = rows + 2;
  mxArray out = mxArray::uninitialized({outRows, cols + 2});
  double* o = out.mutableData();
  parallelRanges(cols, columnGrain(rows), [&](std::size_t begin, std::size_t end) {
    for (std::size_t c = begin; c < end; ++c) {
      const double* in = x.data() + c * rows;
      const double* n = noise.data() + c * rows;
      double* column = o + (c + 1) * outRows;
      for (std::size_t r = 0; r < rows; ++r) column[r + 1] = in[r] + scale * n[r];
      column[0] = column[1];
      column[rows + 1] = column[rows];
    }
  });
  std::copy_n(o + outRows, outRows, o);
  std::copy_n(o + cols * outRows, outRows, o + (cols + 1) * outRows);
  return out;
}

PreparedImage prepare(const Arguments& arguments) {
  PhaseClock clock(phaseTimes().prepare);
  const mxArray noise = mlfNRandn({mlfSize(arguments.image)});
  mxArray x = perturbedWithBorder(arguments.image, constant(kPerturbation).scalarValue(), noise);
  return {std::move(x), mlfGray(&constant(k255))};
}

// Pages 2 .. last of a detail stack, with one more, zero page, which the
// weighting of the coarsest level fills: growing the stack then would copy
// it whole.
mxArray detailPages(const mxArray& stack, std::size_t last) {
  if (last < 2) return pageRef(stack, mlfColon(constant(kTwo), mlfScalar(last)));
  const std::size_t page = stack.rows() * stack.cols();
  mxArray details = mxArray::uninitialized({stack.rows(), stack.cols(), last});
  double* out = details.mutableData();
  const double* from = stack.data() + page;
  parallelRanges((last - 1) * page, kParallelGrain, [&](std::size_t begin, std::size_t end) {
    std::copy(from + begin, from + end, out + begin);
  });
  std::fill_n(out + (last - 1) * page, page, 0.0);
  return details;
}

Decomposition decompose(PreparedImage prepared, const mxArray& levels) {
  PhaseClock clock(phaseTimes().transform);
  TransformStacks t = forwardTransform(std::move(prepared), levels);
  const mxArray lastLevel = mclIntArrayRef1(t.size, 3);
  const auto last = static_cast<std::size_t>(lastLevel.scalarValue());
  Decomposition d;
  d.angles = anglesOfPages(t.ch, t.cv, constant(kAngleOffset).scalarValue(), 2, last);
  d.coarsest = pageRef(std::exchange(t.ca, {}), lastLevel);
  d.details.horizontal = detailPages(std::exchange(t.ch, {}), last);
  d.details.vertical = detailPages(std::exchange(t.cv, {}), last);
  d.size = std::move(t.size);
  return d;
}

// The edge posterior of every coefficient of v into page `level` of M,
// written in place where M has the page.
void storeEdgePosterior(const mxArray& v, const mxArray& sig, Var& M, const mxArray& level) {
  const mxArray pn = mclIntArrayRef1(sig, 3);
  const MixtureParameters p = {mclIntArrayRef1(sig, 1).scalarValue(),
                               mclIntArrayRef1(sig, 2).scalarValue(), pn.scalarValue(),
                               mclMinus(constant(kOne), pn).scalarValue(),
                               constant(kUnderflowGuard).scalarValue()};
  if (double* page = M.isAssigned() ? writablePage(M.target(), level, v) : nullptr) {
    edgePosterior(v, p, page);
    return;
  }
  mxArray l = mxArray::uninitialized(v.dims());
  edgePosterior(v, p, l.mutableData());
  setPage(M.target(), l, level);
}

// One orientation's fits, level by level, each level's sample taken by `sample`.
void orientationChain(const mxArray& D, const mxArray& size, const LevelSample& sample, Var& sig,
                      Var& M, mxArray& scratch) {
  const int levels = maskedLevels(size);
  // The mask stack at its full size at once; grown page by page it would be
  // copied whole at every level. Every page is written below.
  if (!M.isAssigned()) reserveStacks({&M}, D, static_cast<std::size_t>(levels), PageFill::ByCaller);
  for (int i = 1; i <= levels; ++i) {
    const mxArray level = mlfScalar(i);
    mxArray v = normalisedPage(D, static_cast<std::size_t>(i), std::move(scratch)).values;
    if (i == 1) startFits(sig);
    saveSample(sample(v, i));
    fitMixture(sig);
    storeEdgePosterior(v, *sig, M, level);
    scratch = std::move(v);
  }
}

// The chain with each level's sample drawn as the level comes.
void orientationMasks(const mxArray& D, const mxArray& size, Var& sig, Var& M) {
  const mxArray H = mclIntArrayRef1(size, 1);
  const mxArray W = mclIntArrayRef1(size, 2);
  const double threshold = sampleThreshold(H, W);
  mxArray scratch;
  orientationChain(
      D, size, [&](const mxArray& v, int) { return valuesAt(v, samplePositions(H, W, threshold)); },
      sig, M, scratch);
}

// With threads to spare, the two orientations' chains side by side.
Masks estimateMasks(const Decomposition& parts) {
  if (workerThreads() < 2) return estimateMasksWith(parts, orientationMasks);
  return estimateMasksSideBySide(parts, orientationChain);
}

// One orientation's mask pages raised to pot, and their power means. A
// double pot raises the stack where it lies, so no second stack is made; a
// logical one takes the reference's power.
class Fusion {
 public:
  Fusion(mxArray mask, const mxArray& pot, int levels)
      : pot_(pot), fused_(pot.classID() == mxDOUBLE_CLASS) {
    if (!fused_) {
      pages_ = poweredPages(mask, pot, levels);
      return;
    }
    raiseToPowerInPlace(mask, pot.scalarValue());
    powered_ = std::move(mask);
  }

  mxArray mean(int i, int mi) const {
    if (!fused_) return powerMean(pages_, i, mi, pot_);
    std::vector<const double*> operands;
    for (int p = i; p <= mi; ++p) operands.push_back(pageView(powered_, p).values);
    return denoise::powerMean(operands, {powered_.rows(), powered_.cols()},
                              mlfScalar(mi - i + 1).scalarValue(),
                              mclRdivide(constant(kOne), pot_).scalarValue());
  }

 private:
  const mxArray& pot_;
  bool fused_;
  mxArray powered_;
  std::vector<mxArray> pages_;
};

// Level i's details of one orientation weighted by the smoothing of its fused
// masks F, checked for overflow.
void weightLevel(MatrixView F, const mxArray& angles, int i, const SmoothingKernels& kernels,
                 const mxArray& gain, mxArray& D) {
  const std::array<const mxArray*, 4> k = {&kernels.m0, &kernels.m45, &kernels.m90, &kernels.m135};
  const SectorLimits limits = {constant(kSectorHalfWidth).scalarValue(),
                               constant(kDiagonalAngle).scalarValue(),
                               constant(kVerticalAngle).scalarValue()};
  const auto page = static_cast<std::size_t>(i);
  // The weighting checks its values as it writes them: the page is scanned
  // again only to report the overflow.
  if (!smoothAlongAnglesAndWeight(F, angles, page, limits, k, gain.scalarValue(), D, page)) {
    requireFiniteWeighted(D, gain, i);
  }
}

// The coarsest level first, weighted by its own masks read in place (they are
// never fused); then the mask stacks are raised to pot where they lie, and
// each finer level is weighted by its power mean, one orientation at a time,
// so that one fused page at most lives beside the stacks.
DetailStacks fuseAndWeight(Masks masks, DetailStacks D, mxArray angles, const mxArray& size,
                           const SmoothingKernels& kernels, const Arguments& arguments) {
  PhaseClock clock(phaseTimes().fusion);
  const int levels = maskedLevels(size);
  // A logical gain weighs as its double value: (g * M) .* D the same either way.
  const auto gain = [&](int i) { return mclIntArrayRef1(arguments.gains, i); };
  const auto last = static_cast<std::size_t>(levels);
  weightLevel(pageView(masks.horizontal, last), angles, levels, kernels, gain(levels),
              D.horizontal);
  weightLevel(pageView(masks.vertical, last), angles, levels, kernels, gain(levels), D.vertical);
  if (levels == 1) return D;
  const Fusion fusionH(std::exchange(masks.horizontal, {}), arguments.pot, levels);
  const Fusion fusionV(std::exchange(masks.vertical, {}), arguments.pot, levels);
  for (int i = levels - 1; i >= 1; --i) {
    const int mi = std::min(i + 2, levels);
    weightLevel(viewOf(fusionH.mean(i, mi)), angles, i, kernels, gain(i), D.horizontal);
    weightLevel(viewOf(fusionV.mean(i, mi)), angles, i, kernels, gain(i), D.vertical);
  }
  return D;
}

// The inverse transform's result is 8-bit (0 .. 255) already: no clipping.
mxArray reconstruct(mxArray coarsest, const mxArray& size, DetailStacks weighted,
                    const mxArray& levels) {
  return withoutBorder(inverseTransform(std::move(coarsest), size, std::move(weighted), levels),
                       size);
}

}  // namespace

const Pipeline& fastPipeline() {
  static const Pipeline pipeline = {prepare, decompose, estimateMasks, fuseAndWeight, reconstruct};
  return pipeline;
}

}  // namespace ulv::denoise
