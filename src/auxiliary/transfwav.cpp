#include "auxiliary/transfwav.hpp"

#include "host/errors.hpp"

namespace ulv {

// Placeholder until the function is built.
const LocalFunctionTable transfwavLocalFunctions{0, nullptr};
namespace {
ModuleConstants C("transfwav", 0);
}
void InitializeModule_transfwav() {}
void TerminateModule_transfwav() { C.releaseAll(); }
const ModuleConstants& transfwavConstants() { return C; }
void mexTransfwav(int, mxArray*[], int, const mxArray*[]) { hostError("transfwav is not built yet."); }

}  // namespace ulv
