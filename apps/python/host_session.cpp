#include "host_session.hpp"

#include <stdlib.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>
#include <utility>

#include "denoise_defaults.hpp"
#include "host/files/matfile.hpp"
#include "host/runtime/cancellation.hpp"
#include "host/runtime/printable.hpp"
#include "library_location.hpp"
#include "ulvadern/errors.hpp"
#include "ulvadern/parallel.hpp"
#include "ulvadern/random.hpp"

namespace ulvpy {

namespace fs = std::filesystem;

namespace {

PyObject* hostWarningType = nullptr;

// The notes of the call running on this thread; reports outside a call go
// where they went before the module was loaded.
thread_local CallNotes* reportSink = nullptr;

class ScopedReportSink {
 public:
  explicit ScopedReportSink(CallNotes& notes) : outer_(std::exchange(reportSink, &notes)) {}
  ~ScopedReportSink() { reportSink = outer_; }
  ScopedReportSink(const ScopedReportSink&) = delete;
  ScopedReportSink& operator=(const ScopedReportSink&) = delete;

 private:
  CallNotes* outer_;
};

[[noreturn]] void raiseOSError(const std::string& message) {
  PyErr_SetString(PyExc_OSError, message.c_str());
  throw py::error_already_set();
}

void routeReportsToCalls() {
  auto previous = std::make_shared<ulv::ReportHandler>();
  *previous = ulv::setReportHandler([previous](std::string_view text) {
    if (reportSink != nullptr) {
      reportSink->warnings.emplace_back(text);
    } else if (*previous) {
      (*previous)(text);
    }
  });
}

std::string makePrivateDirectory() {
  std::error_code error;
  const fs::path base = fs::temp_directory_path(error);
  if (error) raiseOSError("no directory for temporary files: " + error.message());
  std::string pattern = (base / "ulvadern-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    raiseOSError("cannot make a work directory in \"" + base.string() +
                 "\": " + std::strerror(errno));
  }
  return pattern;
}

std::string prepareNamedDirectory(const std::string& named) {
  std::error_code error;
  fs::create_directories(named, error);
  const fs::path absolute = error ? fs::path() : fs::absolute(named, error);
  if (error || !fs::is_directory(absolute)) {
    raiseOSError("cannot use \"" + named + "\" as the work directory" +
                 (error ? ": " + error.message() : ": not a directory"));
  }
  return absolute.string();
}

bool onMainThread() {
  const py::module_ threading = py::module_::import("threading");
  return threading.attr("current_thread")().is(threading.attr("main_thread")());
}

// Runs Python's pending signal handlers at the host's steps, with the GIL
// taken for the moment; at most every kInterval, so that other Python threads
// are not held up. A handler that raises stops the call.
class SignalPoll {
 public:
  SignalPoll(ulv::CancelFlag& flag, std::optional<py::error_already_set>& interrupt)
      : flag_(flag), interrupt_(interrupt) {}

  void operator()(std::string_view) {
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < kInterval || flag_.raised()) return;
    last_ = now;
    const py::gil_scoped_acquire held;
    if (PyErr_CheckSignals() == 0) return;
    interrupt_.emplace();
    flag_.raise();
  }

 private:
  static constexpr std::chrono::milliseconds kInterval{50};
  ulv::CancelFlag& flag_;
  std::optional<py::error_already_set>& interrupt_;
  std::chrono::steady_clock::time_point last_{};
};

}  // namespace

std::string libraryPath() {
  return ulvapps::defaultLibrary();
}

ulv::LoadedLibrary& sharedLibrary() {
  // A failed open throws, and the next call tries again.
  static ulv::LoadedLibrary* const library = ulv::LoadedLibrary::open(libraryPath()).release();
  return *library;
}

CallDirectory::CallDirectory(const std::optional<std::string>& named) {
  if (named) {
    path_ = prepareNamedDirectory(*named);
  } else {
    path_ = makePrivateDirectory();
    temporary_ = true;
  }
}

CallDirectory::~CallDirectory() {
  std::error_code ignored;
  if (temporary_) fs::remove_all(path_, ignored);
}

