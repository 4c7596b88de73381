// Direct forms of the library's callers of host functions by name. Each
// caller's body (fevalConv, fevalWkeep, ...) passes its inputs to the host's
// call by name and hands back the outputs.
#pragma once

#include <array>
#include <initializer_list>

#include "ulvadern/array.hpp"

namespace ulv {

// conv(x, f), one output.
mxArray mlfConv(const mxArray* x, const mxArray* f);
// wkeep(a, varargin{:}) with an explicit output count.
mxArray mlfNWkeep(int nargout, const mxArray* a, std::initializer_list<const mxArray*> varargin);
// [outputs{:}] = wfilters(name, option): nargout = count + number of outputs.
void mlfNWfilters(int count, std::initializer_list<mxArray*> outputs, const mxArray* name,
                  const mxArray* option);
// gray(n).
mxArray mlfGray(const mxArray* n);
// fmincon(10 named inputs, varargin{:}) with outputs 2..7 through pointers.
mxArray mlfNFmincon(int nargout, const std::array<mxArray*, 6>& outputs,
                    const std::array<const mxArray*, 10>& inputs,
                    std::initializer_list<const mxArray*> varargin);
// errargn(function, nargin, admissible inputs, nargout, admissible outputs).
mxArray mlfErrargn(const mxArray* function, const mxArray* nargin, const mxArray* inputs,
                   const mxArray* nargout, const mxArray* outputs);

// The argument check of a body: errargn(function, nargin, inputs, nargout,
// outputs), and the error `refusal` ("*") when it answers true.
void requireAdmissibleCounts(const mxArray& function, int nargin, const mxArray& inputs,
                             int nargout, const mxArray& outputs, const mxArray& refusal);

}  // namespace ulv
