// The phases of one ulvadern call and the data each hands to the next:
//
//   readArguments     (x, varargin)                       -> Arguments
//   prepare           Arguments                           -> PreparedImage
//   decompose         PreparedImage, levels               -> Decomposition
//   smoothingKernels  ()                                  -> SmoothingKernels
//   estimateMasks     Decomposition                       -> Masks      (+ MAT-files)
//   fuseAndWeight     Masks, DetailStacks, angles, size,
//                     SmoothingKernels, gains, pot        -> DetailStacks (weighted)
//   reconstruct       coarsest, size, DetailStacks, levels -> the 8-bit image
//
// Two pipelines implement the phases that have a fast form: the
// straightforward one composes the runtime's operations step by step, as the
// algorithm reads, and is the reference; the fast one computes the same in
// fused passes over the data. ulvadern chooses one per call.
#pragma once

#include <functional>

#include "denoise/constants.hpp"
#include "gateway/frame.hpp"

namespace ulv::denoise {

// The call's arguments, defaults filled in, checked.
struct Arguments {
  mxArray image;   // x
  mxArray levels;  // N
  mxArray gains;   // mult
  mxArray pot;     // exponent of the mask fusion
};

// The image ready for the transform.
struct PreparedImage {
  mxArray image;      // double(x) + a faint perturbation, with a one-pixel border
  mxArray colourMap;  // gray(255)
};

// A horizontal and a vertical detail stack, page p holding level p.
struct DetailStacks {
  mxArray horizontal;  // ch
  mxArray vertical;    // cv
};

struct Decomposition {
  mxArray size;          // size of the transform's stacks: the bordered image, and levels
  mxArray coarsest;      // the approximation at the coarsest level
  DetailStacks details;  // the detail levels 2 .. levels of the transform, renumbered from 1
                         // (the fast pipeline adds one zero page, for the weighting)
  mxArray angles;        // atan(ch ./ (cv + offset)) on the same levels
};

// The edge probability of every detail coefficient, page p for level p.
struct Masks {
  mxArray horizontal;  // maskh
  mxArray vertical;    // maskv
};

// The four oriented 3-tap kernels of the directional smoothing.
struct SmoothingKernels {
  mxArray m0, m45, m90, m135;
};

// The phases of a pipeline. fuseAndWeight writes, for each level i, the
// weighted details of level i as page i + 1 of the stacks it returns (page 1
// keeps the unweighted finest level, which the inverse transform skips).
struct Pipeline {
  PreparedImage (*prepare)(const Arguments& arguments);
  Decomposition (*decompose)(PreparedImage prepared, const mxArray& levels);
  Masks (*estimateMasks)(const Decomposition& parts);
  DetailStacks (*fuseAndWeight)(Masks masks, DetailStacks details, mxArray angles,
                                const mxArray& size, const SmoothingKernels& kernels,
                                const Arguments& arguments);
  mxArray (*reconstruct)(mxArray coarsest, const mxArray& size, DetailStacks weighted,
                         const mxArray& levels);
};
const Pipeline& straightforwardPipeline();
const Pipeline& fastPipeline();

// ---- steps both pipelines take alike ----------------------------------------------

Arguments readArguments(int nargout, const mxArray* x, const mxArray* varargin);
SmoothingKernels smoothingKernels();

// The forward transform's three stacks and the size of the first.
struct TransformStacks {
  mxArray ca, ch, cv, size;
};
TransformStacks forwardTransform(PreparedImage prepared, const mxArray& levels);

// The number of detail levels that carry masks: levels - 1.
int maskedLevels(const mxArray& size);

// One orientation's mask stack M from its detail stack D; sig carries the
// fitted mixture from one fit to the next (its first element bounds the next
// fit's noise weight).
using OrientationMasks = void (*)(const mxArray& D, const mxArray& size, Var& sig, Var& M);
// Both orientations, vertical first, then the masks file; timed.
Masks estimateMasksWith(const Decomposition& parts, OrientationMasks orientation);

// The same with the orientations' fits, which depend on each other only
// through the order of the random draws, run at the same time: each level's
// sample drawn first in the order above (the draws depend on the sizes
// alone), then the two chains side by side. The same masks and files.
// A chain takes level i's sample from its normalised coefficients v with
// `sample(v, i)`. It finds M given its pages and `scratch` a page-sized
// array to hold v where the caller made them: memory a chain's own thread
// takes would be fresh at every call.
using LevelSample = std::function<mxArray(const mxArray& v, int level)>;
using OrientationChain = void (*)(const mxArray& D, const mxArray& size, const LevelSample& sample,
                                  Var& sig, Var& M, mxArray& scratch);
Masks estimateMasksSideBySide(const Decomposition& parts, OrientationChain chain);

// Both orientations' masks from `orientations` (maskh, maskv), then the masks
// file; timed.
Masks masksWithFile(const std::function<void(Var& maskh, Var& maskv)>& orientations);

// The probability 10000 / (H W) with which a level's sample takes each coefficient.
double sampleThreshold(const mxArray& H, const mxArray& W);

// Saves the sample a fit reads; fits the mixture to it into sig.
void saveSample(const mxArray& sample);
void fitMixture(Var& sig);
// sig(1) = 1 before the first level of an orientation.
void startFits(Var& sig);

// The coarsest level's masks, which are never fused; the stacks are released
// (the powered pages serve the finer levels).
Masks coarsestMasks(Masks masks, int levels);

// Page i + 1 of a weighted detail stack all finite, or a host error naming the gain.
void requireFiniteWeighted(const mxArray& D, const mxArray& gain, int i);

// The inverse transform's first page, of the coarsest level and the weighted details.
mxArray inverseTransform(mxArray coarsest, const mxArray& size, DetailStacks weighted,
                         const mxArray& levels);
// The image without its border, as uint8.
mxArray withoutBorder(const mxArray& y, const mxArray& size);

// ---- timing -----------------------------------------------------------------------

// Wall time spent in each phase of the last call on this thread (seconds),
// and the fits made; for benchmarks and tools.
struct PhaseTimes {
  double prepare = 0, transform = 0, fits = 0, masks = 0, matWrites = 0, fusion = 0,
         reconstruction = 0;
  int fitCount = 0;
  int evaluations = 0;
};
PhaseTimes& phaseTimes();

// Adds the wall time of its scope to one of the phase totals.
class PhaseClock {
 public:
  explicit PhaseClock(double& total);
  ~PhaseClock();
  PhaseClock(const PhaseClock&) = delete;
  PhaseClock& operator=(const PhaseClock&) = delete;

 private:
  double& total_;
  double start_;
};

}  // namespace ulv::denoise
