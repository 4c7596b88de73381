// touint: clip to 0..255 and convert to 8-bit unsigned.
#pragma once

#include "gateway/constants.hpp"
#include "ulvadern/calls.hpp"

namespace ulv {

void mexTouint(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
mxArray mlfTouint(const mxArray* x);

void InitializeModule_touint();
void TerminateModule_touint();
const ModuleConstants& touintConstants();
extern const LocalFunctionTable touintLocalFunctions;

}  // namespace ulv
