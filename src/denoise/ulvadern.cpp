#include "denoise/ulvadern.hpp"

#include "denoise/workspace.hpp"
#include "gateway/forms.hpp"

namespace ulv {

const LocalFunctionTable ulvadernLocalFunctions{0, nullptr};

namespace {

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

}  // namespace

void mexUlvadern(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  runHostFormVarargin<1, 1>(nlhs, plhs, nrhs, prhs, denoise::constant(denoise::kOutputsMessage),
                            Mulvadern);
}

}  // namespace ulv
