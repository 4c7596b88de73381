// Calls: host calling forms, call contexts, argument counting, varargin and
// the host's registry of functions that can be called by name.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "ulvadern/array.hpp"

namespace ulv {

// A function's host calling form: nlhs outputs requested into plhs (at least
// one slot), nrhs inputs in prhs. Outputs are new handles owned by the caller.
using mxFunctionPtr = void (*)(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

// The table of a function's local functions (every one in this library is empty).
struct LocalFunctionTable {
  int count;
  const void* entries;
};

// Library start-up hook; counts its calls.
void mclMexLibraryInit();
int mclMexLibraryInitCount();

// The current local-function table; returns the previous one.
const LocalFunctionTable* mclSetCurrentLocalFunctionTable(const LocalFunctionTable* table);
const LocalFunctionTable* mclCurrentLocalFunctionTable();

// Call contexts nest strictly; the depth is kept for checking.
void mlfEnterNewContext();
void mlfRestorePreviousContext();
int mclContextDepth();

// Number of supplied inputs: the leading non-null named inputs, plus the
// elements of varargin when the function has one.
int mclNargin(std::initializer_list<const mxArray*> named, const mxArray* varargin = nullptr);

// The varargin cell (1 x n) from trailing inputs; a negative count gives 1x0.
mxArray mclVarargin(std::initializer_list<const mxArray*> inputs);
mxArray mclCreateVararginCell(int count, const mxArray* const* inputs);

// Calls a host form by address with values; returns max(nargout, 1) outputs
// (output 1 may be the placeholder).
std::vector<mxArray> mclFeval(mxFunctionPtr form, int nargout,
                              const std::vector<const mxArray*>& inputs);

// ---- calls by name --------------------------------------------------------------
// A host function takes its inputs and the number of outputs requested and
// returns at least that many outputs (at least one).
using HostFunction =
    std::function<std::vector<mxArray>(int nargout, const std::vector<mxArray>& inputs)>;

void registerHostFunction(const std::string& name, HostFunction function);
// Registers a library function: calls reach its host form.
void registerLibraryFunction(const std::string& name, mxFunctionPtr form);
void unregisterFunction(const std::string& name);
bool isFunctionRegistered(const std::string& name);

// Calls a function by name. Inputs end at the first null. Raises a host error
// for an unknown name or when the function gives fewer outputs than requested.
std::vector<mxArray> mclFevalCallMATLAB(int nargout, std::string_view name,
                                        const std::vector<const mxArray*>& inputs);

// Registers the six host functions the library calls by name: conv, wkeep,
// wfilters, gray, errargn and fmincon.
void registerStandardHostFunctions();

}  // namespace ulv
