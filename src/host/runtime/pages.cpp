#include "host/runtime/pages.hpp"

#include "host/runtime/ops.hpp"

namespace ulv {

mxArray pageRef(const mxArray& a, const mxArray& k) {
  const mxArray colon = mlfCreateColonIndex();
  return mlfIndexRef(a, "(?,?,?)", {&colon, &colon, &k});
}

void pageAssign(mxArray& target, const mxArray& source, const mxArray& k) {
  const mxArray colon = mlfCreateColonIndex();
  mlfIndexAssign(target, "(?,?,?)", source, {&colon, &colon, &k});
}

}  // namespace ulv
