// Reconstruction with the inverse transform, clipping, removal of the border
// and conversion to the 8-bit result.
#include "denoise/workspace.hpp"
#include "host/runtime/fast_paths.hpp"
#include "host/runtime/ops.hpp"
#include "host/runtime/pages.hpp"
#include "transform/invmaltrans2d.hpp"

namespace ulv::denoise {

void reconstruct(Workspace& w) {
  PhaseClock clock(phaseTimes().reconstruction);
  const mxArray levels = mclIntArrayRef1(*w.s, 3);
  const mxArray coarsest = *w.ca;
  pageAssign(w.ca.target(), coarsest, levels);

  w.y = mlfInvmaltrans2d(&*w.ca, &*w.ch, &*w.cv, &*w.N, nullptr);
  w.y = pageRef(*w.y, constant(kOne));

  // The inverse transform's 8-bit result lies in 0..255 already: clipping it
  // changes nothing, and the fast path skips it.
  if (!fastPathsEnabled() || w.y->classID() != mxUINT8_CLASS) {
    mclArrayAssign1(w.y.target(), constant(kZero), mclLt(*w.y, constant(kZero)));
    mclArrayAssign1(w.y.target(), constant(k255), mclGt(*w.y, constant(k255)));
  }

  const mxArray rows = mlfColon(constant(kTwo), mclMinus(mclIntArrayRef1(*w.s, 1), constant(kOne)));
  const mxArray columns =
      mlfColon(constant(kTwo), mclMinus(mclIntArrayRef1(*w.s, 2), constant(kOne)));
  w.y = mclArrayRef2(*w.y, rows, columns);

  w.ca.clear();
  w.ch.clear();
  w.cv.clear();
  w.y = mlfUint8(*w.y);
}

}  // namespace ulv::denoise
