#include "denoise/constants.hpp"

#include "denoise/ulvadern.hpp"
#include "gateway/constants.hpp"
#include "ulvadern/defaults.hpp"

namespace ulv::denoise {

namespace {

constexpr double kAdmissibleCounts[] = {1, 2, 3, 4, 5};
constexpr double kStart[] = {0.1, 0.7, 0.7};
constexpr double kConstraint[] = {1, -0.5, 0};
constexpr double kLower[] = {1e-10, 1e-10, 0.05};

constexpr ConstantEntry kConstants[] = {
    {kOutputsMessage, "kOutputsMessage",
     [] { return mclCreateString(countErrorMessage("ulvadern", "outputs", 1)); }},
    {kDefaultLevels, "kDefaultLevels", [] { return mclInitializeDouble(ulv::kDefaultLevels); }},
    {kDefaultPot, "kDefaultPot", [] { return mclInitializeDouble(ulv::kDefaultPot); }},
    {kOne, "kOne", [] { return mclInitializeDouble(1); }},
    {kTwo, "kTwo", [] { return mclInitializeDouble(2); }},
    {kZero, "kZero", [] { return mclInitializeDouble(0); }},
    {kMinusOne, "kMinusOne", [] { return mclInitializeDouble(-1); }},
    {k255, "k255", [] { return mclInitializeDouble(255); }},
    {kPerturbation, "kPerturbation", [] { return mclInitializeDouble(0.001); }},
    {kAngleOffset, "kAngleOffset", [] { return mclInitializeDouble(1e-08); }},
    {kUnderflowGuard, "kUnderflowGuard", [] { return mclInitializeDouble(1e-20); }},
    {kSampleSize, "kSampleSize", [] { return mclInitializeDouble(10000); }},
    {kWeightUpper, "kWeightUpper", [] { return mclInitializeDouble(0.98); }},
    {kSectorHalfWidth, "kSectorHalfWidth", [] { return mclInitializeDouble(0.3927); }},
    {kDiagonalAngle, "kDiagonalAngle", [] { return mclInitializeDouble(0.785398); }},
    {kVerticalAngle, "kVerticalAngle", [] { return mclInitializeDouble(1.178097); }},
    {kDefaultGains, "kDefaultGains",
     [] {
       return mclInitializeDoubleVector(1, ulv::kDefaultGains.size(), ulv::kDefaultGains.data());
     }},
    {kAdmissibleInputs, "kAdmissibleInputs",
     [] { return mclInitializeDoubleVector(1, 5, kAdmissibleCounts); }},
    {kStartPoint, "kStartPoint", [] { return mclInitializeDoubleVector(1, 3, kStart); }},
    {kConstraintRow, "kConstraintRow", [] { return mclInitializeDoubleVector(1, 3, kConstraint); }},
    {kLowerBounds, "kLowerBounds", [] { return mclInitializeDoubleVector(1, 3, kLower); }},
    {kEmpty, "kEmpty", [] { return mclInitializeDoubleVector(0, 0, nullptr); }},
    {kName, "kName", [] { return mclCreateString("ulvadern"); }},
    {kStar, "kStar", [] { return mclCreateString("*"); }},
    {kSampleFile, "kSampleFile", [] { return mclCreateString("minimiza"); }},
    {kObjective, "kObjective", [] { return mclCreateString("gaussfit(x(1),x(2),x(3))"); }},
    {kMaskFile, "kMaskFile", [] { return mclCreateString("mascaras"); }},
    {kSame, "kSame", [] { return mclCreateString("same"); }},
};
static_assert(inEnumeratorOrder(kConstants));

ModuleConstants C("ulvadern", kConstants);

}  // namespace

const mxArray& constant(Constant which) {
  return C[which];
}

}  // namespace ulv::denoise

namespace ulv {

using denoise::C;

void InitializeModule_ulvadern() {
  C.buildAll();
}

void TerminateModule_ulvadern() {
  C.releaseAll();
}

const ModuleConstants& ulvadernConstants() {
  return C;
}

}  // namespace ulv
