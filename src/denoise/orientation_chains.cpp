// The two orientations' chains of fits side by side. A level's sample takes
// the coefficients whose uniform draw is at most 10000 / (H W): which ones
// depends on the draws and the sizes, never on the coefficients, so every
// level's positions can be drawn before any fit, in the order a run one
// level after the other draws them. The chains then share nothing but the
// sample file, which the host keeps apart per chain and leaves as the
// horizontal chain's last level wrote it (call_tasks.hpp).
#include <algorithm>
#include <vector>

#include "denoise/fused_steps.hpp"
#include "denoise/phases.hpp"
#include "host/loader/call_tasks.hpp"
#include "host/runtime/ops.hpp"
#include "kernels/stack_pages.hpp"
#include "ulvadern/parallel.hpp"
#include "ulvadern/random.hpp"

namespace ulv::denoise {

namespace {

// Positions (0-based, in column order) of a level's sample.
using SamplePositions = std::vector<std::size_t>;

// Every masked level's positions, finest first.
std::vector<SamplePositions> drawLevels(const mxArray& size) {
  const mxArray H = mclIntArrayRef1(size, 1);
  const mxArray W = mclIntArrayRef1(size, 2);
  const double threshold = sampleThreshold(H, W);
  std::vector<SamplePositions> levels;
  for (int i = 1; i <= maskedLevels(size); ++i) levels.push_back(samplePositions(H, W, threshold));
  return levels;
}

// The phase totals a task adds on its thread, taken off that thread's.
struct TimedTask {
  std::function<void()> work;
  PhaseTimes added;

  void operator()() {
    const PhaseTimes before = phaseTimes();
    work();
    PhaseTimes& now = phaseTimes();
    added = {0,
             0,
             now.fits - before.fits,
             0,
             now.matWrites - before.matWrites,
             0,
             0,
             now.fitCount - before.fitCount,
             now.evaluations - before.evaluations};
    now = before;
  }
};

void addFits(const PhaseTimes& added) {
  PhaseTimes& times = phaseTimes();
  times.fits += added.fits;
  times.matWrites += added.matWrites;
  times.fitCount += added.fitCount;
  times.evaluations += added.evaluations;
}

}  // namespace

Masks estimateMasksSideBySide(const Decomposition& parts, OrientationChain chain) {
  return masksWithFile([&](Var& maskh, Var& maskv) {
    const std::vector<SamplePositions> vertical = drawLevels(parts.size);
    const std::vector<SamplePositions> horizontal = drawLevels(parts.size);
    // The chains' image-sized arrays made here: taken on a chain's thread,
    // they would be fresh memory, page faults and all, at every call.
    const mxArray& details = parts.details.vertical;
    reserveStacks({&maskh, &maskv}, details, static_cast<std::size_t>(maskedLevels(parts.size)),
                  PageFill::ByCaller);
    const auto page = [&] { return mxArray::uninitialized({details.rows(), details.cols()}); };
    mxArray pageV = page(), pageH = page();
    const auto fits = [&](const mxArray& D, const std::vector<SamplePositions>& positions, Var& M,
                          mxArray& scratch) {
      Var sig("sig");
      chain(
          D, parts.size,
          [&](const mxArray& v, int level) { return valuesAt(v, positions[level - 1]); }, sig, M,
          scratch);
    };
    TimedTask first{[&] { fits(parts.details.vertical, vertical, maskv, pageV); }, {}};
    TimedTask second{[&] { fits(parts.details.horizontal, horizontal, maskh, pageH); }, {}};
    runTasksInOrder({std::ref(first), std::ref(second)}, std::max(1u, workerThreads() / 2));
    addFits(first.added);
    addFits(second.added);
  });
}

}  // namespace ulv::denoise
