// Steps of the transform written with the runtime's operations, shared by
// the bodies that take them: spreading a filter's taps for a level and the
// mirror extension of an image.
#pragma once

#include "ulvadern/array.hpp"

namespace ulv {

// [start, filter(1), ins, filter(2), ..., ins, filter(taps)]: the first
// `taps` taps of `filter`, numel(ins) zeros between neighbours.
mxArray dilate(const mxArray& start, const mxArray& filter, int taps, const mxArray& ins);

// The index constants 1 and -1 of the module whose body extends.
struct IndexSteps {
  const mxArray& one;
  const mxArray& minusOne;
};

// [x(:, lf:-1:1), x, x(:, cx:-1:cx-lf+1)], then the same with the rows of
// that: x extended by lf samples on every side, border samples repeated.
mxArray mirrorExtend(const mxArray& x, const mxArray& lf, const mxArray& rx, const mxArray& cx,
                     const IndexSteps& steps);

}  // namespace ulv
