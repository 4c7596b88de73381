// One MEX file of the library, built once per function with ULV_FUNCTION
// naming it: Octave's arrays in, the library's host form called through the
// shared bridge, Octave's arrays out. This side sees only Octave's mxArray;
// the bridge alone sees the host's.
#include <mex.h>

#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bridge.hpp"
#include "octave_arrays.hpp"

#ifndef ULV_FUNCTION
#error "Define ULV_FUNCTION as the name of the library function this MEX file calls."
#endif
#define ULV_STRINGIFY_NAME(name) #name
#define ULV_NAME_OF(name) ULV_STRINGIFY_NAME(name)

namespace {

using ulv::adaptor::CallOutcome;
using ulv::adaptor::Notice;
using ulv::adaptor::PlainArray;

const char* const kFunctionName = ULV_NAME_OF(ULV_FUNCTION);

// A message to raise once every C++ object of the call is gone: raising an
// Octave error leaves this function without running our destructors on some
// hosts. The texts live in mxMalloc memory, which Octave frees after the call.
enum class MessageKind { Report, Warning, Error };
struct PendingMessage {
  MessageKind kind;
  const char* id;
  char* text;
};
struct PendingMessages {
  PendingMessage* items = nullptr;
  std::size_t count = 0;
};

char* octaveCopy(const std::string& text) {
  auto* copy = static_cast<char*>(mxMalloc(text.size() + 1));
  text.copy(copy, text.size());
  copy[text.size()] = '\0';
  return copy;
}

PendingMessages pendingMessages(const std::vector<Notice>& notices, const std::string& errorId,
                                const std::string* error) {
  PendingMessages pending;
  const std::size_t count = notices.size() + (error != nullptr ? 1 : 0);
  if (count == 0) return pending;
  pending.items = static_cast<PendingMessage*>(mxMalloc(count * sizeof(PendingMessage)));
  for (const Notice& notice : notices) {
    const bool warning = notice.kind == Notice::Kind::Warning;
    pending.items[pending.count++] = {warning ? MessageKind::Warning : MessageKind::Report,
                                      "ulvadern:warning", octaveCopy(notice.text)};
  }
  if (error != nullptr) {
    pending.items[pending.count++] = {MessageKind::Error, octaveCopy(errorId), octaveCopy(*error)};
  }
  return pending;
}

CallOutcome callThroughBridge(int nlhs, int nrhs, const mxArray* prhs[]) {
  std::vector<PlainArray> inputs;
  inputs.reserve(static_cast<std::size_t>(nrhs));
  for (int k = 0; k < nrhs; ++k) {
    inputs.push_back(ulv::adaptor::fromOctave(prhs[k], kFunctionName, k + 1));
  }
  return ulv::adaptor::callFunction(kFunctionName, nlhs, std::move(inputs));
}

// Fills plhs on success; returns what remains to be said to Octave.
PendingMessages callLibrary(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  try {
    const CallOutcome outcome = callThroughBridge(nlhs, nrhs, prhs);
    if (!outcome.error) {
      for (std::size_t k = 0; k < outcome.outputs.size(); ++k) {
        plhs[k] = ulv::adaptor::toOctave(outcome.outputs[k]);
      }
    }
    return pendingMessages(
        outcome.notices, std::string("ulvadern:") + ulv::adaptor::errorKindName(outcome.errorKind),
        outcome.error ? &*outcome.error : nullptr);
  } catch (const ulv::adaptor::UnsupportedInput& refusal) {
    const std::string text = refusal.what();
    return pendingMessages({}, "ulvadern:input", &text);
  } catch (const std::bad_alloc&) {
    const std::string text = "Out of memory. Type HELP MEMORY for your options.";
    return pendingMessages({}, "ulvadern:memory", &text);
  }
}

void raise(const PendingMessage& message) {
  switch (message.kind) {
    case MessageKind::Report:
      mexPrintf("%s\n", message.text);
      break;
    case MessageKind::Warning:
      mexWarnMsgIdAndTxt(message.id, "%s", message.text);
      break;
    case MessageKind::Error:
      mexErrMsgIdAndTxt(message.id, "%s", message.text);
      break;
  }
}

void letGoOfLibrary() {
  ulv::adaptor::releaseLibrary();
}

// The first call of this MEX file holds the shared library until Octave
// unloads the file (clear, or exit).
void holdLibraryOnce() {
  static bool held = false;
  if (held) return;
  held = true;
  ulv::adaptor::holdLibrary();
  mexAtExit(letGoOfLibrary);
}

// ulvadern takes gray levels 0..255; an image (a matrix, not a scalar) of
// Octave's im2double kind, all in [0, 1], would come back flat. The call
// still goes ahead: the result is the library's.
void warnOfUnitRange(int nrhs, const mxArray* prhs[]) {
  if (std::string_view(kFunctionName) != "ulvadern" || nrhs < 1 || !mxIsDouble(prhs[0]) ||
      mxIsComplex(prhs[0]) || mxIsSparse(prhs[0]) || mxGetM(prhs[0]) < 2 || mxGetN(prhs[0]) < 2) {
    return;
  }
  const double* values = mxGetPr(prhs[0]);
  const std::size_t count = mxGetNumberOfElements(prhs[0]);
  for (std::size_t k = 0; k < count; ++k) {
    if (!(values[k] >= 0 && values[k] <= 1)) return;
  }
  mexWarnMsgIdAndTxt(
      "ulvadern:range",
      "the image's values all lie in [0, 1], but ulvadern takes gray levels "
      "0..255 (an im2double image gives a flat result): pass 255 * x or im2uint8(x)");
}

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  // First, while no object of ours is alive: a warning made an error
  // leaves this function at once.
  warnOfUnitRange(nrhs, prhs);
  holdLibraryOnce();
  const PendingMessages pending = callLibrary(nlhs, plhs, nrhs, prhs);
  for (std::size_t k = 0; k < pending.count; ++k) raise(pending.items[k]);
}
