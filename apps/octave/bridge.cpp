#include "bridge.hpp"

#include <exception>
#include <new>
#include <utility>

#include "host/runtime/printable.hpp"
#include "library_location.hpp"
#include "plain_arrays.hpp"
#include "ulvadern/errors.hpp"
#include "ulvadern/loader.hpp"
#include "ulvadern/random.hpp"

namespace ulv::adaptor {

namespace {

// One library per process, whichever MEX file calls first. Held by a plain
// pointer: if Octave exits without unloading the MEX files, the library is
// left to the operating system rather than torn down by static destructors
// that may run after the library's own.
LoadedLibrary* sharedLibrary = nullptr;
int holders = 0;

std::string libraryPath() {
  return ulvapps::defaultLibrary();
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

// The library refuses a call with too many inputs or outputs with a
// "declared number" message; errargn refuses other counts with the bare
// message "*", after reporting each reason.
bool isCountError(const std::string& message) {
  return message == "*" || message.find("declared number of") != std::string::npos;
}

bool isFileError(const std::string& message) {
  for (const char* start :
       {"Unable to read file", "Unable to write file", "Unable to read variable",
        "Cannot lock the work directory", "The file name", "No variable to load"}) {
    if (message.starts_with(start)) return true;
  }
  return false;
}

// Octave puts "NAME: " before the messages of MEX file NAME itself.
std::string withoutPrefix(const std::string& text, std::string_view name) {
  const std::string prefix = std::string(name) + ": ";
  return text.starts_with(prefix) ? text.substr(prefix.size()) : text;
}

// A "*" refusal says why in the reports before it: those become the message,
// so that it reaches a catch block and lasterr, not only the console.
void foldCountReasons(CallOutcome& outcome, std::string_view name) {
  if (outcome.error != "*") return;
  std::string reasons;
  std::vector<Notice> kept;
  for (Notice& notice : outcome.notices) {
    if (notice.kind == Notice::Kind::Report) {
      if (!reasons.empty()) reasons.push_back(' ');
      reasons.append(withoutPrefix(notice.text, name));
    } else {
      kept.push_back(std::move(notice));
    }
  }
  if (reasons.empty()) return;
  outcome.error = reasons;
  outcome.notices = std::move(kept);
}

}  // namespace

const char* errorKindName(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::Count:
      return "count";
    case ErrorKind::Args:
      return "args";
    case ErrorKind::File:
      return "file";
    case ErrorKind::Memory:
      return "memory";
    case ErrorKind::Internal:
      break;
  }
  return "internal";
}

void seedGenerators(std::uint64_t seed) {
  seedRandom(seed);
}

std::uint64_t defaultSeed() {
  return kDefaultSeed;
}

CallOutcome callFunction(std::string_view name, int nargout, std::vector<PlainArray> inputs) {
  CallOutcome outcome;
  NoticeCapture capture(outcome.notices);
  try {
    outcome.outputs = runCall(name, nargout, std::move(inputs));
  } catch (const HostError& error) {
    const std::string message = error.what();
    outcome.errorKind = isCountError(message)  ? ErrorKind::Count
                        : isFileError(message) ? ErrorKind::File
                                               : ErrorKind::Args;
    outcome.error = withoutPrefix(printable(message), name);
    foldCountReasons(outcome, name);
  } catch (const std::bad_alloc&) {
    outcome.errorKind = ErrorKind::Memory;
    outcome.error = "Out of memory. Type HELP MEMORY for your options.";
  } catch (const std::exception& error) {
    outcome.errorKind = ErrorKind::Internal;
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
