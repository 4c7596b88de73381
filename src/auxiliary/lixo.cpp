#include "auxiliary/lixo.hpp"

#include "host/errors.hpp"

namespace ulv {

// Placeholder until the function is built.
const LocalFunctionTable lixoLocalFunctions{0, nullptr};
namespace {
ModuleConstants C("lixo", 0);
}
void InitializeModule_lixo() {}
void TerminateModule_lixo() { C.releaseAll(); }
const ModuleConstants& lixoConstants() { return C; }
void mexLixo(int, mxArray*[], int, const mxArray*[]) { hostError("lixo is not built yet."); }

}  // namespace ulv
