#include "denoise/ulvadern.hpp"

#include <utility>

#include "denoise/phases.hpp"
#include "gateway/forms.hpp"
#include "host/runtime/fast_paths.hpp"

namespace ulv {

const LocalFunctionTable ulvadernLocalFunctions{0, nullptr};

namespace {

using namespace denoise;

// The one place a call chooses its pipeline: the fast one unless this thread
// switched fast paths off (to compare them with the reference).
const Pipeline& pipelineForThisCall() {
  return fastPathsEnabled() ? fastPipeline() : straightforwardPipeline();
}

mxArray Mulvadern(int nargout, const mxArray* x, const mxArray* varargin) {
  BodyFrame frame(ulvadernLocalFunctions);
  phaseTimes() = {};
  const Arguments arguments = readArguments(nargout, x, varargin);
  const Pipeline& run = pipelineForThisCall();

  Decomposition parts = run.decompose(run.prepare(arguments), arguments.levels);
  const SmoothingKernels kernels = smoothingKernels();
  Masks masks = run.estimateMasks(parts);
  DetailStacks weighted =
      run.fuseAndWeight(std::move(masks), std::move(parts.details), std::move(parts.angles),
                        parts.size, kernels, arguments);
  Var y("y");
  y = run.reconstruct(std::move(parts.coarsest), parts.size, std::move(weighted), arguments.levels);

  checkOutputs(nargout, "ulvadern", {&y});
  return y.release();
}

}  // namespace

void mexUlvadern(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  runHostFormVarargin<1, 1>(nlhs, plhs, nrhs, prhs, constant(kOutputsMessage), Mulvadern);
}

}  // namespace ulv
