// The call's arguments: counts, defaults, and the checks that come before
// anything is computed or written.
#include <cmath>
#include <string>

#include "denoise/phases.hpp"
#include "gateway/argument_checks.hpp"
#include "gateway/callers.hpp"
#include "host/runtime/ops.hpp"
#include "ulvadern/errors.hpp"

namespace ulv::denoise {

namespace {

// The one-pixel border around the image, and the taps of the transform's
// default low-pass filter, which set how many levels an image holds.
constexpr std::size_t kBorder = 2;
constexpr double kLowPassTaps = 5;

mxArray vararginElement(const mxArray& varargin, int k) {
  const mxArray index = mlfScalar(k);
  return mlfIndexRef(varargin, "{?}", {&index});
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
void requireArguments(const Arguments& a) {
  requireImage(a.image);
  const double levels = requireLevelCount(a.levels, "ulvadern");
  requireRoomForLevels("ulvadern", a.image.rows(), a.image.cols(), kBorder, kLowPassTaps, levels);
  requireGains(a.gains, levels);
  requirePot(a.pot);
}

}  // namespace

Arguments readArguments(int nargout, const mxArray* image, const mxArray* vararginCell) {
  PhaseClock clock(phaseTimes().prepare);
  const Var x = Var::input("x", image);
  const Var varargin = Var::input("varargin", vararginCell);
  const int nargin = mclNargin({x.isDefined() ? &*x : nullptr}, &*varargin);

  Arguments a;
  a.levels = constant(kDefaultLevels);
  a.pot = constant(kDefaultPot);
  a.gains = constant(kDefaultGains);

  requireAdmissibleCounts(constant(kName), nargin, constant(kAdmissibleInputs), nargout,
                          constant(kOne), constant(kStar));

  if (nargin > 1) a.levels = vararginElement(*varargin, 1);
  if (nargin > 2) a.gains = vararginElement(*varargin, 2);
  if (nargin > 3) a.pot = vararginElement(*varargin, 3);
  a.image = *x;
  requireArguments(a);
  return a;
}

}  // namespace ulv::denoise
