#include "bridge.hpp"

#include <exception>
#include <new>
#include <utility>

#include "host/runtime/printable.hpp"
#include "library_location.hpp"
#include "plain_arrays.hpp"
#include "ulvadern/errors.hpp"
#include "ulvadern/loader.hpp"

namespace ulv::adaptor {

namespace {

// One library per process, whichever MEX file calls first. Held by a plain
// pointer: if Octave exits without unloading the MEX files, the library is
// left to the operating system rather than torn down by static destructors
// that may run after the library's own.
LoadedLibrary* sharedLibrary = nullptr;
int holders = 0;

std::string libraryPath() {
  return ulvapps::configuredLibrary().value_or(ULV_DEFAULT_LIBRARY);
}

LoadedLibrary& library() {
  if (sharedLibrary == nullptr) sharedLibrary = LoadedLibrary::open(libraryPath()).release();
  return *sharedLibrary;
}

// Routes the host's warnings and reports into the outcome for the length of one call.
class NoticeCapture {
 public:
  explicit NoticeCapture(std::vector<Notice>& notices)
      : previousWarning_(setWarningHandler([&notices](std::string_view text) {
          notices.push_back({Notice::Kind::Warning, printable(text)});
        })),
        previousReport_(setReportHandler([&notices](std::string_view text) {
          notices.push_back({Notice::Kind::Report, printable(text)});
        })) {}
  ~NoticeCapture() {
    setWarningHandler(std::move(previousWarning_));
    setReportHandler(std::move(previousReport_));
  }
  NoticeCapture(const NoticeCapture&) = delete;
  NoticeCapture& operator=(const NoticeCapture&) = delete;

 private:
  WarningHandler previousWarning_;
  ReportHandler previousReport_;
};

std::vector<PlainArray> runCall(std::string_view name, int nargout,
                                std::vector<PlainArray> inputs) {
  std::vector<mxArray> hostInputs;
  hostInputs.reserve(inputs.size());
  for (PlainArray& input : inputs) hostInputs.push_back(toHostArray(std::move(input)));
  inputs.clear();
  const std::vector<mxArray> hostOutputs = library().call(std::string(name), nargout, hostInputs);
  std::vector<PlainArray> outputs;
  outputs.reserve(hostOutputs.size());
  for (const mxArray& output : hostOutputs) outputs.push_back(toPlainArray(output));
  return outputs;
}

}  // namespace

CallOutcome callFunction(std::string_view name, int nargout, std::vector<PlainArray> inputs) {
  CallOutcome outcome;
  NoticeCapture capture(outcome.notices);
  try {
    outcome.outputs = runCall(name, nargout, std::move(inputs));
  } catch (const HostError& error) {
    outcome.error = printable(error.what());
  } catch (const std::bad_alloc&) {
    outcome.error = "Out of memory. Type HELP MEMORY for your options.";
  } catch (const std::exception& error) {
    outcome.error = printable(std::string("Internal error: ") + error.what());
  }
  return outcome;
}

void holdLibrary() {
  ++holders;
}

void releaseLibrary() {
  if (holders > 0 && --holders == 0 && sharedLibrary != nullptr) {
    delete std::exchange(sharedLibrary, nullptr);
  }
}

}  // namespace ulv::adaptor
