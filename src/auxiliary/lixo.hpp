// lixo: one level of undecimated 1-D filtering with mirror extension.
#pragma once

#include "gateway/constants.hpp"
#include "ulvadern/calls.hpp"

namespace ulv {

void mexLixo(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

void InitializeModule_lixo();
void TerminateModule_lixo();
const ModuleConstants& lixoConstants();
extern const LocalFunctionTable lixoLocalFunctions;

}  // namespace ulv
