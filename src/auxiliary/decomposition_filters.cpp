#include "auxiliary/decomposition_filters.hpp"

#include "gateway/callers.hpp"

namespace ulv {

void chooseDecompositionFilters(int nargin, const Var& arg2, const Var& arg3, const mxArray& option,
                                Var& LoF_D, Var& HiF_D) {
  if (nargin == 2) {
    mxArray lowPass, highPass;
    mlfNWfilters(0, {&lowPass, &highPass}, &*arg2, &option);
    LoF_D = std::move(lowPass);
    HiF_D = std::move(highPass);
  } else {
    LoF_D = *arg2;
    HiF_D = *arg3;
  }
}

}  // namespace ulv
