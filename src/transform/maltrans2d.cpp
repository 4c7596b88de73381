#include "transform/maltrans2d.hpp"

#include "host/errors.hpp"

namespace ulv {

// Placeholder until the function is built.
const LocalFunctionTable maltrans2dLocalFunctions{0, nullptr};
namespace {
ModuleConstants C("maltrans2d", 0);
}
void InitializeModule_maltrans2d() {}
void TerminateModule_maltrans2d() { C.releaseAll(); }
const ModuleConstants& maltrans2dConstants() { return C; }
void mexMaltrans2d(int, mxArray*[], int, const mxArray*[]) { hostError("maltrans2d is not built yet."); }
mxArray mlfMaltrans2d(mxArray*, mxArray*, const mxArray*, const mxArray*, const mxArray*, const mxArray*) { hostError("maltrans2d is not built yet."); }
}  // namespace ulv
