// ulvadern_seed(s): seeds the random generators that the library's functions
// draw from (ulvadern's perturbation and samples), so that a session's
// results can be reproduced; ulvadern_seed() restores the default seed.
#include <mex.h>

#include <cmath>
#include <cstdint>

#include "bridge.hpp"

namespace {

// 2^64: seeds are whole numbers below it.
constexpr double kSeedLimit = 18446744073709551616.0;

bool isSeed(const mxArray* value) {
  if (!mxIsNumeric(value) || mxIsComplex(value) || mxIsSparse(value) ||
      mxGetNumberOfElements(value) != 1) {
    return false;
  }
  const double seed = mxGetScalar(value);
  return seed >= 0 && seed < kSeedLimit && std::floor(seed) == seed;
}

}  // namespace

void mexFunction(int nlhs, mxArray* /*plhs*/[], int nrhs, const mxArray* prhs[]) {
  if (nlhs > 0 || nrhs > 1) {
    mexErrMsgIdAndTxt("ulvadern:count", "takes at most one input (the seed) and gives no output");
  }
  if (nrhs == 1 && !isSeed(prhs[0])) {
    mexErrMsgIdAndTxt("ulvadern:args", "the seed must be a whole number from 0 to 2^64 - 1");
  }
  const std::uint64_t seed =
      nrhs == 1 ? static_cast<std::uint64_t>(mxGetScalar(prhs[0])) : ulv::adaptor::defaultSeed();
  ulv::adaptor::seedGenerators(seed);
}
