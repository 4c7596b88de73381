// Conversion between plain arrays and the host's arrays (library side only).
#pragma once

#include "bridge.hpp"
#include "ulvadern/array.hpp"

namespace ulv::adaptor {

mxArray toHostArray(PlainArray&& plain);
PlainArray toPlainArray(const mxArray& array);

}  // namespace ulv::adaptor
