// The module's side of the host: one library per process, and calls run
// apart from one another so that Python threads may call at the same time.
//
// The library exchanges data through fixed MAT-file names in its current
// directory, and the runtime's random source, warnings and call state belong
// to the calling thread. A call therefore gets its own directory (a private
// temporary one unless the caller names one; calls sharing a named one take
// turns, through the host's work directory lock), its own warning sink, and
// runs with the GIL released.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ulvadern/loader.hpp"

namespace ulvpy {

namespace py = pybind11;

// Where the library is loaded from: $ULVADERN_LIBRARY, else the one built
// alongside the module.
std::string libraryPath();
// Opened (and initialised) on first use, with the GIL held; never closed, so
// that no thread can find it gone.
ulv::LoadedLibrary& sharedLibrary();

// The directory a call's MAT-files go to: the named one (created when
// missing) or a new private one that is removed with this object.
class CallDirectory {
 public:
  explicit CallDirectory(const std::optional<std::string>& named);
  ~CallDirectory();
  CallDirectory(const CallDirectory&) = delete;
  CallDirectory& operator=(const CallDirectory&) = delete;

  const std::string& path() const { return path_; }
  // A private one, whose files nobody looks at.
  bool temporary() const { return temporary_; }

 private:
  std::string path_;
  bool temporary_ = false;
};

// What a call said besides its results: warnings and reports in order, the
// library's message when it failed, and the exception of a signal handler
// (KeyboardInterrupt) that stopped it.
struct CallNotes {
  std::vector<std::string> warnings;
  std::optional<std::string> error;
  std::optional<py::error_already_set> interrupt;
};

// Runs `work` with the GIL released, `directory` as the library's current
// directory and this thread's warnings and reports collected into `notes`.
// A host error ends the work and is kept in `notes.error`; anything else
// propagates. `work` must not touch Python objects. On the main thread,
// Python's signal handlers run at the host's step boundaries (a few times a
// second at most): one that raises (Ctrl-C) stops the call there, and its
// exception is kept in `notes.interrupt`.
void runIsolated(const std::string& directory, CallNotes& notes, const std::function<void()>& work);

// With the GIL held: the interrupt, if any, as it was raised; else the
// notes' warnings as Python warnings (category HostWarning), then the error,
// if any, as HostError.
void raiseNotes(const CallNotes& notes);

// Registers HostError and HostWarning in the module and routes the host's
// reports into the calls that make them.
void registerHostTypes(py::module_& module);

// An integer argument (int or anything with __index__, not bool); values
// beyond long long come back as its limits.
long long integerFrom(const py::object& value, const char* name);
// A seed argument: None gives the host's default seed.
std::uint64_t seedFrom(const py::object& seed);
// A thread count: 1 .. kMaxWorkerThreads, or -1 or None for every core.
unsigned threadCountFrom(const py::object& threads);
// A directory argument: None, str or os.PathLike.
std::optional<std::string> directoryFrom(const py::object& directory);

}  // namespace ulvpy
