#include "ulvadern/errors.hpp"

#include <iostream>
#include <string>

#include "host/runtime/printable.hpp"
#include "ulvadern/array.hpp"

namespace ulv {

namespace {

WarningHandler& warningHandler() {
  static WarningHandler handler = [](std::string_view message) {
    std::cerr << "Warning: " << printable(message) << '\n';
  };
  return handler;
}

ReportHandler& reportHandler() {
  static ReportHandler handler = [](std::string_view message) {
    std::cerr << printable(message) << '\n';
  };
  return handler;
}

thread_local WarningHandler threadWarningHandler;

}  // namespace

ScopedThreadWarnings::ScopedThreadWarnings(WarningHandler handler)
    : previous_(std::move(threadWarningHandler)) {
  threadWarningHandler = std::move(handler);
}

ScopedThreadWarnings::~ScopedThreadWarnings() {
  threadWarningHandler = std::move(previous_);
}

void hostError(const std::string& message) {
  throw HostError(message);
}

void mlfError(const mxArray& message) {
  throw HostError(message.toString());
}

WarningHandler setWarningHandler(WarningHandler handler) {
  WarningHandler previous = std::move(warningHandler());
  warningHandler() = std::move(handler);
  return previous;
}

void hostWarning(std::string_view message) {
  if (threadWarningHandler) {
    threadWarningHandler(message);
  } else if (warningHandler()) {
    warningHandler()(message);
  }
}

ReportHandler setReportHandler(ReportHandler handler) {
  ReportHandler previous = std::move(reportHandler());
  reportHandler() = std::move(handler);
  return previous;
}

void hostReport(std::string_view message) {
  if (reportHandler()) reportHandler()(message);
}

void mclValidateError(VariableKind kind, std::string_view name) {
  const std::string n(name);
  if (kind == VariableKind::Input) hostError("Input argument \"" + n + "\" is undefined.");
  hostError("Variable \"" + n + "\" is undefined.");
}

bool mclUninitWarning(std::string_view name) {
  hostWarning("Variable \"" + std::string(name) +
              "\" is used before it is assigned a value; an empty array is used in its place.");
  return true;
}

void mclValidateOutputWarning(std::string_view output, std::string_view function) {
  hostWarning("One or more output arguments not assigned during call to \"" +
              std::string(function) + "\" (output \"" + std::string(output) + "\").");
}

}  // namespace ulv
