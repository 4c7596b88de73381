// The minimiser runs NLopt's SLSQP in variables scaled to their bound widths
// (z in [0, 1] for a variable bounded on both sides), so that the quasi-Newton
// model starts well conditioned whatever the units. Variables whose bounds
// coincide are held fixed and left out of the iteration.
#include "host/numerics/minimiser.hpp"

#include <nlopt.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <memory>
#include <string>

#include "host/numerics/minimiser_space.hpp"
#include "ulvadern/errors.hpp"

namespace ulv {

namespace {

// Difference steps balance truncation against rounding: about the cube root
// of the machine epsilon for central differences, its square root for
// forward ones, relative to the variable's size.
const double kCentralStep = std::cbrt(std::numeric_limits<double>::epsilon());
const double kForwardStep = std::sqrt(std::numeric_limits<double>::epsilon());
// Near zero a variable's step stops shrinking at this fraction of its scale.
constexpr double kTypicalFraction = 1e-6;
// The tolerances of the projection onto the feasible set.
constexpr double kProjectionTolerance = 1e-15;
// The largest first step, as a fraction of the bound widths.
constexpr double kFirstStep = 0.1;
// Safety bound only: a three-parameter fit typically takes 150 to 450.
constexpr int kMaxEvaluations = 3000;

thread_local int lastEvaluationCount = 0;
thread_local MinimiserSettings currentSettings;

using Optimizer = std::unique_ptr<nlopt_opt_s, decltype(&nlopt_destroy)>;

// The objective seen by NLopt: counts evaluations, supplies difference
// gradients and carries an exception of the objective past NLopt's C code.
struct Evaluator {
  Evaluator(const ScaledSpace& s, const std::function<double(const std::vector<double>&)>& f)
      : space(s), objective(f) {}

  const ScaledSpace& space;
  const std::function<double(const std::vector<double>&)>& objective;
  nlopt_opt optimizer = nullptr;
  int evaluations = 0;
  bool limitReached = false;
  std::exception_ptr failure;
  // NLopt sees the objective divided by this power of two, chosen at the
  // start point so that SLSQP's first quasi-Newton step (identity Hessian)
  // moves no variable by more than kFirstStep of its bound width; without it
  // the first steps of a steep objective overshoot to the bounds.
  double valueScale = 0;
  // The value at the previous iterate, and whether the final approach (central
  // differences from then on) has begun.
  double previousIterateValue = HUGE_VAL;
  bool finalApproach = false;

  // Forward differences cost one probe per variable, but their truncation
  // error would decide where the iteration settles; central differences take
  // over once an iteration changes the objective by less than the settings'
  // threshold.
  bool useCentralDifferences(double fz, bool atIterate) {
    const double threshold = currentSettings.forwardDifferencesUntil;
    if (atIterate && std::abs(previousIterateValue - fz) <= threshold * std::abs(fz)) {
      finalApproach = true;
    }
    if (atIterate) previousIterateValue = fz;
    return finalApproach || threshold <= 0;
  }

  static double scaleFor(const std::vector<double>& slopes) {
    double largest = 0;
    for (double s : slopes) largest = std::max(largest, std::abs(s));
    if (!(largest > 0) || !std::isfinite(largest)) return 1;
    return std::ldexp(1.0, std::clamp(std::ilogb(largest / kFirstStep), -1000, 1000));
  }

  double at(const std::vector<double>& x) {
    ++evaluations;
    return objective(x);
  }
  double at(const double* z) { return at(space.toX(z)); }

  // Step along variable k from z, relative to the variable's size.
  double stepFor(const std::vector<double>& z, std::size_t k, double relative) const {
    return relative *
           std::max(std::abs(space.variable(z.data(), k)), kTypicalFraction * space.scale(k)) /
           space.scale(k);
  }

