#include "auxiliary/touint.hpp"

#include "gateway/forms.hpp"
#include "gateway/frame.hpp"
#include "host/runtime/fast_paths.hpp"
#include "host/runtime/ops.hpp"

namespace ulv {

const LocalFunctionTable touintLocalFunctions{0, nullptr};

namespace {

enum : std::size_t { kOutputsMessage, kInputsMessage, kZero, k255 };
constexpr ConstantEntry kConstants[] = {
    {kOutputsMessage, "kOutputsMessage",
     [] { return mclCreateString(countErrorMessage("touint", "outputs", 1)); }},
    {kInputsMessage, "kInputsMessage",
     [] { return mclCreateString(countErrorMessage("touint", "inputs", 1)); }},
    {kZero, "kZero", [] { return mclInitializeDouble(0); }},
    {k255, "k255", [] { return mclInitializeDouble(255); }},
};
static_assert(inEnumeratorOrder(kConstants));
ModuleConstants C("touint", kConstants);

mxArray Mtouint(int nargout, const mxArray* x_in) {
  BodyFrame frame(touintLocalFunctions);
  Var y("y", VariableKind::Local);
  Var x = Var::input("x", x_in);

  if (fastPathsEnabled() && x.isAssigned() && x->classID() == mxDOUBLE_CLASS) {
    // The 8-bit conversion saturates to 0..255 (NaN to 0) by itself, so the
    // clipped copy of x would give the same bytes: convert x directly.
    y = mlfUint8(*x);
  } else {
    mclArrayAssign1(x.target(), C[kZero], mclLt(*x, C[kZero]));
    mclArrayAssign1(x.target(), C[k255], mclGt(*x, C[k255]));
    y = mlfUint8(*x);
  }

  checkOutputs(nargout, "touint", {&y});
  return y.release();
}

}  // namespace

void InitializeModule_touint() {
  C.buildAll();
}

void TerminateModule_touint() {
  C.releaseAll();
}

const ModuleConstants& touintConstants() {
  return C;
}

void mexTouint(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  runHostForm<1, 1>(nlhs, plhs, nrhs, prhs, C[kOutputsMessage], C[kInputsMessage], Mtouint);
}

mxArray mlfTouint(const mxArray* x) {
  return runDirectForm<1, 1>(1, {}, {x}, Mtouint);
}

}  // namespace ulv
