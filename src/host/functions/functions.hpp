// The host functions the library calls by name. Each takes the number of
// outputs requested and the inputs, and returns its outputs.
#pragma once

#include <vector>

#include "ulvadern/array.hpp"

namespace ulv::hostfn {

using Outputs = std::vector<mxArray>;
using Inputs = std::vector<mxArray>;

// conv(a, b): full 1-D convolution, length m + n - 1, oriented like the longer
// operand (like b when both are equally long).
Outputs conv(int nargout, const Inputs& in);
// wkeep(a, len, "c") / wkeep(a, len) for vectors, wkeep(a, [r c]) for matrices.
Outputs wkeep(int nargout, const Inputs& in);
// wfilters(name) -> [LoD, HiD, LoR, HiR]; wfilters(name, "d") -> [LoD, HiD].
Outputs wfilters(int nargout, const Inputs& in);
// gray(n): n x 3 linear gray colour map.
Outputs gray(int nargout, const Inputs& in);
// errargn(fn, nargin, admissibleIn, nargout, admissibleOut): true when a count
// is not admissible; then reports the problem naming fn.
Outputs errargn(int nargout, const Inputs& in);
// fmincon(fun, x0, A, b, Aeq, beq, lb, ub, ...): see minimiser.hpp.
Outputs fmincon(int nargout, const Inputs& in);

}  // namespace ulv::hostfn
