#include "auxiliary/gaussfit.hpp"

#include "auxiliary/gaussfit_sum.hpp"
#include "gateway/forms.hpp"
#include "gateway/frame.hpp"
#include "host/files/matfile.hpp"
#include "host/runtime/fast_paths.hpp"
#include "host/runtime/ops.hpp"
#include "kernels/gaussian.hpp"
#include "ulvadern/errors.hpp"

namespace ulv {

const LocalFunctionTable gaussfitLocalFunctions{0, nullptr};

namespace {

enum : std::size_t { kOutputsMessage, kInputsMessage, kFloor, kTwo, kOne, kSampleFile };
constexpr ConstantEntry kConstants[] = {
    {kOutputsMessage, "kOutputsMessage",
     [] { return mclCreateString(countErrorMessage("gaussfit", "outputs", 1)); }},
    {kInputsMessage, "kInputsMessage",
     [] { return mclCreateString(countErrorMessage("gaussfit", "inputs", 3)); }},
    {kFloor, "kFloor", [] { return mclInitializeDouble(1e-15); }},
    {kTwo, "kTwo", [] { return mclInitializeDouble(2); }},
    {kOne, "kOne", [] { return mclInitializeDouble(1); }},
    {kSampleFile, "kSampleFile", [] { return mclCreateString("minimiza"); }},
};
static_assert(inEnumeratorOrder(kConstants));
ModuleConstants C("gaussfit", kConstants);

// Variables of the function that the file may replace; one it does not hold
// keeps its state (an absent argument stays undefined).
void loadSample(std::initializer_list<Var*> variables) {
  std::vector<mxArray> found(variables.size());
  std::vector<std::pair<std::string, mxArray*>> targets;
  std::size_t k = 0;
  for (Var* v : variables) targets.emplace_back(std::string(v->name()), &found[k++]);
  mclLoadConditional(C[kSampleFile], targets);
  k = 0;
  for (Var* v : variables) {
    if (!found[k].isPlaceholder()) *v = std::move(found[k]);
    ++k;
  }
}

// The sample file holds numbers in the system's use; text would be taken as
// character codes and fitted without a word.
void checkSampleIsNumeric(const Var& vv) {
  if (vv.isAssigned() && vv->isChar()) {
    hostError("The sample \"vv\" in minimiza.mat is text, not numbers.");
  }
}

// w * exp(-((vv / width) .^ 2)) / width, in the host's operation order.
// The weight is read by the caller first, then vv and the width.
mxArray weightedComponent(const mxArray& weight, const Var& vv, const Var& width) {
  const mxArray shape = gaussianShape(*vv, *width);
  return mclMrdivide(mclMtimes(weight, shape), *width);
}

// The system's use: a non-empty double vector sample and double scalar
// parameters, all assigned. Then the value is computed in one pass
// (mixtureObjective); anything else takes the composed operations.
bool isPlainVectorCase(const Var& w, const Var& vv, const Var& x1, const Var& x2) {
  if (!fastPathsEnabled()) return false;
  for (const Var* v : {&w, &vv, &x1, &x2}) {
    if (!v->isAssigned() || (*v)->classID() != mxDOUBLE_CLASS) return false;
  }
  return w->isScalar() && x1->isScalar() && x2->isScalar() && !vv->isEmpty() && vv->isVector();
}

mxArray Mgaussfit(int nargout, const mxArray* x1_in, const mxArray* x2_in, const mxArray* w_in) {
  BodyFrame frame(gaussfitLocalFunctions);
  Var y("y");
  // Only the file defines these; reading vv when the file lacks it is an error.
  Var ans = Var::undefined("ans");
  Var minimiza = Var::undefined("minimiza");
  Var vv = Var::undefined("vv");
  Var x1 = Var::input("x1", x1_in);
  Var x2 = Var::input("x2", x2_in);
  Var w = Var::input("w", w_in);

  loadSample({&ans, &minimiza, &vv, &w, &x1, &x2, &y});
  checkSampleIsNumeric(vv);

  if (isPlainVectorCase(w, vv, x1, x2)) {
    y = mlfScalar(mixtureObjective(*vv, x1->scalarValue(), x2->scalarValue(), w->scalarValue(),
                                   C[kFloor].scalarValue(), C[kOne].scalarValue()));
  } else {
    const mxArray A = weightedComponent(*w, vv, x1);
    mxArray S = mclPlus(C[kFloor], A);
    const mxArray B = weightedComponent(mclMinus(C[kOne], *w), vv, x2);
    S = mclPlus(S, B);
    const mxArray L = mlfLog(S);
    y = mclUminus(mlfSum(mlfSum(L)));
  }

  checkOutputs(nargout, "gaussfit", {&y});
  return y.release();
}

}  // namespace

void InitializeModule_gaussfit() {
  C.buildAll();
}

void TerminateModule_gaussfit() {
  C.releaseAll();
}

const ModuleConstants& gaussfitConstants() {
  return C;
}

void mexGaussfit(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  runHostForm<1, 3>(nlhs, plhs, nrhs, prhs, C[kOutputsMessage], C[kInputsMessage], Mgaussfit);
}

}  // namespace ulv
