// The filters of one level of undecimated filtering (transfwav, lixo).
#pragma once

#include "gateway/frame.hpp"

namespace ulv {

// With two inputs, the decomposition pair of the wavelet that arg2 names
// (wfilters(arg2, option)); otherwise arg2 and arg3 as given.
void chooseDecompositionFilters(int nargin, const Var& arg2, const Var& arg3, const mxArray& option,
                                Var& LoF_D, Var& HiF_D);

}  // namespace ulv
