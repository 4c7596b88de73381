// Conversion between Octave's arrays and plain arrays. MEX side only: every
// mxArray here is Octave's, and this header must never meet the host's.
#pragma once

#include <mex.h>

#include <stdexcept>
#include <string_view>

#include "bridge.hpp"

namespace ulv::adaptor {

// An Octave value that the library has no class for.
class UnsupportedInput : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Input `position` (from 1) of `function`. Numeric classes that the library
// has no tag for become their double values; complex, sparse and other
// classes throw UnsupportedInput.
PlainArray fromOctave(const mxArray* array, std::string_view function, int position);

// A new Octave array; null for an output that the function left unassigned.
mxArray* toOctave(const PlainArray& plain);

}  // namespace ulv::adaptor
