// The library's callers of host functions by name. Each body starts its
// outputs as placeholders, asks the host for nargout outputs and passes the
// named inputs, then the elements of varargin; the first absent input ends
// the list.
#include "gateway/callers.hpp"

#include <string_view>
#include <vector>

#include "gateway/forms.hpp"
#include "host/runtime/ops.hpp"
#include "ulvadern/calls.hpp"
#include "ulvadern/errors.hpp"

namespace ulv {

namespace {

std::vector<mxArray> callByName(int nargout, std::string_view name,
                                std::initializer_list<const mxArray*> named,
                                const mxArray* varargin = nullptr) {
  std::vector<const mxArray*> inputs(named);
  if (varargin != nullptr) {
    for (std::size_t k = 0; k < varargin->numel(); ++k) inputs.push_back(&varargin->cellAt(k));
  }
  return mclFevalCallMATLAB(nargout, name, inputs);
}

mxArray fevalConv(int nargout, const mxArray* x, const mxArray* f) {
  return callByName(nargout, "conv", {x, f})[0];
}

mxArray fevalWkeep(int nargout, const mxArray* x, const mxArray* varargin) {
  return callByName(nargout, "wkeep", {x}, varargin)[0];
}

// wfilters' outputs are a list: output 1 is the cell of all of them.
mxArray fevalWfilters(int nargout, const mxArray* name, const mxArray* option) {
  const std::vector<mxArray> outputs = callByName(nargout, "wfilters", {name, option});
  mxArray varargout = mxArray::cell({1, static_cast<std::size_t>(nargout > 0 ? nargout : 0)});
  for (std::size_t k = 0; k < varargout.numel(); ++k) varargout.mutableCell(k) = outputs[k];
  return varargout;
}

mxArray fevalGray(int nargout, const mxArray* n) {
  return callByName(nargout, "gray", {n})[0];
}

mxArray fevalFmincon(mxArray* x2, mxArray* x3, mxArray* x4, mxArray* x5, mxArray* x6, mxArray* x7,
                     int nargout, const mxArray* fun, const mxArray* x0, const mxArray* a,
                     const mxArray* b, const mxArray* aeq, const mxArray* beq, const mxArray* lb,
                     const mxArray* ub, const mxArray* nonlcon, const mxArray* options,
                     const mxArray* varargin) {
  std::vector<mxArray> outputs =
      callByName(nargout, "fmincon", {fun, x0, a, b, aeq, beq, lb, ub, nonlcon, options}, varargin);
  mxArray* later[] = {x2, x3, x4, x5, x6, x7};
  for (std::size_t k = 1; k < outputs.size() && k <= std::size(later); ++k) {
    *later[k - 1] = std::move(outputs[k]);
  }
  return std::move(outputs[0]);
}

mxArray fevalErrargn(int nargout, const mxArray* function, const mxArray* nargin,
                     const mxArray* inputs, const mxArray* nargoutValue, const mxArray* outputs) {
  return callByName(nargout, "errargn", {function, nargin, inputs, nargoutValue, outputs})[0];
}

}  // namespace

mxArray mlfConv(const mxArray* x, const mxArray* f) {
  return runDirectForm<1, 2>(1, {}, {x, f}, fevalConv);
}

mxArray mlfNWkeep(int nargout, const mxArray* a, std::initializer_list<const mxArray*> varargin) {
  const mxArray packed = mclVarargin(varargin);
  return runDirectForm<1, 1>(nargout, {}, {a}, fevalWkeep, &packed);
}

void mlfNWfilters(int count, std::initializer_list<mxArray*> outputs, const mxArray* name,
                  const mxArray* option) {
  std::vector<mxArray*> listed;
  for (mxArray* output : outputs) {
    if (output == nullptr) break;
    listed.push_back(output);
  }
  const int nargout = count + static_cast<int>(listed.size());
  const mxArray varargout = runDirectForm<1, 2>(nargout, {}, {name, option}, fevalWfilters);
  for (std::size_t k = 0; k < listed.size(); ++k) *listed[k] = varargout.cellAt(k);
}

mxArray mlfGray(const mxArray* n) {
  return runDirectForm<1, 1>(1, {}, {n}, fevalGray);
}

mxArray mlfNFmincon(int nargout, const std::array<mxArray*, 6>& outputs,
                    const std::array<const mxArray*, 10>& inputs,
                    std::initializer_list<const mxArray*> varargin) {
  const mxArray packed = mclVarargin(varargin);
  return runDirectForm<7, 10>(nargout, outputs, inputs, fevalFmincon, &packed);
}

mxArray mlfErrargn(const mxArray* function, const mxArray* nargin, const mxArray* inputs,
                   const mxArray* nargout, const mxArray* outputs) {
  return runDirectForm<1, 5>(1, {}, {function, nargin, inputs, nargout, outputs}, fevalErrargn);
}

void requireAdmissibleCounts(const mxArray& function, int nargin, const mxArray& inputs,
                             int nargout, const mxArray& outputs, const mxArray& refusal) {
  const mxArray inputCount = mlfScalar(nargin);
  const mxArray outputCount = mlfScalar(nargout);
  if (mlfTobool(mlfErrargn(&function, &inputCount, &inputs, &outputCount, &outputs))) {
    mlfError(refusal);
  }
}

}  // namespace ulv
