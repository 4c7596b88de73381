#include "denoise/ulvadern.hpp"

#include "denoise/workspace.hpp"
#include "gateway/forms.hpp"

namespace ulv {

const LocalFunctionTable ulvadernLocalFunctions{0, nullptr};

namespace {

ModuleConstants C("ulvadern", denoise::kConstantCount);

mxArray Mulvadern(int nargout, const mxArray* x, const mxArray* varargin) {
  BodyFrame frame(ulvadernLocalFunctions);
  denoise::Workspace w(nargout, x, varargin);
  denoise::phaseTimes() = {};

  denoise::prepareInput(w);
  denoise::decompose(w);
  denoise::buildSmoothingKernels(w);
  denoise::estimateMasks(w);
  denoise::fuseAndWeight(w);
  denoise::reconstruct(w);

  checkOutputs(nargout, "ulvadern", {&w.y});
  return w.y.release();
}

void addRow(std::initializer_list<double> values) {
  C.add(mxArray::row(values));
}

}  // namespace

const mxArray& denoise::constant(Constant which) {
  return C[which];
}

void InitializeModule_ulvadern() {
  C.add(mclCreateString(countErrorMessage("ulvadern", "outputs", 1)));
  for (double value : {3.0, 0.3, 1.0, 2.0, 0.0, -1.0, 255.0, 0.001, 1e-08, 1e-20, 10000.0, 0.98,
                       0.3927, 0.785398, 1.178097}) {
    C.add(mclInitializeDouble(value));
  }
  addRow({1, 1, 1, 1, 1});
  addRow({1, 2, 3, 4, 5});
  addRow({0.1, 0.7, 0.7});
  addRow({1, -0.5, 0});
  addRow({1e-10, 1e-10, 0.05});
  C.add(mclInitializeDoubleVector(0, 0, nullptr));
  for (const char* text :
       {"ulvadern", "*", "minimiza", "gaussfit(x(1),x(2),x(3))", "mascaras", "same"}) {
    C.add(mclCreateString(text));
  }
}

void TerminateModule_ulvadern() {
  C.releaseAll();
}

const ModuleConstants& ulvadernConstants() {
  return C;
}

void mexUlvadern(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  runHostFormVarargin<1, 1>(nlhs, plhs, nrhs, prhs, C[denoise::kOutputsMessage], Mulvadern);
}

}  // namespace ulv
