// Conversion between host arrays and libmatio variables (internal to the
// MAT-file code).
#pragma once

#include <memory>
#include <string>

#include "host/files/matio_functions.hpp"
#include "ulvadern/array.hpp"

namespace ulv::matfile {

struct MatVarFree {
  void operator()(matvar_t* var) const { matio::varFree(var); }
};
using MatVarPtr = std::unique_ptr<matvar_t, MatVarFree>;

// A libmatio variable named `name` holding `value`. Double elements are
// referenced, not copied, so `value` must outlive the result. Classes the
// file cannot hold (the placeholder) raise a host error that starts with
// `errorPrefix`.
MatVarPtr toMatVar(const char* name, const mxArray& value, const std::string& errorPrefix);

// The host array of a variable read with its data. Real numeric classes other
// than uint8 become double; logical and char keep their class. Complex,
// sparse, struct and object variables raise a host error starting with
// `errorPrefix`.
mxArray fromMatVar(const matvar_t& var, const std::string& errorPrefix);

}  // namespace ulv::matfile
