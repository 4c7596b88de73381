// invmaltrans2d: inverse undecimated dyadic (Mallat) transform.
#pragma once

#include "gateway/constants.hpp"
#include "ulvadern/calls.hpp"

namespace ulv {

void mexInvmaltrans2d(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
// x = invmaltrans2d(ca, ch, cv, N, type)
mxArray mlfInvmaltrans2d(const mxArray* ca, const mxArray* ch, const mxArray* cv, const mxArray* N,
                         const mxArray* type);

void InitializeModule_invmaltrans2d();
void TerminateModule_invmaltrans2d();
const ModuleConstants& invmaltrans2dConstants();
extern const LocalFunctionTable invmaltrans2dLocalFunctions;

}  // namespace ulv
