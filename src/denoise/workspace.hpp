// The working variables that the phases of one ulvadern call share, and the
// phases themselves, run in this order: prepareInput, decompose,
// buildSmoothingKernels, estimateMasks, fuseAndWeight, reconstruct.
#pragma once

#include <cstddef>

#include "denoise/constants.hpp"
#include "gateway/frame.hpp"

namespace ulv::denoise {

struct Workspace {
  explicit Workspace(int nargoutRequested, const mxArray* image, const mxArray* vararginCell)
      : nargout(nargoutRequested),
        x(Var::input("x", image)),
        varargin(Var::input("varargin", vararginCell)) {}

  int nargout;
  Var x;
  Var varargin;
  Var N{"N"}, mult{"mult"}, pot{"pot"};
  Var s{"s"}, map{"map"};
  Var ca{"ca"}, ch{"ch"}, cv{"cv"}, ang{"ang"};
  Var maskv{"maskv"}, maskh{"maskh"}, sig{"sig"};
  Var dim{"dim"}, t{"t"}, m0{"m0"}, m45{"m45"}, m90{"m90"}, m135{"m135"};
  Var y{"y"};
};

void prepareInput(Workspace& w);           // arguments, perturbation, border, colour map
void decompose(Workspace& w);              // forward transform, angles, level split
void buildSmoothingKernels(Workspace& w);  // the four oriented 3-tap kernels
void estimateMasks(Workspace& w);          // mixture fits and edge-probability masks
void fuseAndWeight(Workspace& w);          // mask fusion, directional smoothing, weighting
void reconstruct(Workspace& w);            // inverse transform and 8-bit output

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