void runIsolated(const std::string& directory, CallNotes& notes,
                 const std::function<void()>& work) {
  ulv::CancelFlag cancel;
  std::optional<ulv::StepWatch> watch;
  if (onMainThread()) watch.emplace(cancel, SignalPoll(cancel, notes.interrupt));
  py::gil_scoped_release released;
  const ulv::ScopedHostDirectory hostDirectory(directory);
  const ulv::ScopedThreadWarnings warnings(
      [&notes](std::string_view text) { notes.warnings.emplace_back(text); });
  const ScopedReportSink reports(notes);
  try {
    work();
  } catch (const ulv::HostError& error) {
    notes.error = error.what();
  }
}

void raiseNotes(const CallNotes& notes) {
  if (notes.interrupt) throw *notes.interrupt;
  // Escaped: the texts may carry bytes from files, and Python wants valid UTF-8.
  for (const std::string& text : notes.warnings) {
    if (PyErr_WarnEx(hostWarningType, ulv::printable(text).c_str(), 1) != 0) {
      throw py::error_already_set();
    }
  }
  if (notes.error) throw ulv::HostError(ulv::printable(*notes.error));
}

void registerHostTypes(py::module_& module) {
  py::register_exception<ulv::HostError>(module, "HostError", PyExc_RuntimeError)
      .attr("__module__") = "ulvadern";
  hostWarningType = PyErr_NewException("ulvadern.HostWarning", PyExc_UserWarning, nullptr);
  if (hostWarningType == nullptr) throw py::error_already_set();
  module.attr("HostWarning") = py::reinterpret_borrow<py::object>(hostWarningType);
  routeReportsToCalls();
}

long long integerFrom(const py::object& value, const char* name) {
  if (py::isinstance<py::bool_>(value) || !PyIndex_Check(value.ptr())) {
    throw py::type_error(std::string(name) + " must be an integer");
  }
  const py::object index = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
  if (!index) throw py::error_already_set();
  int overflow = 0;
  const long long converted = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
  if (overflow != 0) return overflow > 0 ? LLONG_MAX : LLONG_MIN;
  return converted;
}

std::uint64_t seedFrom(const py::object& seed) {
  if (seed.is_none()) return ulv::kDefaultSeed;
  const py::module_ numpy = py::module_::import("numpy");
  if (py::isinstance(seed, numpy.attr("random").attr("Generator"))) {
    // One draw: the Generator advances, as NumPy's functions that take one do.
    const py::object top = py::int_(1).attr("__lshift__")(64);
    return seed.attr("integers")(top, py::arg("dtype") = numpy.attr("uint64"))
        .cast<std::uint64_t>();
  }
  if (py::isinstance<py::bool_>(seed) || !PyIndex_Check(seed.ptr())) {
    throw py::type_error("seed must be None, an integer or a numpy.random.Generator");
  }
  const py::object index = py::reinterpret_steal<py::object>(PyNumber_Index(seed.ptr()));
  if (!index) throw py::error_already_set();
  const unsigned long long converted = PyLong_AsUnsignedLongLong(index.ptr());
  if (converted == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
    PyErr_Clear();
    throw py::value_error("seed must lie in 0 .. 2**64 - 1");
  }
  return converted;
}

unsigned threadCountFrom(const py::object& threads) {
  if (threads.is_none()) return ulvapps::defaultThreads();
  const long long count = integerFrom(threads, "threads");
  if (count == -1) return ulvapps::defaultThreads();
  if (count < 1 || count > ulv::kMaxWorkerThreads) {
    throw py::value_error("threads must lie in 1 .. " + std::to_string(ulv::kMaxWorkerThreads) +
                          ", or be -1 or None for every core");
  }
  return static_cast<unsigned>(count);
}

std::optional<std::string> directoryFrom(const py::object& directory) {
  if (directory.is_none()) return std::nullopt;
  const py::object path = py::module_::import("os").attr("fspath")(directory);
  if (!py::isinstance<py::str>(path)) throw py::type_error("workdir must be a str or os.PathLike");
  std::string text = path.cast<std::string>();
  if (text.empty()) throw py::value_error("workdir must not be empty");
  return text;
}

}  // namespace ulvpy
