// Page access on page stacks: a(:,:,k) read and written through the
// runtime's three-subscript indexing.
#pragma once

#include "ulvadern/array.hpp"

namespace ulv {

// a(:,:,k); k may be a range of pages.
mxArray pageRef(const mxArray& a, const mxArray& k);
// target(:,:,k) = source; grows the stack (zero fill) like any indexed assignment.
void pageAssign(mxArray& target, const mxArray& source, const mxArray& k);

}  // namespace ulv
