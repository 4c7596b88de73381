// The error path and the warning channel of the host.
//
// An error ends the whole call: it is thrown as HostError and caught only by
// the host (loader, command-line tool, adaptors), which reports the message.
// Everything the call held is released by unwinding, so nothing leaks.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace ulv {

class mxArray;

class HostError : public std::runtime_error {
 public:
  explicit HostError(const std::string& message) : std::runtime_error(message) {}
};

// Raises a host error with the given text.
[[noreturn]] void hostError(const std::string& message);
// Raises a host error whose message is a character array.
[[noreturn]] void mlfError(const mxArray& message);

// Warnings go to the handler the host installs (default: standard error,
// prefixed "Warning: "). Returns the previous handler.
using WarningHandler = std::function<void(std::string_view)>;
WarningHandler setWarningHandler(WarningHandler handler);
void hostWarning(std::string_view message);

// Routes this thread's warnings to `handler` for the scope, ahead of the
// process-wide handler (hosts that run calls on several threads).
class ScopedThreadWarnings {
 public:
  explicit ScopedThreadWarnings(WarningHandler handler);
  ~ScopedThreadWarnings();
  ScopedThreadWarnings(const ScopedThreadWarnings&) = delete;
  ScopedThreadWarnings& operator=(const ScopedThreadWarnings&) = delete;

 private:
  WarningHandler previous_;
};

// Host-side text output (errargn's report); default: standard error.
using ReportHandler = std::function<void(std::string_view)>;
ReportHandler setReportHandler(ReportHandler handler);
void hostReport(std::string_view message);

// Undefined values read by a body. kind 0: an input of the function,
// 1: a local variable. mclUninitWarning answers true: an empty array is used.
enum class VariableKind { Input = 0, Local = 1 };
[[noreturn]] void mclValidateError(VariableKind kind, std::string_view name);
bool mclUninitWarning(std::string_view name);
void mclValidateOutputWarning(std::string_view output, std::string_view function);

}  // namespace ulv
