#include "auxiliary/lixo.hpp"

#include <string>

#include "auxiliary/decomposition_filters.hpp"
#include "gateway/argument_checks.hpp"
#include "gateway/callers.hpp"
#include "gateway/forms.hpp"
#include "gateway/frame.hpp"
#include "host/runtime/ops.hpp"

namespace ulv {

const LocalFunctionTable lixoLocalFunctions{0, nullptr};

namespace {

enum : std::size_t {
  kOutputsMessage,
  kInputsMessage,
  kName,
  kAdmissibleInputs,
  kAdmissibleOutputs,
  kStar,
  kDecomposition,
  kCentral,
  kOne,
  kMinusOne,
  kFirstDimension,
};
constexpr double kInputCounts[] = {2, 3};
constexpr double kOutputCounts[] = {0, 1, 2};
constexpr ConstantEntry kConstants[] = {
    {kOutputsMessage, "kOutputsMessage",
     [] { return mclCreateString(countErrorMessage("lixo", "outputs", 2)); }},
    {kInputsMessage, "kInputsMessage",
     [] { return mclCreateString(countErrorMessage("lixo", "inputs", 3)); }},
    {kName, "kName", [] { return mclInitializeString(3, u"dwt"); }},
    {kAdmissibleInputs, "kAdmissibleInputs",
     [] { return mclInitializeDoubleVector(1, 2, kInputCounts); }},
    {kAdmissibleOutputs, "kAdmissibleOutputs",
     [] { return mclInitializeDoubleVector(1, 3, kOutputCounts); }},
    {kStar, "kStar", [] { return mclInitializeString(1, u"*"); }},
    {kDecomposition, "kDecomposition", [] { return mclInitializeString(1, u"d"); }},
    {kCentral, "kCentral", [] { return mclInitializeString(1, u"c"); }},
    {kOne, "kOne", [] { return mclInitializeDouble(1); }},
    {kMinusOne, "kMinusOne", [] { return mclInitializeDouble(-1); }},
    {kFirstDimension, "kFirstDimension", [] { return mclInitializeDouble(1); }},
};
static_assert(inEnumeratorOrder(kConstants));
ModuleConstants C("lixo", kConstants);

// x extended by lf elements at each end, in reverse order from its own ends
// (the end elements repeated), along the row or the column that x is.
mxArray mirrorExtend(const mxArray& x, const mxArray& lx, const mxArray& lf) {
  const mxArray leading = mclArrayRef1(x, mlfColon(lf, C[kMinusOne], &C[kOne]));
  const mxArray last = mclPlus(mclMinus(lx, lf), C[kOne]);
  const mxArray trailing = mclArrayRef1(x, mlfColon(lx, C[kMinusOne], &last));
  if (mclEqBool(mlfSize(x, C[kFirstDimension]), C[kOne])) {
    return mlfHorzcat({leading, x, trailing});
  }
  return mlfVertcat({leading, x, trailing});
}

mxArray Mlixo(mxArray* d_out, int nargout, const mxArray* x_in, const mxArray* arg2_in,
              const mxArray* arg3_in) {
  BodyFrame frame(lixoLocalFunctions);
  Var a("a"), d("d");
  Var x = Var::input("x", x_in);
  Var arg2 = Var::input("arg2", arg2_in);
  Var arg3 = Var::input("arg3", arg3_in);
  Var LoF_D("LoF_D"), HiF_D("HiF_D"), lx("lx"), lf("lf");
  const int nargin = mclNargin({x_in, arg2_in, arg3_in});

  requireAdmissibleCounts(C[kName], nargin, C[kAdmissibleInputs], nargout, C[kAdmissibleOutputs],
                          C[kStar]);

  chooseDecompositionFilters(nargin, arg2, arg3, C[kDecomposition], LoF_D, HiF_D);

  lx = mlfScalar(mclLengthInt(*x));
  lf = mlfScalar(mclLengthInt(*LoF_D));
  const auto length = static_cast<std::size_t>(lx->scalarValue());
  requireFilterable("lixo", *x, *LoF_D, *HiF_D, length,
                    std::to_string(length) + (length == 1 ? " element" : " elements"));
  x = mirrorExtend(*x, *lx, *lf);

  const mxArray lowPassed = mlfConv(&*x, &*LoF_D);
  a = mlfNWkeep(1, &lowPassed, {&*lx, &C[kCentral]});
  const mxArray highPassed = mlfConv(&*x, &*HiF_D);
  d = mlfNWkeep(1, &highPassed, {&*lx, &C[kCentral]});

  checkOutputs(nargout, "lixo", {&a, &d});
  storeOutput(d_out, d);
  return a.release();
}

}  // namespace

void InitializeModule_lixo() {
  C.buildAll();
}

void TerminateModule_lixo() {
  C.releaseAll();
}

const ModuleConstants& lixoConstants() {
  return C;
}

void mexLixo(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  runHostForm<2, 3>(nlhs, plhs, nrhs, prhs, C[kOutputsMessage], C[kInputsMessage], Mlixo);
}

}  // namespace ulv
