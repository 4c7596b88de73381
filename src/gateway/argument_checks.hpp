// Checks of argument values shared by the function bodies. Each raises a
// host error that names the function and the argument and says what it got,
// before the value can reach arithmetic whose result would be meaningless
// (NaN or Inf spreading into an image) or undefined (a level count too large
// for any integer).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "ulvadern/array.hpp"

namespace ulv {

// A value as messages show it: a double scalar's value ("NaN", "-Inf",
// "1.5"), otherwise its size and class ("a 1x3 double array", "a 1x1 uint8
// array").
std::string valueText(const mxArray& value);

// A whole number as messages show it: exactly below 2^53, else rounded
// ("3.68935e+19"), or "Inf".
std::string wholeNumberText(double n);

// N, a number of levels: a real scalar, whole and at least 1. Returns it.
double requireLevelCount(const mxArray& N, std::string_view function);

// The first `count` elements of a numeric array (all of them by default)
// finite; arrays that hold no numbers are left to the operations that use them.
void requireFiniteValues(const mxArray& values, std::string_view function, std::string_view name,
                         std::size_t count = static_cast<std::size_t>(-1));

// Length of a filter of `taps` taps spread 2^(level-1) apart, as the
// transform dilates it for a level: 1 + (taps - 1) * 2^(level - 1). In
// double precision, so that no level count overflows it.
double dilatedLength(double taps, double level);

// Level `levels` of a transform whose low-pass filter has `taps` taps reads
// dilatedLength(taps, levels) samples across each side of its (rows + border)
// x (cols + border) input; refuses an image too small for that.
void requireRoomForLevels(std::string_view function, std::size_t rows, std::size_t cols,
                          std::size_t border, double taps, double levels);

// One level of filtering (lixo, transfwav): finite values in x and the
// filters, and x at least lf = length(LoF_D) samples along `shortest`, its
// shortest filtered side, since the mirror extension takes lf samples from
// each end. `shape` describes x in the message.
void requireFilterable(std::string_view function, const mxArray& x, const mxArray& LoF_D,
                       const mxArray& HiF_D, std::size_t shortest, const std::string& shape);

}  // namespace ulv
