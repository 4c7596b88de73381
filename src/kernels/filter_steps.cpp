#include "kernels/filter_steps.hpp"

#include "host/runtime/ops.hpp"

namespace ulv {

mxArray dilate(const mxArray& start, const mxArray& filter, int taps, const mxArray& ins) {
  mxArray dilated = mlfHorzcat({start, mclIntArrayRef1(filter, 1)});
  for (int m = 2; m <= taps; ++m) dilated = mlfHorzcat({dilated, ins, mclIntArrayRef1(filter, m)});
  return dilated;
}

mxArray mirrorExtend(const mxArray& x, const mxArray& lf, const mxArray& rx, const mxArray& cx,
                     const IndexSteps& steps) {
  const mxArray colon = mlfCreateColonIndex();
  const mxArray leading = mlfColon(lf, steps.minusOne, &steps.one);
  const mxArray lastColumn = mclPlus(mclMinus(cx, lf), steps.one);
  const mxArray trailingColumns = mlfColon(cx, steps.minusOne, &lastColumn);
  const mxArray wide =
      mlfHorzcat({mclArrayRef2(x, colon, leading), x, mclArrayRef2(x, colon, trailingColumns)});
  const mxArray lastRow = mclPlus(mclMinus(rx, lf), steps.one);
  const mxArray trailingRows = mlfColon(rx, steps.minusOne, &lastRow);
  return mlfVertcat(
      {mclArrayRef2(wide, leading, colon), wide, mclArrayRef2(wide, trailingRows, colon)});
}

}  // namespace ulv
