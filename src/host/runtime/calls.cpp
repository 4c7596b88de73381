#include "ulvadern/calls.hpp"

#include <algorithm>
#include <map>
#include <mutex>
#include <shared_mutex>

#include "host/runtime/cancellation.hpp"
#include "ulvadern/errors.hpp"

namespace ulv {

namespace {

int libraryInitCalls = 0;
// Per thread, so that independent hosts may run calls on several threads.
thread_local const LocalFunctionTable* currentLocalTable = nullptr;
thread_local int contextDepth = 0;

struct Registry {
  std::shared_mutex mutex;
  std::map<std::string, HostFunction, std::less<>> functions;
};

Registry& registry() {
  static Registry r;
  return r;
}

}  // namespace

void mclMexLibraryInit() {
  ++libraryInitCalls;
}
int mclMexLibraryInitCount() {
  return libraryInitCalls;
}

const LocalFunctionTable* mclSetCurrentLocalFunctionTable(const LocalFunctionTable* table) {
  const LocalFunctionTable* previous = currentLocalTable;
  currentLocalTable = table;
  return previous;
}

const LocalFunctionTable* mclCurrentLocalFunctionTable() {
  return currentLocalTable;
}

void mlfEnterNewContext() {
  ++contextDepth;
}
void mlfRestorePreviousContext() {
  --contextDepth;
}
int mclContextDepth() {
  return contextDepth;
}

int mclNargin(std::initializer_list<const mxArray*> named, const mxArray* varargin) {
  int n = 0;
  for (const mxArray* input : named) {
    if (input == nullptr) break;
    ++n;
  }
  if (varargin != nullptr) n += static_cast<int>(varargin->numel());
  return n;
}

mxArray mclVarargin(std::initializer_list<const mxArray*> inputs) {
  std::vector<const mxArray*> present;
  for (const mxArray* input : inputs) {
    if (input == nullptr) break;
    present.push_back(input);
  }
  return mclCreateVararginCell(static_cast<int>(present.size()), present.data());
}

mxArray mclCreateVararginCell(int count, const mxArray* const* inputs) {
  const std::size_t n = count > 0 ? static_cast<std::size_t>(count) : 0;
  mxArray cell = mxArray::cell({1, n});
  for (std::size_t i = 0; i < n; ++i) cell.mutableCell(i) = *inputs[i];
  return cell;
}

std::vector<mxArray> mclFeval(mxFunctionPtr form, int nargout,
                              const std::vector<const mxArray*>& inputs) {
  const std::size_t slots = static_cast<std::size_t>(std::max(nargout, 1));
  std::vector<mxArray*> plhs(slots, nullptr);
  std::vector<const mxArray*> prhs;
  for (const mxArray* input : inputs) {
    if (input == nullptr) break;
    prhs.push_back(input);
  }
  auto release = [&plhs] {
    for (mxArray*& handle : plhs) {
      mxDestroyArray(handle);
      handle = nullptr;
    }
  };
  try {
    form(nargout, plhs.data(), static_cast<int>(prhs.size()), prhs.data());
  } catch (...) {
    release();
    throw;
  }
  std::vector<mxArray> outputs;
  outputs.reserve(slots);
  for (mxArray* handle : plhs) outputs.push_back(handle != nullptr ? *handle : mxArray());
  release();
  return outputs;
}

void registerHostFunction(const std::string& name, HostFunction function) {
  std::unique_lock lock(registry().mutex);
  registry().functions[name] = std::move(function);
}

void registerLibraryFunction(const std::string& name, mxFunctionPtr form) {
  registerHostFunction(name, [form](int nargout, const std::vector<mxArray>& inputs) {
    std::vector<const mxArray*> handles;
    handles.reserve(inputs.size());
    for (const mxArray& input : inputs) handles.push_back(&input);
    return mclFeval(form, nargout, handles);
  });
}

void unregisterFunction(const std::string& name) {
  std::unique_lock lock(registry().mutex);
  registry().functions.erase(name);
}

bool isFunctionRegistered(const std::string& name) {
  std::shared_lock lock(registry().mutex);
  return registry().functions.count(name) > 0;
}

std::vector<mxArray> mclFevalCallMATLAB(int nargout, std::string_view name,
                                        const std::vector<const mxArray*>& inputs) {
  checkpoint(name);
  HostFunction function;
  {
    std::shared_lock lock(registry().mutex);
    auto found = registry().functions.find(name);
    if (found == registry().functions.end()) {
      hostError("Undefined function or variable '" + std::string(name) + "'.");
    }
    function = found->second;
  }
  std::vector<mxArray> values;
  for (const mxArray* input : inputs) {
    if (input == nullptr) break;
    values.push_back(*input);
  }
  std::vector<mxArray> outputs = function(nargout, values);
  if (outputs.size() < static_cast<std::size_t>(std::max(nargout, 1))) {
    hostError("Too many output arguments in the call to \"" + std::string(name) + "\".");
  }
  return outputs;
}

}  // namespace ulv
