// Where a long run of uniform draws falls at or below a threshold, found
// without keeping the draws: the sampling v(rand(size(v)) <= threshold) of
// the denoiser's fits, over millions of coefficients.
#pragma once

#include <cstddef>
#include <vector>

#include "host/numerics/xoshiro.hpp"

namespace ulv::xoshiro {

// The positions k < n, in order, at which the k-th uniform from `s` is at
// most `threshold`. Long runs are cut into parts made side by side, in
// vector lanes and on the worker threads, each part from the state the
// sequence has at its start: the values are those of one engine in turn.
std::vector<std::size_t> positionsAtMost(const State& s, std::size_t n, double threshold);

}  // namespace ulv::xoshiro
