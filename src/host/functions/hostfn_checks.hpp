// Argument checks shared by the host functions. Every failure is a host
// error whose message starts with the function's name.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "host/functions/functions.hpp"

namespace ulv::hostfn {

// Refuses a call with fewer than `least` or more than `most` inputs.
void requireInputCount(std::string_view function, const Inputs& in, std::size_t least,
                       std::size_t most);

// A double, uint8, logical or character array; cells and unassigned values
// are refused, naming the argument.
const mxArray& requireNumeric(std::string_view function, const mxArray& a, std::string_view what);

// The text of a character array.
std::string requireText(std::string_view function, const mxArray& a, std::string_view what);

// A whole number >= 0, as a size.
std::size_t requireCount(std::string_view function, double value, std::string_view what);

// 3 -> "3", 2.5 -> "2.5": numbers as a message shows them.
std::string numberText(double value);

}  // namespace ulv::hostfn
