// The library descriptor: what the host reads through _mexLibrary.
#include "auxiliary/gaussfit.hpp"
#include "auxiliary/lixo.hpp"
#include "auxiliary/touint.hpp"
#include "auxiliary/transfwav.hpp"
#include "denoise/ulvadern.hpp"
#include "transform/invmaltrans2d.hpp"
#include "transform/maltrans2d.hpp"
#include "ulvadern/descriptor.hpp"

namespace ulv {

namespace {

const FunctionTableEntry kFunctions[] = {
    {"ulvadern", mexUlvadern, -2, 1, &ulvadernLocalFunctions},
    {"gaussfit", mexGaussfit, 3, 1, &gaussfitLocalFunctions},
    {"maltrans2d", mexMaltrans2d, 4, 3, &maltrans2dLocalFunctions},
    {"invmaltrans2d", mexInvmaltrans2d, 5, 1, &invmaltrans2dLocalFunctions},
    {"lixo", mexLixo, 3, 2, &lixoLocalFunctions},
    {"transfwav", mexTransfwav, 3, 3, &transfwavLocalFunctions},
    {"touint", mexTouint, 1, 1, &touintLocalFunctions},
};

// The host binds the global's array here; the library never reads it.
mxArray* dwtExtMode = nullptr;

const GlobalTableEntry kGlobals[] = {
    {"DWT_Ext_Mode", &dwtExtMode},
};

const InitTermEntry kInitTerm[] = {
    {InitializeModule_ulvadern, TerminateModule_ulvadern},
    {InitializeModule_gaussfit, TerminateModule_gaussfit},
    {InitializeModule_maltrans2d, TerminateModule_maltrans2d},
    {InitializeModule_invmaltrans2d, TerminateModule_invmaltrans2d},
    {InitializeModule_lixo, TerminateModule_lixo},
    {InitializeModule_transfwav, TerminateModule_transfwav},
    {InitializeModule_touint, TerminateModule_touint},
};

const LibraryDescriptor kDescriptor = {
    kDescriptorFormatTag, 7, kFunctions, 1, kGlobals, 0, nullptr, 7, kInitTerm,
};

}  // namespace

// The string resources, for hosts that read them from the file: the ELF
// section ".ulvadern.strings" holds "ID=text" records, each ended by a NUL.
[[gnu::used, gnu::section(".ulvadern.strings")]] const char kStringResources[] =
    "100=MATLAB R11 native\0"
    "101=not inlined";

}  // namespace ulv

extern "C" __attribute__((visibility("default"))) const ulv::LibraryDescriptor* _mexLibrary() {
  ulv::mclMexLibraryInit();
  return &ulv::kDescriptor;
}
