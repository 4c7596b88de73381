// The defaults of ulvadern(x, N, mult, pot): what a call that leaves an
// argument out uses. The library builds its constants from these, and the
// front ends show and pass the same values.
#pragma once

#include <array>

namespace ulv {

// Levels of the wavelet decomposition.
inline constexpr int kDefaultLevels = 3;
// Exponent of the power mean that fuses each level's masks with coarser ones.
inline constexpr double kDefaultPot = 0.3;
// Gains of the weighted details, one per level; five, so that up to five
// levels need no gains of their own.
inline constexpr std::array<double, 5> kDefaultGains = {1, 1, 1, 1, 1};

}  // namespace ulv
