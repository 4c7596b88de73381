// The calling forms wrapped around every body.
//
// A body has the parameters (pointers for outputs 2..n, nargout, named inputs
// [, varargin]) and returns output 1. The host form checks the counts
// (outputs before inputs), passes absent inputs as null, packs trailing
// inputs into varargin and hands the outputs to the host; the direct forms
// are how bodies call each other.
#pragma once

#include <array>
#include <cstddef>
#include <tuple>
#include <utility>

#include "ulvadern/array.hpp"
#include "ulvadern/calls.hpp"
#include "ulvadern/errors.hpp"

namespace ulv {

// Keeps the runtime's call contexts strictly nested, also on the error path.
class CallContext {
 public:
  CallContext() { mlfEnterNewContext(); }
  ~CallContext() { mlfRestorePreviousContext(); }
  CallContext(const CallContext&) = delete;
  CallContext& operator=(const CallContext&) = delete;
};

namespace detail {

template <std::size_t NOut, std::size_t... O>
auto outputPointers(std::array<mxArray, NOut>& outputs, std::index_sequence<O...>) {
  return std::make_tuple(&outputs[O + 1]...);
}

template <typename Array>
auto asTuple(const Array& values) {
  return std::apply([](auto... v) { return std::make_tuple(v...); }, values);
}

template <std::size_t NOut, std::size_t NIn, typename Body, typename... Extra>
void callBody(Body body, std::array<mxArray, NOut>& outputs, int nargout,
              const std::array<const mxArray*, NIn>& inputs, Extra... extra) {
  CallContext context;
  auto args = std::tuple_cat(outputPointers(outputs, std::make_index_sequence<NOut - 1>{}),
                             std::make_tuple(nargout), asTuple(inputs), std::make_tuple(extra...));
  outputs[0] = std::apply(body, args);
}

template <std::size_t NIn>
std::array<const mxArray*, NIn> namedInputs(int nrhs, const mxArray* prhs[]) {
  std::array<const mxArray*, NIn> inputs{};
  for (std::size_t i = 0; i < NIn; ++i) {
    inputs[i] = static_cast<int>(i) < nrhs ? prhs[i] : nullptr;
  }
  return inputs;
}

template <std::size_t NOut>
void handOutputs(int nlhs, mxArray* plhs[], std::array<mxArray, NOut>& outputs) {
  plhs[0] = mxCreateHandle(std::move(outputs[0]));
  for (std::size_t i = 1; i < NOut; ++i) {
    if (static_cast<int>(i) < nlhs) plhs[i] = mxCreateHandle(std::move(outputs[i]));
  }
}

}  // namespace detail

// Host form of a function with NIn named inputs and NOut outputs.
template <std::size_t NOut, std::size_t NIn, typename Body>
void runHostForm(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[],
                 const mxArray& outputsMessage, const mxArray& inputsMessage, Body body) {
  if (nlhs > static_cast<int>(NOut)) mlfError(outputsMessage);
  if (nrhs > static_cast<int>(NIn)) mlfError(inputsMessage);
  std::array<mxArray, NOut> outputs;
  detail::callBody(body, outputs, nlhs, detail::namedInputs<NIn>(nrhs, prhs));
  detail::handOutputs(nlhs, plhs, outputs);
}

// Host form of a function with NIn named inputs followed by varargin.
template <std::size_t NOut, std::size_t NIn, typename Body>
void runHostFormVarargin(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[],
                         const mxArray& outputsMessage, Body body) {
  if (nlhs > static_cast<int>(NOut)) mlfError(outputsMessage);
  const int trailing = nrhs - static_cast<int>(NIn);
  const mxArray varargin = mclCreateVararginCell(trailing, trailing > 0 ? prhs + NIn : nullptr);
  std::array<mxArray, NOut> outputs;
  detail::callBody(body, outputs, nlhs, detail::namedInputs<NIn>(nrhs, prhs), &varargin);
  detail::handOutputs(nlhs, plhs, outputs);
}

// Direct form with an explicit output count (mlfN...). Outputs 2..n are
// stored through the pointers that are non-null and released otherwise.
template <std::size_t NOut, std::size_t NIn, typename Body, typename... Extra>
mxArray runDirectForm(int nargout, const std::array<mxArray*, NOut - 1>& outputSlots,
                      const std::array<const mxArray*, NIn>& inputs, Body body, Extra... extra) {
  std::array<mxArray, NOut> outputs;
  detail::callBody(body, outputs, nargout, inputs, extra...);
  for (std::size_t i = 1; i < NOut; ++i) {
    if (outputSlots[i - 1] != nullptr) *outputSlots[i - 1] = std::move(outputs[i]);
  }
  return std::move(outputs[0]);
}

// The output count of a plain direct form: 1 + the non-null output pointers.
template <std::size_t N>
int countRequested(const std::array<mxArray*, N>& outputSlots) {
  int n = 1;
  for (mxArray* slot : outputSlots) n += slot != nullptr ? 1 : 0;
  return n;
}

}  // namespace ulv
