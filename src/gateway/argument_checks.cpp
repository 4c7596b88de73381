#include "gateway/argument_checks.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "host/runtime/ops.hpp"
#include "ulvadern/errors.hpp"

namespace ulv {

namespace {

const char* className(mxClassID cls) {
  switch (cls) {
    case mxCELL_CLASS:
      return "cell";
    case mxLOGICAL_CLASS:
      return "logical";
    case mxCHAR_CLASS:
      return "char";
    case mxDOUBLE_CLASS:
      return "double";
    case mxUINT8_CLASS:
      return "uint8";
    case mxUNKNOWN_CLASS:
      break;
  }
  return "unassigned";
}

// The shortest text that reads back as v, with the host's names for the
// values that are not numbers.
std::string numberText(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v > 0 ? "Inf" : "-Inf";
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, v).ptr;
  return std::string(text, end);
}

bool isNumber(const mxArray& value) {
  return value.isNumericLike() && !value.isChar();
}

}  // namespace

std::string valueText(const mxArray& value) {
  if (value.classID() == mxDOUBLE_CLASS && value.isScalar()) return numberText(value.scalarValue());
  return "a " + dimsText(value.dims()) + " " + className(value.classID()) + " array";
}

std::string wholeNumberText(double n) {
  if (!std::isfinite(n)) return numberText(n);
  if (std::abs(n) < 0x1p53) return std::to_string(static_cast<long long>(n));
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", n);
  return text;
}

double requireLevelCount(const mxArray& N, std::string_view function) {
  const bool scalar = isNumber(N) && N.isScalar();
  const double n = scalar ? N.scalarValue() : 0;
  if (!scalar || !std::isfinite(n) || !(n >= 1) || n != std::floor(n)) {
    hostError(std::string(function) +
              ": N, the number of levels, must be a whole number of at least 1 (got " +
              valueText(N) + ").");
  }
  return n;
}

void requireFiniteValues(const mxArray& values, std::string_view function, std::string_view name,
                         std::size_t count) {
  if (!values.isNumericLike() || values.isEmpty()) return;
  const double* d = values.data();
  const double* end = d + std::min(count, values.numel());
  const double* bad = std::find_if(d, end, [](double v) { return !std::isfinite(v); });
  if (bad == end) return;
  hostError(std::string(function) + ": " + std::string(name) + " contains NaN or Inf values (" +
            std::string(name) + "(" + std::to_string(bad - d + 1) + ") is " + numberText(*bad) +
            ").");
}

double dilatedLength(double taps, double level) {
  return 1 + (taps - 1) * std::exp2(level - 1);
}

void requireRoomForLevels(std::string_view function, std::size_t rows, std::size_t cols,
                          std::size_t border, double taps, double levels) {
  const double needed = dilatedLength(taps, levels) - static_cast<double>(border);
  if (needed <= static_cast<double>(std::min(rows, cols))) return;
  const std::string side = wholeNumberText(needed);
  hostError(std::string(function) + ": " + wholeNumberText(levels) +
            " levels need an image of at least " + side + " x " + side + " pixels; this one is " +
            std::to_string(rows) + " x " + std::to_string(cols) + ".");
}

void requireFilterable(std::string_view function, const mxArray& x, const mxArray& LoF_D,
                       const mxArray& HiF_D, std::size_t shortest, const std::string& shape) {
  requireFiniteValues(x, function, "x");
  requireFiniteValues(LoF_D, function, "LoF_D");
  requireFiniteValues(HiF_D, function, "HiF_D");
  const auto lf = static_cast<std::size_t>(mclLengthInt(LoF_D));
  if (shortest >= lf) return;
  const std::string taps = std::to_string(lf);
  hostError(std::string(function) + ": x (" + shape + ") is too short for the " + taps +
            "-tap low-pass filter LoF_D: its mirror extension takes " + taps +
            " samples from each end.");
}

}  // namespace ulv
