// transfwav: one level of undecimated 2-D filtering with mirror extension.
#pragma once

#include "gateway/constants.hpp"
#include "ulvadern/calls.hpp"

namespace ulv {

void mexTransfwav(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

void InitializeModule_transfwav();
void TerminateModule_transfwav();
const ModuleConstants& transfwavConstants();
extern const LocalFunctionTable transfwavLocalFunctions;

}  // namespace ulv
