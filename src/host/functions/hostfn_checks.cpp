#include "host/functions/hostfn_checks.hpp"

#include <cmath>
#include <cstdio>

#include "ulvadern/errors.hpp"

namespace ulv::hostfn {

namespace {

[[noreturn]] void fail(std::string_view function, const std::string& what) {
  hostError(std::string(function) + ": " + what);
}

std::string inputsText(std::size_t n) {
  return std::to_string(n) + (n == 1 ? " input" : " inputs");
}

}  // namespace

void requireInputCount(std::string_view function, const Inputs& in, std::size_t least,
                       std::size_t most) {
  if (in.size() >= least && in.size() <= most) return;
  const std::string expected =
      least == most ? inputsText(least) : std::to_string(least) + " to " + inputsText(most);
  fail(function, "expected " + expected + ", got " + std::to_string(in.size()) + ".");
}

const mxArray& requireNumeric(std::string_view function, const mxArray& a, std::string_view what) {
  if (a.isPlaceholder()) fail(function, std::string(what) + " is unassigned.");
  if (!a.isNumericLike()) fail(function, std::string(what) + " must be numeric, not a cell array.");
  return a;
}

std::string requireText(std::string_view function, const mxArray& a, std::string_view what) {
  if (!a.isChar()) fail(function, std::string(what) + " must be a character string.");
  return a.toString();
}

std::size_t requireCount(std::string_view function, double value, std::string_view what) {
  if (!(value >= 0) || value != std::floor(value) || value > 1e15) {
    fail(function,
         std::string(what) + " must be a whole number >= 0 (got " + numberText(value) + ").");
  }
  return static_cast<std::size_t>(value);
}

std::string numberText(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Inf" : "-Inf";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.15g", value);
  return buffer;
}

}  // namespace ulv::hostfn
