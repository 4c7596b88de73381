// The host's constrained minimiser behind fmincon: a local sequential
// quadratic programming method (NLopt's SLSQP) started from the given point.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ulvadern/array.hpp"

namespace ulv {

struct MinimiserProblem {
  std::function<double(const std::vector<double>&)> objective;
  std::vector<double> start;
  // Linear inequalities A x <= b (A row-major, rows of start.size()).
  std::vector<double> inequalityMatrix;
  std::vector<double> inequalityBound;
  std::vector<double> lower;  // empty: unbounded
  std::vector<double> upper;
};

struct MinimiserResult {
  std::vector<double> x;
  double value = 0;
  int evaluations = 0;
  // False when the iteration stopped before converging (evaluation limit or
  // a solver failure); x is then the best feasible point found.
  bool converged = true;
};

// How the minimiser differentiates and when it stops. The defaults take
// forward differences until the iteration nears its end and stop once an
// iteration improves the objective by less than 1e-12 relative, which on the
// library's fits leaves the parameters within 1e-7 of tight(): central
// differences throughout, iterating until the objective cannot improve at
// double precision.
struct MinimiserSettings {
  // Central differences once an iteration changes the objective by less than
  // this relative amount (0: from the start).
  double forwardDifferencesUntil = 1e-6;
  double objectiveTolerance = 1e-12;  // relative improvement that ends the fit

  static MinimiserSettings tight() { return {0, 1e-15}; }
};

// The settings of fmincon calls on this thread while an instance lives.
class ScopedMinimiserSettings {
 public:
  explicit ScopedMinimiserSettings(const MinimiserSettings& settings);
  ~ScopedMinimiserSettings();
  ScopedMinimiserSettings(const ScopedMinimiserSettings&) = delete;
  ScopedMinimiserSettings& operator=(const ScopedMinimiserSettings&) = delete;

 private:
  MinimiserSettings previous_;
};

// The settings in force on this thread.
const MinimiserSettings& minimiserSettings();

MinimiserResult minimise(const MinimiserProblem& problem);

// The objective of an expression "name(x(i),x(j),...)": calls the function
// `name` by name with the listed elements of x and reads output 1 as a scalar.
// Any other form of expression is a host error.
std::function<double(const std::vector<double>&)> objectiveFromExpression(const std::string& text,
                                                                          std::size_t variables);

// Evaluation count of the last fmincon call on this thread, for tools and
// benchmarks.
int lastMinimiserEvaluations();

}  // namespace ulv
