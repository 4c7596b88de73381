#include "transform/invmaltrans2d.hpp"

#include <cmath>

#include "auxiliary/touint.hpp"
#include "gateway/callers.hpp"
#include "gateway/forms.hpp"
#include "gateway/frame.hpp"
#include "host/runtime/fast_paths.hpp"
#include "host/runtime/ops.hpp"
#include "host/runtime/pages.hpp"
#include "kernels/filter_steps.hpp"
#include "kernels/stack_pages.hpp"
#include "kernels/undecimated_filtering.hpp"

namespace ulv {

const LocalFunctionTable invmaltrans2dLocalFunctions{0, nullptr};

namespace {

enum : std::size_t {
  kOutputsMessage,
  kInputsMessage,
  kLowPass,
  kLowRecon,
  kHighRecon,
  kOne,
  kTwo,
  kInputsWithoutType,
  kMinusOne,
  kEmpty,
};
constexpr double kLod[] = {0, 0.125, 0.375, 0.375, 0.125};
constexpr double kLor[] = {0.0078, 0.0469, 0.1172, 0.6563, 0.1172, 0.0469, 0.0078};
constexpr double kHir[] = {0.0078, 0.0547, 0.1719, -0.1719, -0.0547, -0.0078, 0};
constexpr ConstantEntry kConstants[] = {
    {kOutputsMessage, "kOutputsMessage",
     [] { return mclCreateString(countErrorMessage("invmaltrans2d", "outputs", 1)); }},
    {kInputsMessage, "kInputsMessage",
     [] { return mclCreateString(countErrorMessage("invmaltrans2d", "inputs", 5)); }},
    {kLowPass, "kLowPass", [] { return mclInitializeDoubleVector(1, 5, kLod); }},
    {kLowRecon, "kLowRecon", [] { return mclInitializeDoubleVector(1, 7, kLor); }},
    {kHighRecon, "kHighRecon", [] { return mclInitializeDoubleVector(1, 7, kHir); }},
    {kOne, "kOne", [] { return mclInitializeDouble(1); }},
    {kTwo, "kTwo", [] { return mclInitializeDouble(2); }},
    {kInputsWithoutType, "kInputsWithoutType", [] { return mclInitializeDouble(4); }},
    {kMinusOne, "kMinusOne", [] { return mclInitializeDouble(-1); }},
    {kEmpty, "kEmpty", [] { return mclInitializeDoubleVector(0, 0, nullptr); }},
};
static_assert(inEnumeratorOrder(kConstants));
ModuleConstants C("invmaltrans2d", kConstants);

// The dilated filters of one level and the pages that the level combines.
struct Level {
  const mxArray& lo;
  const mxArray& kk;
  const mxArray& ll;
  const mxArray& x;
  const mxArray& ch;
  const mxArray& cv;
  const mxArray& next;  // i + 1
};

// Every crop of the level is exactly central (odd filter lengths), and the
// pages are double matrices of x's size with room for the mirror.
bool hasCentralBlocks(const Level& level, std::size_t lf) {
  const std::size_t page = existingPage(level.x, level.next);
  const auto sameSize = [&](const mxArray& stack) {
    return existingPage(stack, level.next) != 0 && stack.rows() == level.x.rows() &&
           stack.cols() == level.x.cols();
  };
  return isOddLengthFilter(level.lo) && isOddLengthFilter(level.kk) &&
         isOddLengthFilter(level.ll) && page != 0 && lf <= level.x.rows() && lf <= level.x.cols() &&
         sameSize(level.ch) && sameSize(level.cv);
}

// x(:,:,N + 1) = the coarsest approximation, into an empty x. Where the stack
// can be given all its pages at once, the pages below are left unset: the
// levels write each of them whole before anything reads it.
void placeCoarsest(Var& x, const mxArray& coarsest, const mxArray& page, bool fast) {
  const bool wholeNumber = page.classID() == mxDOUBLE_CLASS && page.isScalar() &&
                           page.scalarValue() == std::floor(page.scalarValue());
  if (fast && wholeNumber && page.scalarValue() >= 2 &&
      reserveStacks({&x}, coarsest, static_cast<std::size_t>(page.scalarValue()),
                    PageFill::ByCaller)) {
    setPage(x.target(), coarsest, page);
    return;
  }
  pageAssign(x.target(), coarsest, page);
}

mxArray Minvmaltrans2d(int nargout, const mxArray* ca_in, const mxArray* ch_in,
                       const mxArray* cv_in, const mxArray* N_in, const mxArray* type_in) {
  BodyFrame frame(invmaltrans2dLocalFunctions);
  // Central blocks and stacks at their final size, unless this thread
  // switched fast paths off: read once for the call.
  const bool fast = fastPathsEnabled();
  Var x("x");
  Var ca = Var::input("ca", ca_in);
  Var ch = Var::input("ch", ch_in);
  Var cv = Var::input("cv", cv_in);
  Var N = Var::input("N", N_in);
  Var type = Var::input("type", type_in);
  Var lod("lod"), lor("lor"), hir("hir"), lorr("lorr"), l("l"), s("s"), i("i"), ins("ins");
  Var lo("lo"), kk("kk"), ll("ll"), sx("sx"), rx("rx"), cx("cx"), lf("lf"), xx("xx");
  const int nargin = mclNargin({ca_in, ch_in, cv_in, N_in, type_in});

  if (mclEqBool(mlfScalar(nargin), C[kInputsWithoutType])) {
    lod = C[kLowPass];
    lor = C[kLowRecon];
    hir = C[kHighRecon];
  } else {
    mxArray lowPass, unusedHighPass, lowRecon, highRecon;
    mlfNWfilters(0, {&lowPass, &unusedHighPass, &lowRecon, &highRecon}, &*type, nullptr);
    lod = std::move(lowPass);
    lor = std::move(lowRecon);
    hir = std::move(highRecon);
  }

  s = mlfSize(*ca);
  const mxArray coarsest = mclPlus(*N, C[kOne]);
  placeCoarsest(x, pageRef(*ca, coarsest), coarsest, fast);
  l = mlfScalar(mclLengthInt(*lor));
  const int L = mclLengthInt(*lod);
  lorr = mclArrayRef1(*lod, mlfColon(mlfScalar(L), C[kMinusOne], &C[kOne]));

  const mxArray levels = mlfColon(*N, C[kMinusOne], &C[kOne]);
  for (std::size_t n = 0; n < levels.numel(); ++n) {
    i = mclIntArrayRef1(levels, static_cast<int>(n + 1));
    const mxArray spacing = mclMpower(C[kTwo], mclMinus(*i, C[kOne]));
    ins = mlfZeros({C[kOne], mclMinus(spacing, C[kOne])});
    const int taps = static_cast<int>(l->scalarValue());
    kk = dilate(C[kEmpty], *hir, taps, *ins);
    ll = dilate(C[kEmpty], *lor, taps, *ins);
    lo = dilate(C[kEmpty], *lorr, L, *ins);
    sx = mlfSize(*x);
    rx = mclIntArrayRef1(*sx, 1);
    cx = mclIntArrayRef1(*sx, 2);
    lf = mlfScalar(mclLengthInt(*lo));

    const mxArray next = mclPlus(*i, C[kOne]);
    const Level level{*lo, *kk, *ll, *x, *ch, *cv, next};
    const auto width = static_cast<std::size_t>(lf->scalarValue());
    if (fast && hasCentralBlocks(level, width)) {
      // The central blocks straight from the pages, summed column by column
      // into page i; the approximation's extension is the mirror view, never
      // formed, and the details see zeros beyond their border.
      const std::size_t page = existingPage(*x, next);
      SeparableBlock t1(*ll, *kk, pageView(*ch, page, 0));
      SeparableBlock t2(*kk, *ll, pageView(*cv, page, 0));
      SeparableBlock t3(*lo, *lo, pageView(*x, page, width));
      setPageToSum(x.target(), *i, t1, t2, t3);
    } else {
      xx = mirrorExtend(pageRef(*x, next), *lf, *rx, *cx, {C[kOne], C[kMinusOne]});
      const mxArray keep = mclArrayRef1(*s, mlfColon(C[kOne], C[kTwo]));
      const mxArray horizontal = pageRef(*ch, next);
      const mxArray horizontalFiltered = mlfConv2(*ll, *kk, &horizontal);
      const mxArray t1 = mlfNWkeep(1, &horizontalFiltered, {&keep});
      const mxArray vertical = pageRef(*cv, next);
      const mxArray verticalFiltered = mlfConv2(*kk, *ll, &vertical);
      const mxArray t2 = mlfNWkeep(1, &verticalFiltered, {&keep});
      const mxArray smoothed = mlfConv2(*lo, *lo, &*xx);
      const mxArray t3 = mlfNWkeep(1, &smoothed, {&keep});
      pageAssign(x.target(), mclPlus(mclPlus(t1, t2), t3), *i);
    }
  }

  addInPlace(x.target(), *N);  // x + N
  x = mlfTouint(&*x);

  checkOutputs(nargout, "invmaltrans2d", {&x});
  return x.release();
}

}  // namespace

void InitializeModule_invmaltrans2d() {
  C.buildAll();
}

void TerminateModule_invmaltrans2d() {
  C.releaseAll();
}

const ModuleConstants& invmaltrans2dConstants() {
  return C;
}

void mexInvmaltrans2d(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  runHostForm<1, 5>(nlhs, plhs, nrhs, prhs, C[kOutputsMessage], C[kInputsMessage], Minvmaltrans2d);
}

mxArray mlfInvmaltrans2d(const mxArray* ca, const mxArray* ch, const mxArray* cv, const mxArray* N,
                         const mxArray* type) {
  return runDirectForm<1, 5>(1, {}, {ca, ch, cv, N, type}, Minvmaltrans2d);
}

}  // namespace ulv
