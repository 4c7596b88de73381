// The constant arrays of ulvadern's module, named by meaning, in creation order.
#pragma once

#include <cstddef>

#include "ulvadern/array.hpp"

namespace ulv::denoise {

enum Constant : std::size_t {
  kOutputsMessage,
  kDefaultLevels,
  kDefaultPot,
  kOne,
  kTwo,
  kZero,
  kMinusOne,
  k255,
  kPerturbation,     // scale of the faint noise added to the image
  kAngleOffset,      // keeps atan(ch ./ cv) finite where cv is 0
  kUnderflowGuard,   // keeps the edge posterior finite where both components vanish
  kSampleSize,       // expected number of coefficients in a fit's sample
  kWeightUpper,      // upper bound of the noise component's weight
  kSectorHalfWidth,  // half the width of a direction sector (pi / 8)
  kDiagonalAngle,    // pi / 4
  kVerticalAngle,    // 3 pi / 8: from here on a direction is vertical
  kDefaultGains,
  kAdmissibleInputs,
  kStartPoint,     // of the mixture fit: noise width, edge width, noise weight
  kConstraintRow,  // noise width - edge width / 2 <= 0
  kLowerBounds,
  kEmpty,
  kName,
  kStar,
  kSampleFile,
  kObjective,
  kMaskFile,
  kSame,
};
const mxArray& constant(Constant which);

}  // namespace ulv::denoise
