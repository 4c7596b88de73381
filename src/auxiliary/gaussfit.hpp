// gaussfit: negative log-likelihood of a two-component zero-mean mixture.
#pragma once

#include "gateway/constants.hpp"
#include "ulvadern/calls.hpp"

namespace ulv {

void mexGaussfit(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

void InitializeModule_gaussfit();
void TerminateModule_gaussfit();
const ModuleConstants& gaussfitConstants();
extern const LocalFunctionTable gaussfitLocalFunctions;

}  // namespace ulv
