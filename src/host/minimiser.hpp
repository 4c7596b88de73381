// The host's constrained minimiser behind fmincon: a local sequential
// quadratic programming method (NLopt's SLSQP) started from the given point.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "host/array.hpp"

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

MinimiserResult minimise(const MinimiserProblem& problem);

// The objective of an expression "name(x(i),x(j),...)": calls the function
// `name` by name with the listed elements of x and reads output 1 as a scalar.
// Any other form of expression is a host error.
std::function<double(const std::vector<double>&)> objectiveFromExpression(const std::string& text,
                                                                          std::size_t variables);

// Evaluation count of the last fmincon call, for tools and benchmarks.
int lastMinimiserEvaluations();

}  // namespace ulv
