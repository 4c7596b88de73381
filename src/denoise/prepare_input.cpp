// Arguments, defaults, the faint perturbation, the one-pixel border and the
// colour map handed to the forward transform.
#include <algorithm>
#include <cmath>
#include <string>

#include "denoise/workspace.hpp"
#include "gateway/argument_checks.hpp"
#include "gateway/callers.hpp"
#include "host/runtime/fast_paths.hpp"
#include "host/runtime/ops.hpp"
#include "ulvadern/errors.hpp"
#include "ulvadern/random.hpp"

namespace ulv::denoise {

namespace {

// The one-pixel border around the image, and the taps of the transform's
// default low-pass filter, which set how many levels an image holds.
constexpr std::size_t kBorder = 2;
constexpr double kLowPassTaps = 5;

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
  requireFiniteValues(x, "ulvadern", "x");
}

// Gains and exponent are numbers the weighting multiplies by: double, or
// logical (0 and 1). Text, or uint8 (which would round and saturate the
// weighted coefficients to 0..255), gives no meaningful image.
bool isRealNumber(const mxArray& value) {
  return value.classID() == mxDOUBLE_CLASS || value.classID() == mxLOGICAL_CLASS;
}

// A gain for each of the `levels` levels, all finite: otherwise the call
// would end in the weighting with a bare index error, or return black.
void requireGains(const mxArray& mult, double levels) {
  if (!isRealNumber(mult) || !mult.isVector() || static_cast<double>(mult.numel()) < levels) {
    hostError("ulvadern: mult must be a real vector with a gain for each of the " +
              wholeNumberText(levels) + " levels (got " + valueText(mult) + ").");
  }
  requireFiniteValues(mult, "ulvadern", "mult", static_cast<std::size_t>(levels));
}

// pot 0 is admitted: its fusion is defined (every fused mask is 1).
void requirePot(const mxArray& pot) {
  if (!isRealNumber(pot) || !pot.isScalar() || !std::isfinite(pot.scalarValue())) {
    hostError("ulvadern: pot, the exponent of the mask fusion, must be a finite real scalar (got " +
              valueText(pot) + ").");
  }
}

// The arguments, checked before anything is computed or written.
void requireArguments(const Workspace& w) {
  requireImage(*w.x);
  const double levels = requireLevelCount(*w.N, "ulvadern");
  requireRoomForLevels("ulvadern", w.x->rows(), w.x->cols(), kBorder, kLowPassTaps, levels);
  requireGains(*w.mult, levels);
  requirePot(*w.pot);
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

  w.N = constant(kDefaultLevels);
  w.pot = constant(kDefaultPot);
  w.mult = constant(kDefaultGains);

  requireAdmissibleCounts(constant(kName), nargin, constant(kAdmissibleInputs), w.nargout,
                          constant(kOne), constant(kStar));

  if (nargin > 1) w.N = vararginElement(w, 1);
  if (nargin > 2) w.mult = vararginElement(w, 2);
  if (nargin > 3) w.pot = vararginElement(w, 3);
  requireArguments(w);

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
