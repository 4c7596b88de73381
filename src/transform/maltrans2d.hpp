// maltrans2d: forward undecimated dyadic (Mallat) transform.
#pragma once

#include "gateway/constants.hpp"
#include "ulvadern/calls.hpp"

namespace ulv {

void mexMaltrans2d(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
// [ca, ch, cv] = maltrans2d(x, map, N, type)
mxArray mlfMaltrans2d(mxArray* ch, mxArray* cv, const mxArray* x, const mxArray* map,
                      const mxArray* N, const mxArray* type);

void InitializeModule_maltrans2d();
void TerminateModule_maltrans2d();
const ModuleConstants& maltrans2dConstants();
extern const LocalFunctionTable maltrans2dLocalFunctions;

}  // namespace ulv
