#include "denoise/ulvadern.hpp"

#include "host/errors.hpp"

namespace ulv {

// Placeholder until the function is built.
const LocalFunctionTable ulvadernLocalFunctions{0, nullptr};
namespace {
ModuleConstants C("ulvadern", 0);
}
void InitializeModule_ulvadern() {}
void TerminateModule_ulvadern() { C.releaseAll(); }
const ModuleConstants& ulvadernConstants() { return C; }
void mexUlvadern(int, mxArray*[], int, const mxArray*[]) { hostError("ulvadern is not built yet."); }

}  // namespace ulv
