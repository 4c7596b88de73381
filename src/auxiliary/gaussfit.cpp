#include "auxiliary/gaussfit.hpp"

#include "host/errors.hpp"

namespace ulv {

// Placeholder until the function is built.
const LocalFunctionTable gaussfitLocalFunctions{0, nullptr};
namespace {
ModuleConstants C("gaussfit", 0);
}
void InitializeModule_gaussfit() {}
void TerminateModule_gaussfit() { C.releaseAll(); }
const ModuleConstants& gaussfitConstants() { return C; }
void mexGaussfit(int, mxArray*[], int, const mxArray*[]) { hostError("gaussfit is not built yet."); }

}  // namespace ulv