  // Difference quotient along variable k from the point z with value fz;
  // probes never leave the bounds.
  double derivative(std::vector<double>& z, std::size_t k, double fz, bool central) {
    const double origin = z[k];
    const double h = stepFor(z, k, central ? kCentralStep : kForwardStep);
    const double below = origin - space.zLower(k);
    const double above = space.zUpper(k) - origin;
    double slope;
    if (central && below >= h && above >= h) {
      z[k] = origin + h;
      const double plus = at(z.data());
      const double forward = z[k];
      z[k] = origin - h;
      slope = (plus - at(z.data())) / (forward - z[k]);
    } else if (!central && std::max(above, below) >= h) {
      z[k] = origin + (above >= h ? h : -h);  // forward, backward at an upper bound
      slope = (at(z.data()) - fz) / (z[k] - origin);
    } else {  // second order, one-sided towards the side with room
      const double step = (above >= below ? 1 : -1) * std::min(h, std::max(above, below) / 2);
      if (step == 0) return 0;
      z[k] = origin + step;
      const double near = at(z.data());
      z[k] = origin + 2 * step;
      slope = (4 * near - 3 * fz - at(z.data())) / (2 * step);
    }
    z[k] = origin;
    return std::isfinite(slope) ? slope : 0;
  }

  double valueAndGradient(const double* zIn, double* gradient) {
    std::vector<double> z(zIn, zIn + space.size());
    space.clampZ(z);
    const double fz = at(z.data());
    std::vector<double> slopes(z.size(), 0);
    if ((gradient != nullptr || valueScale == 0) && std::isfinite(fz)) {
      const bool central = useCentralDifferences(fz, gradient != nullptr);
      for (std::size_t k = 0; k < z.size(); ++k) slopes[k] = derivative(z, k, fz, central);
    }
    if (valueScale == 0) valueScale = scaleFor(slopes);
    if (gradient != nullptr) {
      for (std::size_t k = 0; k < z.size(); ++k) gradient[k] = slopes[k] / valueScale;
    }
    if (evaluations >= kMaxEvaluations) {
      limitReached = true;
      nlopt_force_stop(optimizer);
    }
    return std::isnan(fz) ? HUGE_VAL : fz / valueScale;
  }

