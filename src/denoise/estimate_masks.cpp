// Per level and orientation: a two-component mixture fitted to a random
// sample of the normalised detail coefficients, and from it every
// coefficient's posterior probability of belonging to an edge.
#include <array>

#include "denoise/fused_steps.hpp"
#include "denoise/workspace.hpp"
#include "gateway/callers.hpp"
#include "host/files/matfile.hpp"
#include "host/numerics/minimiser.hpp"
#include "host/runtime/fast_paths.hpp"
#include "host/runtime/ops.hpp"
#include "host/runtime/pages.hpp"
#include "kernels/stack_pages.hpp"
#include "ulvadern/random.hpp"

namespace ulv::denoise {

namespace {

// The fitting temporaries of one level.
struct Fit {
  Var v{"v"}, Mm{"Mm"}, ra{"ra"}, vv{"vv"};
  Var x1{"x1"}, x2{"x2"}, pn{"pn"}, ped{"ped"};
  Var pnoise{"pnoise"}, pedge{"pedge"}, l{"l"};
};

// The sample: each coefficient independently with probability 10000 / (H W).
void drawSample(Workspace& w, Fit& f) {
  const mxArray H = mclIntArrayRef1(*w.s, 1);
  const mxArray W = mclIntArrayRef1(*w.s, 2);
  const mxArray threshold = mclRdivide(mclRdivide(constant(kSampleSize), H), W);
  const bool fused = fastPathsEnabled() && usesFusedSteps({&*f.v}) && f.v->ndims() == 2;
  if (fused && drawsDirectly() && mclEqBool(mlfSize(*f.v), mlfHorzcat({H, W}))) {
    // The draws are used as they come; nothing keeps them.
    f.vv = sampleWhereDrawAtMost(*f.v, threshold.scalarValue());
  } else {
    f.ra = mlfNRand({H, W});
    f.vv = fused && usesFusedSteps({&*f.v, &*f.ra})
               ? sampleWhereAtMost(*f.v, *f.ra, threshold.scalarValue())
               : mclArrayRef1(*f.v, mclLe(*f.ra, threshold));
  }
  {
    PhaseClock clock(phaseTimes().matWrites);
    mlfSave(constant(kSampleFile), mclCreateString("w"), {{"vv", &*f.vv}});
  }
  f.ra.clear();
  f.vv.clear();
}

// sig = fmincon("gaussfit(x(1),x(2),x(3))", [0.1 0.7 0.7], [1 -0.5 0], 0, [], [],
//               [1e-10 1e-10 0.05], [sig(1) 1 0.98])
void fitMixture(Workspace& w) {
  PhaseClock clock(phaseTimes().fits);
  const mxArray upper =
      mlfHorzcat({mclIntArrayRef1(*w.sig, 1), constant(kOne), constant(kWeightUpper)});
  const std::array<const mxArray*, 10> inputs = {&constant(kObjective),
                                                 &constant(kStartPoint),
                                                 &constant(kConstraintRow),
                                                 &constant(kZero),
                                                 &constant(kEmpty),
                                                 &constant(kEmpty),
                                                 &constant(kLowerBounds),
                                                 &upper,
                                                 nullptr,
                                                 nullptr};
  w.sig = mlfNFmincon(1, {}, inputs, {});
  ++phaseTimes().fitCount;
  phaseTimes().evaluations += lastMinimiserEvaluations();
}

// Component value exp(-(v / width)^2) / width at every coefficient.
mxArray component(const mxArray& v, const mxArray& width) {
  return mclMrdivide(mlfExp(mclUminus(mlfPower(mclMrdivide(v, width), constant(kTwo)))), width);
}

// The edge posterior l of every coefficient, stored as page `level` of M.
// In one pass it is written straight into the page when M has it.
void posterior(Workspace& w, Fit& f, Var& M, const mxArray& level) {
  f.x1 = mclIntArrayRef1(*w.sig, 1);
  f.x2 = mclIntArrayRef1(*w.sig, 2);
  f.pn = mclIntArrayRef1(*w.sig, 3);
  f.ped = mclMinus(constant(kOne), *f.pn);
  if (fastPathsEnabled() && usesFusedSteps({&*f.v}) && w.sig->classID() == mxDOUBLE_CLASS) {
    const MixtureParameters p = {f.x1->scalarValue(), f.x2->scalarValue(), f.pn->scalarValue(),
                                 f.ped->scalarValue(), constant(kUnderflowGuard).scalarValue()};
    if (double* page = M.isAssigned() ? writablePage(M.target(), level, *f.v) : nullptr) {
      edgePosterior(*f.v, p, page);
      return;
    }
    mxArray l = mxArray::uninitialized(f.v->dims());
    edgePosterior(*f.v, p, l.mutableData());
    f.l = std::move(l);
  } else {
    f.pnoise = component(*f.v, *f.x1);
    f.pedge = component(*f.v, *f.x2);
    const mxArray edge = mclMtimes(*f.ped, *f.pedge);
    f.l = mclRdivide(
        edge, mclPlus(mclPlus(mclMtimes(*f.pn, *f.pnoise), edge), constant(kUnderflowGuard)));
  }
  setPage(M.target(), *f.l, level);
}

// v = D(:,:,i) scaled to a largest magnitude of 1: Mm = max(max(abs(v))),
// v = v / Mm.
void normalise(const Var& D, int i, Fit& f) {
  if (fastPathsEnabled() && usesFusedSteps({&*D}) && static_cast<std::size_t>(i) <= D->pages()) {
    NormalisedPage page = normalisedPage(*D, static_cast<std::size_t>(i));
    f.Mm = mlfScalar(page.largest);
    f.v = std::move(page.values);
    return;
  }
  f.v = pageRef(*D, mlfScalar(i));
  f.Mm = mlfMax(mlfMax(mlfAbs(*f.v)));
  f.v = mclMrdivide(*f.v, *f.Mm);
}

// One orientation: D is cv or ch, M the mask it produces.
void estimateOrientation(Workspace& w, const Var& D, Var& M) {
  const int levels = static_cast<int>(mclIntArrayRef1(*w.s, 3).scalarValue()) - 1;
  // The mask stack at its full size at once; grown page by page it would be
  // copied whole at every level.
  if (fastPathsEnabled()) reserveStacks({&M}, *D, static_cast<std::size_t>(levels));
  for (int i = 1; i <= levels; ++i) {
    Fit f;
    const mxArray level = mlfScalar(i);
    normalise(D, i, f);
    if (i == 1) mclArrayAssign1(w.sig.target(), constant(kOne), constant(kOne));
    drawSample(w, f);
    fitMixture(w);
    posterior(w, f, M, level);
  }
}

}  // namespace

void estimateMasks(Workspace& w) {
  PhaseTimes& times = phaseTimes();
  const double timedInside = times.fits + times.matWrites;
  double all = 0;
  {
    PhaseClock clock(all);
    estimateOrientation(w, w.cv, w.maskv);
    estimateOrientation(w, w.ch, w.maskh);
    PhaseClock writes(times.matWrites);
    mlfSave(constant(kMaskFile), mclCreateString("w"),
            {{"maskh", &*w.maskh}, {"maskv", &*w.maskv}});
  }
  // Everything but the fits and the file writes: normalisation, sampling, posteriors.
  times.masks += all - (times.fits + times.matWrites - timedInside);
}

}  // namespace ulv::denoise
