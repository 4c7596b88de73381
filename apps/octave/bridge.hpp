// The meeting point of the MEX files and the library's host. Octave's C type
// mxArray and our ulv::mxArray must never meet in one translation unit, so
// arrays cross here as plain values: a class, sizes and column-major elements.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ulv::adaptor {

// Unassigned: an output that the function left as the placeholder.
enum class PlainClass { Double, Uint8, Logical, Char, Cell, Unassigned };

struct PlainArray {
  PlainClass cls = PlainClass::Double;
  std::vector<std::size_t> dims{0, 0};
  std::vector<double> values;     // elements, unless a cell
  std::vector<PlainArray> cells;  // elements of a cell
};

// What the library said during a call, in order.
struct Notice {
  enum class Kind { Warning, Report } kind;
  std::string text;
};

// What kind of failure ended a call, for Octave's error identifiers
// ("ulvadern:count", ...).
enum class ErrorKind { Count, Args, File, Memory, Internal };

struct CallOutcome {
  std::vector<PlainArray> outputs;  // max(nargout, 1) on success
  std::vector<Notice> notices;
  std::optional<std::string> error;  // the library's message when the call failed
  ErrorKind errorKind = ErrorKind::Args;
};

// "count", "args", ...: the last part of the identifier.
[[gnu::visibility("default")]] const char* errorKindName(ErrorKind kind);

// Calls a function of the library by name through its host form. The library
// is opened on first use (ULVADERN_LIBRARY, else the one built alongside) and
// shared by every caller in the process; errors come back in the outcome.
[[gnu::visibility("default")]] CallOutcome callFunction(std::string_view name, int nargout,
                                                        std::vector<PlainArray> inputs);

// Seeds the generators that the library's calls on this thread draw from,
// as the host seeds them before each call of the other front ends.
[[gnu::visibility("default")]] void seedGenerators(std::uint64_t seed);
[[gnu::visibility("default")]] std::uint64_t defaultSeed();

// Each MEX file holds the library while Octave keeps it loaded; the last one
// to let go runs the terminators and closes the library.
[[gnu::visibility("default")]] void holdLibrary();
[[gnu::visibility("default")]] void releaseLibrary();

}  // namespace ulv::adaptor