  static double callback(unsigned, const double* z, double* gradient, void* data) {
    auto* self = static_cast<Evaluator*>(data);
    try {
      return self->valueAndGradient(z, gradient);
    } catch (...) {
      self->failure = std::current_exception();
      nlopt_force_stop(self->optimizer);
      return HUGE_VAL;
    }
  }
};

// Rows of A z <= b in the scaled space, for NLopt (exact gradient).
void linearRows(unsigned m, double* result, unsigned n, const double* z, double* gradient,
                void* data) {
  const auto& space = *static_cast<const ScaledSpace*>(data);
  for (unsigned i = 0; i < m; ++i) {
    double sum = -space.rowBound(i);
    for (unsigned k = 0; k < n; ++k) {
      sum += space.rowCoefficient(i, k) * z[k];
      if (gradient != nullptr) gradient[i * n + k] = space.rowCoefficient(i, k);
    }
    result[i] = sum;
  }
}

Optimizer makeSlsqp(const ScaledSpace& space) {
  const auto n = static_cast<unsigned>(space.size());
  Optimizer opt(nlopt_create(NLOPT_LD_SLSQP, n), &nlopt_destroy);
  if (!opt) hostError("fmincon: could not create the SQP solver.");
  std::vector<double> lower(n), upper(n);
  for (unsigned k = 0; k < n; ++k) {
    lower[k] = space.zLower(k);
    upper[k] = space.zUpper(k);
  }
  nlopt_set_lower_bounds(opt.get(), lower.data());
  nlopt_set_upper_bounds(opt.get(), upper.data());
  if (space.rowCount() > 0) {
    const std::vector<double> slack = space.rowSlack();
    nlopt_add_inequality_mconstraint(opt.get(), static_cast<unsigned>(space.rowCount()), linearRows,
                                     const_cast<ScaledSpace*>(&space), slack.data());
  }
  return opt;
}

double squaredDistance(unsigned n, const double* z, double* gradient, void* data) {
  const auto* target = static_cast<const double*>(data);
  double sum = 0;
  for (unsigned k = 0; k < n; ++k) {
    sum += (z[k] - target[k]) * (z[k] - target[k]);
    if (gradient != nullptr) gradient[k] = 2 * (z[k] - target[k]);
  }
  return sum;
}

// The start point itself when it is feasible; otherwise its projection onto
// the bounds and the linear constraints (the nearest feasible point in the
// scaled space, a small quadratic programme).
std::vector<double> feasibleStart(const ScaledSpace& space, const std::vector<double>& start) {
  std::vector<double> x = space.clampX(start);
  if (space.isFeasible(x)) return x;
  std::vector<double> target = space.toZ(x);
  std::vector<double> z = target;
  if (space.size() > 0) {
    Optimizer opt = makeSlsqp(space);
    nlopt_set_min_objective(opt.get(), squaredDistance, target.data());
    nlopt_set_ftol_rel(opt.get(), kProjectionTolerance);
    nlopt_set_maxeval(opt.get(), 500);
    double distance = 0;
    nlopt_optimize(opt.get(), z.data(), &distance);
  }
  x = space.madeFeasible(space.toX(z.data()));
  if (!space.isFeasible(x)) {
    hostError("fmincon: no point satisfies the bounds and the linear inequality constraints.");
  }
  return x;
}

struct SqpOutcome {
  std::vector<double> x;
  double value;
  bool converged;
};

SqpOutcome runSqp(const ScaledSpace& space, Evaluator& evaluator,
                  const std::vector<double>& start) {
  Optimizer opt = makeSlsqp(space);
  evaluator.optimizer = opt.get();
  nlopt_set_min_objective(opt.get(), Evaluator::callback, &evaluator);
  nlopt_set_ftol_rel(opt.get(), currentSettings.objectiveTolerance);
  std::vector<double> z = space.toZ(start);
  double value = HUGE_VAL;
  const nlopt_result code = nlopt_optimize(opt.get(), z.data(), &value);
  if (evaluator.failure) std::rethrow_exception(evaluator.failure);
  if (code == NLOPT_INVALID_ARGS || code == NLOPT_OUT_OF_MEMORY) {
    hostError("fmincon: the SQP solver refused the problem (NLopt code " + std::to_string(code) +
              ").");
  }
  // Roundoff-limited means no further descent was possible at double
  // precision, which is the goal here; a feasible point then counts as found.
  const bool converged = code > 0 || code == NLOPT_ROUNDOFF_LIMITED;
  if (!converged) {
    hostWarning(evaluator.limitReached
                    ? "fmincon: stopped after " + std::to_string(evaluator.evaluations) +
                          " objective evaluations without converging."
                    : "fmincon: the SQP iteration stopped early (NLopt code " +
                          std::to_string(code) + "); returning the best point found.");
  }
  space.clampZ(z);  // as the objective saw it
  return {space.toX(z.data()), value * evaluator.valueScale, converged};
}

}  // namespace

ScopedMinimiserSettings::ScopedMinimiserSettings(const MinimiserSettings& settings)
    : previous_(currentSettings) {
  currentSettings = settings;
}

ScopedMinimiserSettings::~ScopedMinimiserSettings() {
  currentSettings = previous_;
}

MinimiserResult minimise(const MinimiserProblem& problem) {
  if (!problem.objective) hostError("fmincon: no objective function.");
  lastEvaluationCount = 0;
  const ScaledSpace space(problem);
  Evaluator evaluator(space, problem.objective);
  MinimiserResult result;
  result.x = feasibleStart(space, problem.start);
  result.value = evaluator.at(result.x);
  if (!std::isfinite(result.value)) {
    hostError("fmincon: the objective is not finite at the start point (value " +
              std::to_string(result.value) + ").");
  }
  if (space.size() > 0) {
    SqpOutcome outcome = runSqp(space, evaluator, result.x);
    std::vector<double> x = space.madeFeasible(outcome.x);
    if (space.isFeasible(x)) {
      const double value = x == outcome.x ? outcome.value : evaluator.at(x);
      if (value <= result.value) {
        result.x = std::move(x);
        result.value = value;
      }
    }
    result.converged = outcome.converged;
  }
  result.evaluations = evaluator.evaluations;
  lastEvaluationCount = result.evaluations;
  return result;
}

const MinimiserSettings& minimiserSettings() {
  return currentSettings;
}

int lastMinimiserEvaluations() {
  return lastEvaluationCount;
}

}  // namespace ulv
