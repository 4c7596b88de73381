#include "transform/maltrans2d.hpp"

#include <vector>

#include "auxiliary/transfwav.hpp"
#include "gateway/argument_checks.hpp"
#include "gateway/callers.hpp"
#include "gateway/forms.hpp"
#include "gateway/frame.hpp"
#include "host/runtime/ops.hpp"
#include "host/runtime/pages.hpp"
#include "kernels/filter_steps.hpp"
#include "kernels/stack_pages.hpp"

namespace ulv {

const LocalFunctionTable maltrans2dLocalFunctions{0, nullptr};

namespace {

enum : std::size_t {
  kOutputsMessage,
  kInputsMessage,
  kLowPass,
  kHighPass,
  kOne,
  kTwo,
  kInputsWithoutType,
  kEmpty,
};
constexpr double kLod[] = {0, 0.125, 0.375, 0.375, 0.125};
constexpr double kHid[] = {0, -2, 2};
constexpr ConstantEntry kConstants[] = {
    {kOutputsMessage, "kOutputsMessage",
     [] { return mclCreateString(countErrorMessage("maltrans2d", "outputs", 3)); }},
    {kInputsMessage, "kInputsMessage",
     [] { return mclCreateString(countErrorMessage("maltrans2d", "inputs", 4)); }},
    {kLowPass, "kLowPass", [] { return mclInitializeDoubleVector(1, 5, kLod); }},
    {kHighPass, "kHighPass", [] { return mclInitializeDoubleVector(1, 3, kHid); }},
    {kOne, "kOne", [] { return mclInitializeDouble(1); }},
    {kTwo, "kTwo", [] { return mclInitializeDouble(2); }},
    {kInputsWithoutType, "kInputsWithoutType", [] { return mclInitializeDouble(3); }},
    {kEmpty, "kEmpty", [] { return mclInitializeDoubleVector(0, 0, nullptr); }},
};
static_assert(inEnumeratorOrder(kConstants));
ModuleConstants C("maltrans2d", kConstants);

// A finite image and a level count it has room for: otherwise the levels
// would be skipped (N < 1, NaN), cut short (N = 1.5), fail on an index deep
// inside transfwav, or dilate the filters beyond any integer size.
void requireTransformable(const mxArray& x, const mxArray& N, double lowPassTaps) {
  requireFiniteValues(x, "maltrans2d", "x");
  const double levels = requireLevelCount(N, "maltrans2d");
  requireRoomForLevels("maltrans2d", x.rows(), x.cols(), 0, lowPassTaps, levels);
}

mxArray Mmaltrans2d(mxArray* ch_out, mxArray* cv_out, int nargout, const mxArray* x_in,
                    const mxArray* map_in, const mxArray* N_in, const mxArray* type_in) {
  BodyFrame frame(maltrans2dLocalFunctions);
  Var ca("ca"), ch("ch"), cv("cv");
  Var x = Var::input("x", x_in);
  Var map = Var::input("map", map_in);
  Var N = Var::input("N", N_in);
  Var type = Var::input("type", type_in);
  Var lod("lod"), hid("hid"), l_lod("l_lod"), l_hid("l_hid");
  Var i("i"), ins("ins"), lo("lo"), hi("hi");
  const int nargin = mclNargin({x_in, map_in, N_in, type_in});

  if (mclEqBool(mlfScalar(nargin), C[kInputsWithoutType])) {
    lod = C[kLowPass];
    hid = C[kHighPass];
  } else {
    mxArray lowPass, highPass, unusedLowRecon, unusedHighRecon;
    mlfNWfilters(0, {&lowPass, &highPass, &unusedLowRecon, &unusedHighRecon}, &*type, nullptr);
    lod = std::move(lowPass);
    hid = std::move(highPass);
  }
  l_lod = mlfScalar(mclLengthInt(*lod));
  l_hid = mlfScalar(mclLengthInt(*hid));
  requireTransformable(*x, *N, l_lod->scalarValue());

  const mxArray levels = mlfColon(C[kOne], *N);
  // The stacks get all their pages at once when x is a double matrix. Every
  // page is written below but the first of ch and cv, which stays zero, as
  // when assignments grow the stacks.
  if (reserveStacks({&ca, &ch, &cv}, *x, levels.numel() + 1, PageFill::ByCaller)) {
    zeroPage(ch, 1);
    zeroPage(cv, 1);
  }
  setPage(ca.target(), *x, C[kOne]);

  // Page i of ca: the approximation that level i filters.
  mxArray approximation = *x;
  for (std::size_t n = 0; n < levels.numel(); ++n) {
    i = mclIntArrayRef1(levels, static_cast<int>(n + 1));
    const mxArray spacing = mclMpower(C[kTwo], mclMinus(*i, C[kOne]));
    ins = mlfZeros({C[kOne], mclMinus(spacing, C[kOne])});
    lo = dilate(C[kEmpty], *lod, static_cast<int>(l_lod->scalarValue()), *ins);
    hi = dilate(C[kEmpty], *hid, static_cast<int>(l_hid->scalarValue()), *ins);

    const mxArray next = mclPlus(*i, C[kOne]);
    if (ca->classID() != mxDOUBLE_CLASS) approximation = pageRef(*ca, *i);
    std::vector<mxArray> level = mclFeval(mexTransfwav, 3, {&approximation, &*lo, &*hi});
    setPage(ca.target(), level[0], next);
    setPage(ch.target(), level[1], next);
    setPage(cv.target(), level[2], next);
    approximation = std::move(level[0]);
  }

  checkOutputs(nargout, "maltrans2d", {&ca, &ch, &cv});
  storeOutput(ch_out, ch);
  storeOutput(cv_out, cv);
  return ca.release();
}

}  // namespace

void InitializeModule_maltrans2d() {
  C.buildAll();
}

void TerminateModule_maltrans2d() {
  C.releaseAll();
}

const ModuleConstants& maltrans2dConstants() {
  return C;
}

void mexMaltrans2d(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  runHostForm<3, 4>(nlhs, plhs, nrhs, prhs, C[kOutputsMessage], C[kInputsMessage], Mmaltrans2d);
}

mxArray mlfMaltrans2d(mxArray* ch, mxArray* cv, const mxArray* x, const mxArray* map,
                      const mxArray* N, const mxArray* type) {
  return runDirectForm<3, 4>(countRequested<2>({ch, cv}), {ch, cv}, {x, map, N, type}, Mmaltrans2d);
}

}  // namespace ulv
