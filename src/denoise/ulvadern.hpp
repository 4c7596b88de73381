// ulvadern: edge-preserving wavelet denoising of a gray-level image.
#pragma once

#include "gateway/constants.hpp"
#include "ulvadern/calls.hpp"

namespace ulv {

void mexUlvadern(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

void InitializeModule_ulvadern();
void TerminateModule_ulvadern();
const ModuleConstants& ulvadernConstants();
extern const LocalFunctionTable ulvadernLocalFunctions;

}  // namespace ulv
