// What the host programs of ours assume of a call of the library's ulvadern.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace ulvapps {

// 12 levels already need an image of 8191 pixels a side.
inline constexpr int kMaxLevels = 12;

// The library's default gains are five ones; more levels need one gain each.
inline constexpr std::size_t kDefaultGainCount = 5;

inline std::vector<double> defaultGains(int levels) {
  return std::vector<double>(std::max<std::size_t>(kDefaultGainCount, levels), 1.0);
}

}  // namespace ulvapps
