// Forward transform of the prepared image, coefficient angles, and the split
// of the stacks into levels (page i = level i).
#include <algorithm>

#include "denoise/fused_steps.hpp"
#include "denoise/workspace.hpp"
#include "host/runtime/fast_paths.hpp"
#include "host/runtime/ops.hpp"
#include "host/runtime/pages.hpp"
#include "transform/maltrans2d.hpp"

namespace ulv::denoise {

namespace {

// The angle of every detail coefficient, atan(ch ./ (cv + offset)), on the
// detail pages 2 .. levels only.
mxArray detailAngles(const Workspace& w, const mxArray& levels, const mxArray& pages) {
  const auto last = static_cast<std::size_t>(levels.scalarValue());
  if (fastPathsEnabled() && usesFusedSteps({&*w.ch, &*w.cv}) && w.ch->pages() == last) {
    return anglesOfPages(*w.ch, *w.cv, constant(kAngleOffset).scalarValue(), 2, last);
  }
  const mxArray ang = mlfAtan(mclRdivide(*w.ch, mclPlus(*w.cv, constant(kAngleOffset))));
  return pageRef(ang, pages);
}

// Pages 2 .. levels of a detail stack. In one pass they come with one more,
// zero page, which the weighting of the coarsest level fills
// (D(:,:,levels+1) = ...): growing the stack then would copy it whole.
mxArray detailPages(const mxArray& stack, const mxArray& levels, const mxArray& pages) {
  const auto last = static_cast<std::size_t>(levels.scalarValue());
  if (!fastPathsEnabled() || !usesFusedSteps({&stack}) || stack.pages() != last || last < 2) {
    return pageRef(stack, pages);
  }
  const std::size_t page = stack.rows() * stack.cols();
  mxArray details = mxArray::uninitialized({stack.rows(), stack.cols(), last});
  double* out = details.mutableData();
  std::copy_n(stack.data() + page, (last - 1) * page, out);
  std::fill_n(out + (last - 1) * page, page, 0.0);
  return details;
}

}  // namespace

void decompose(Workspace& w) {
  PhaseClock clock(phaseTimes().transform);
  mxArray ch, cv;
  w.ca = mlfMaltrans2d(&ch, &cv, &*w.x, &*w.map, &*w.N, nullptr);
  // Nothing reads the prepared image again: release it now rather than at the
  // end of the call, which keeps an image-sized array out of the peak.
  w.x.clear();
  w.ch = std::move(ch);
  w.cv = std::move(cv);
  w.s = mlfSize(*w.ca);
  const mxArray levels = mclIntArrayRef1(*w.s, 3);
  const mxArray pages = mlfColon(constant(kTwo), levels);
  w.ang = detailAngles(w, levels, pages);

  w.ca = pageRef(*w.ca, levels);
  w.ch = detailPages(*w.ch, levels, pages);
  w.cv = detailPages(*w.cv, levels, pages);
}

}  // namespace ulv::denoise
