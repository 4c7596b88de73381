// Arguments, defaults, the faint perturbation, the one-pixel border and the
// colour map handed to the forward transform.
#include <algorithm>
#include <cmath>
#include <string>

#include "denoise/workspace.hpp"
#include "gateway/callers.hpp"
#include "host/errors.hpp"
#include "host/fast_paths.hpp"
#include "host/ops.hpp"
#include "host/random.hpp"

namespace ulv::denoise {

namespace {

mxArray vararginElement(const Workspace& w, int k) {
  const mxArray index = mlfScalar(k);
  return mlfIndexRef(*w.varargin, "{?}", {&index});
}

// A real 2-D image of finite values: anything else would come out scrambled
// or poison the fits silently.
void requireImage(const mxArray& x) {
  if (!x.isNumericLike() || x.ndims() != 2) {
    hostError("ulvadern: the image must be a real 2-D numeric matrix (got " +
              std::string(x.isCell() ? "a cell array" : "an array of size " + dimsText(x.dims())) +
              "); denoise colour images one channel at a time.");
  }
  if (x.isEmpty()) hostError("ulvadern: the image is empty.");
  const double* d = x.data();
  for (std::size_t k = 0; k < x.numel(); ++k) {
    if (!std::isfinite(d[k])) hostError("ulvadern: the image contains NaN or Inf values.");
  }
}

// N a whole number >= 1 and at least N gains: otherwise the call would end
// deep inside the transform or the weighting with a bare index error.
void requireLevelsAndGains(const mxArray& N, const mxArray& mult) {
  const bool scalar = N.isNumericLike() && N.isScalar();
  const double n = scalar ? N.scalarValue() : 0;
  if (!scalar || !(n >= 1) || n != std::floor(n)) {
    hostError("ulvadern: N, the number of levels, must be a whole number of at least 1.");
  }
  if (!mult.isNumericLike() || static_cast<double>(mult.numel()) < n) {
    hostError("ulvadern: mult must hold a gain for each of the " + std::to_string(int(n)) +
              " levels (it has " + std::to_string(mult.isCell() ? 0 : mult.numel()) +
              " elements).");
  }
}

// double(x) + scale * noise with its first and last rows, then its first and
// last columns, repeated around it (the one-pixel border), in one pass: the
// same values as the composed operations, to the bit.
mxArray perturbedWithBorder(const mxArray& x, double scale, const mxArray& noise) {
  const std::size_t rows = x.rows(), cols = x.cols(), outRows = rows + 2;
  mxArray out = mxArray::uninitialized({outRows, cols + 2});
  double* o = out.mutableData();
  for (std::size_t c = 0; c < cols; ++c) {
    const double* in = x.data() + c * rows;
    const double* n = noise.data() + c * rows;
    double* column = o + (c + 1) * outRows;
    for (std::size_t r = 0; r < rows; ++r) column[r + 1] = in[r] + scale * n[r];
    column[0] = column[1];
    column[rows + 1] = column[rows];
  }
  std::copy_n(o + outRows, outRows, o);
  std::copy_n(o + cols * outRows, outRows, o + (cols + 1) * outRows);
  return out;
}

}  // namespace

void prepareInput(Workspace& w) {
  PhaseClock clock(phaseTimes().prepare);
  const int nargin = mclNargin({w.x.isDefined() ? &*w.x : nullptr}, &*w.varargin);

  w.N = constant(kThree);
  w.pot = constant(kPotDefault);
  w.mult = constant(kDefaultGains);

  requireAdmissibleCounts(constant(kName), nargin, constant(kAdmissibleInputs), w.nargout,
                          constant(kOne), constant(kStar));

  if (nargin > 1) w.N = vararginElement(w, 1);
  if (nargin > 2) w.mult = vararginElement(w, 2);
  if (nargin > 3) w.pot = vararginElement(w, 3);
  requireImage(*w.x);
  requireLevelsAndGains(*w.N, *w.mult);

  const mxArray noise = mlfNRandn({mlfSize(*w.x)});
  if (fastPathsEnabled() && noise.classID() == mxDOUBLE_CLASS && noise.dims() == w.x->dims()) {
    w.s = mlfSize(*w.x);
    w.x = perturbedWithBorder(*w.x, constant(kPerturbation).scalarValue(), noise);
  } else {
    w.x = mclPlus(mlfDouble(*w.x), mclMtimes(constant(kPerturbation), noise));
    w.s = mlfSize(*w.x);
    const mxArray colon = mlfCreateColonIndex();
    const mxArray lastRow = mclIntArrayRef1(*w.s, 1);
    w.x = mlfVertcat(
        {mclArrayRef2(*w.x, constant(kOne), colon), *w.x, mclArrayRef2(*w.x, lastRow, colon)});
    const mxArray lastColumn = mclIntArrayRef1(*w.s, 2);
    w.x = mlfHorzcat(
        {mclArrayRef2(*w.x, colon, constant(kOne)), *w.x, mclArrayRef2(*w.x, colon, lastColumn)});
  }

  w.map = mlfGray(&constant(k255));
}

}  // namespace ulv::denoise
