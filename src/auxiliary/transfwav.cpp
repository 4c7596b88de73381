#include "auxiliary/transfwav.hpp"

#include <algorithm>

#include "auxiliary/decomposition_filters.hpp"
#include "gateway/argument_checks.hpp"
#include "gateway/callers.hpp"
#include "gateway/forms.hpp"
#include "gateway/frame.hpp"
#include "host/runtime/fast_paths.hpp"
#include "host/runtime/ops.hpp"
#include "kernels/filter_steps.hpp"
#include "kernels/undecimated_filtering.hpp"

namespace ulv {

const LocalFunctionTable transfwavLocalFunctions{0, nullptr};

namespace {

enum : std::size_t {
  kOutputsMessage,
  kInputsMessage,
  kName,
  kAdmissibleInputs,
  kAdmissibleOutputs,
  kStar,
  kDecomposition,
  kMinusOne,
  kOne,
};
constexpr double kInputCounts[] = {2, 3};
constexpr double kOutputCounts[] = {0, 1, 3};
constexpr ConstantEntry kConstants[] = {
    {kOutputsMessage, "kOutputsMessage",
     [] { return mclCreateString(countErrorMessage("transfwav", "outputs", 3)); }},
    {kInputsMessage, "kInputsMessage",
     [] { return mclCreateString(countErrorMessage("transfwav", "inputs", 3)); }},
    {kName, "kName", [] { return mclInitializeString(4, u"dwt2"); }},
    {kAdmissibleInputs, "kAdmissibleInputs",
     [] { return mclInitializeDoubleVector(1, 2, kInputCounts); }},
    {kAdmissibleOutputs, "kAdmissibleOutputs",
     [] { return mclInitializeDoubleVector(1, 3, kOutputCounts); }},
    {kStar, "kStar", [] { return mclInitializeString(1, u"*"); }},
    {kDecomposition, "kDecomposition", [] { return mclInitializeString(1, u"d"); }},
    {kMinusOne, "kMinusOne", [] { return mclInitializeDouble(-1); }},
    {kOne, "kOne", [] { return mclInitializeDouble(1); }},
};
static_assert(inEnumeratorOrder(kConstants));
ModuleConstants C("transfwav", kConstants);

// Whether every crop is exactly central (odd filter lengths) and the mirror
// fits in x. conv2 takes the operand with fewer elements as its kernel, so
// HiF_D must also be the smaller one for the taps to add in the same order.
bool hasCentralBlocks(const mxArray& x, std::size_t lf, const mxArray& LoF_D,
                      const mxArray& HiF_D) {
  if (!fastPathsEnabled() || !isOddLengthFilter(LoF_D) || !isOddLengthFilter(HiF_D) ||
      !fitsMirror(x, lf))
    return false;
  return HiF_D.numel() < (x.rows() + 2 * lf) * (x.cols() + 2 * lf);
}

mxArray Mtransfwav(mxArray* ch_out, mxArray* cv_out, int nargout, const mxArray* x_in,
                   const mxArray* arg2_in, const mxArray* arg3_in) {
  BodyFrame frame(transfwavLocalFunctions);
  Var ca("ca"), ch("ch"), cv("cv");
  Var x = Var::input("x", x_in);
  Var arg2 = Var::input("arg2", arg2_in);
  Var arg3 = Var::input("arg3", arg3_in);
  Var LoF_D("LoF_D"), HiF_D("HiF_D"), sx("sx"), rx("rx"), cx("cx"), lf("lf");
  const int nargin = mclNargin({x_in, arg2_in, arg3_in});

  requireAdmissibleCounts(C[kName], nargin, C[kAdmissibleInputs], nargout, C[kAdmissibleOutputs],
                          C[kStar]);

  chooseDecompositionFilters(nargin, arg2, arg3, C[kDecomposition], LoF_D, HiF_D);

  sx = mlfSize(*x);
  rx = mclIntArrayRef1(*sx, 1);
  cx = mclIntArrayRef1(*sx, 2);
  lf = mlfScalar(mclLengthInt(*LoF_D));

  const auto width = static_cast<std::size_t>(lf->scalarValue());
  requireFilterable("transfwav", *x, *LoF_D, *HiF_D, std::min(x->rows(), x->cols()),
                    dimsText(x->dims()));
  if (hasCentralBlocks(*x, width, *LoF_D, *HiF_D)) {
    // Every crop is exactly central: the central blocks straight from the
    // mirror view of x, the extension never formed.
    const ExtendedImage E = mirrorExtension(*x, width);
    ch = centralConv2(*HiF_D, E);
    cv = centralConv2(mlfCtranspose(*HiF_D), E);
    ca = centralConv2(*LoF_D, mlfCtranspose(*LoF_D), E);
  } else {
    x = mirrorExtend(*x, *lf, *rx, *cx, {C[kOne], C[kMinusOne]});
    const mxArray rowFiltered = mlfConv2(*HiF_D, *x);
    ch = mlfNWkeep(1, &rowFiltered, {&*sx});
    const mxArray columnFiltered = mlfConv2(mlfCtranspose(*HiF_D), *x);
    cv = mlfNWkeep(1, &columnFiltered, {&*sx});
    const mxArray smoothed = mlfConv2(*LoF_D, mlfCtranspose(*LoF_D), &*x);
    ca = mlfNWkeep(1, &smoothed, {&*sx});
  }

  checkOutputs(nargout, "transfwav", {&ca, &ch, &cv});
  storeOutput(ch_out, ch);
  storeOutput(cv_out, cv);
  return ca.release();
}

}  // namespace

void InitializeModule_transfwav() {
  C.buildAll();
}

void TerminateModule_transfwav() {
  C.releaseAll();
}

const ModuleConstants& transfwavConstants() {
  return C;
}

void mexTransfwav(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  runHostForm<3, 3>(nlhs, plhs, nrhs, prhs, C[kOutputsMessage], C[kInputsMessage], Mtransfwav);
}

}  // namespace ulv
