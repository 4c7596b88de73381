// Steps of the straightforward pipeline that the fast one also takes, where
// an operand is of a class its fused passes do not serve.
#pragma once

#include <vector>

#include "ulvadern/array.hpp"

namespace ulv::denoise {

// mask(:,:,p) .^ pot for p = 1 .. levels, each computed once: a page takes
// part in up to three fusions. None for a single level, which is never fused.
std::vector<mxArray> poweredPages(const mxArray& mask, const mxArray& pot, int levels);

// ((pages{i} + ... + pages{mi}) / (mi - i + 1)) .^ (1 / pot), the sum in page
// order like a sum along the third dimension.
mxArray powerMean(const std::vector<mxArray>& pages, int i, int mi, const mxArray& pot);

}  // namespace ulv::denoise
