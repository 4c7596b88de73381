// What the host programs of ours assume of a call of the library's ulvadern.
#pragma once

#include <sched.h>

#include <algorithm>
#include <cstddef>
#include <thread>
#include <vector>

#include "ulvadern/defaults.hpp"
#include "ulvadern/parallel.hpp"

namespace ulvapps {

// 12 levels already need an image of 8191 pixels a side.
inline constexpr int kMaxLevels = 12;

// The library's defaults; more levels than it has default gains need one gain each.
inline constexpr int kDefaultLevels = ulv::kDefaultLevels;
inline constexpr double kDefaultPot = ulv::kDefaultPot;
inline constexpr std::size_t kDefaultGainCount = ulv::kDefaultGains.size();

// Why the front ends take only a fusion exponent pot > 0, although the
// library admits any finite one.
inline constexpr const char* kPotRange =
    "must be > 0: the power mean of the masks is undefined at 0 (its exponent 1/pot is "
    "infinite) and ruled by the weakest mask below 0";

// The threads of a call when none are asked for: the cores this process may
// run on, shared among `processes` (the CLI's workers), at least one each.
// The results are the same for any count.
inline unsigned defaultThreads(unsigned processes = 1) {
  cpu_set_t allowed;
  const unsigned cores = sched_getaffinity(0, sizeof allowed, &allowed) == 0
                             ? static_cast<unsigned>(CPU_COUNT(&allowed))
                             : std::thread::hardware_concurrency();
  return std::clamp(cores / std::max(1u, processes), 1u, ulv::kMaxWorkerThreads);
}

inline std::vector<double> defaultGains(int levels) {
  return std::vector<double>(std::max<std::size_t>(kDefaultGainCount, levels), 1.0);
}

}  // namespace ulvapps
