#include "transform/invmaltrans2d.hpp"

#include "host/errors.hpp"

namespace ulv {

// Placeholder until the function is built.
const LocalFunctionTable invmaltrans2dLocalFunctions{0, nullptr};
namespace {
ModuleConstants C("invmaltrans2d", 0);
}
void InitializeModule_invmaltrans2d() {}
void TerminateModule_invmaltrans2d() { C.releaseAll(); }
const ModuleConstants& invmaltrans2dConstants() { return C; }
void mexInvmaltrans2d(int, mxArray*[], int, const mxArray*[]) { hostError("invmaltrans2d is not built yet."); }
mxArray mlfInvmaltrans2d(const mxArray*, const mxArray*, const mxArray*, const mxArray*, const mxArray*) { hostError("invmaltrans2d is not built yet."); }
}  // namespace ulv
