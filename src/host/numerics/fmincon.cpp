// fmincon(fun, x0, A, b, Aeq, beq, lb, ub, nonlcon, options): the host's
// constrained minimiser reached by name. Only what the library relies on is
// supported: an objective expression, linear inequalities and bounds.
#include <algorithm>
#include <string>
#include <vector>

#include "host/functions/functions.hpp"
#include "host/functions/hostfn_checks.hpp"
#include "host/numerics/minimiser.hpp"
#include "ulvadern/errors.hpp"

namespace ulv::hostfn {

namespace {

enum Input : std::size_t { kFun, kStart, kA, kB, kAeq, kBeq, kLower, kUpper, kNonlcon, kOptions };
constexpr std::size_t kMaxInputs = 10;
constexpr int kMaxOutputs = 7;
const char* const kInputNames[] = {"fun", "x0", "A",  "b",       "Aeq",
                                   "beq", "lb", "ub", "nonlcon", "options"};

// Input `which`, with an absent one read as empty.
mxArray input(const Inputs& in, std::size_t which) {
  return which < in.size() ? in[which] : mxArray::empty();
}

std::vector<double> numbers(const Inputs& in, std::size_t which) {
  const mxArray a = input(in, which);
  if (a.isEmpty()) return {};
  requireNumeric("fmincon", a, kInputNames[which]);
  return std::vector<double>(a.data(), a.data() + a.numel());
}

void requireVector(const Inputs& in, std::size_t which, std::size_t length) {
  const mxArray a = input(in, which);
  if (a.isEmpty()) return;
  if (!a.isVector() || a.numel() != length) {
    hostError(std::string("fmincon: ") + kInputNames[which] + " must be empty or a vector of " +
              std::to_string(length) + " elements; it is " + dimsText(a.dims()) + ".");
  }
}

void refuseUnsupported(const Inputs& in) {
  requireInputCount("fmincon", in, 2, kMaxInputs);
  if (!input(in, kAeq).isEmpty() || !input(in, kBeq).isEmpty()) {
    hostError("fmincon: linear equality constraints (Aeq, beq) are not supported.");
  }
  if (!input(in, kNonlcon).isEmpty())
    hostError("fmincon: nonlinear constraints are not supported.");
  if (!input(in, kOptions).isEmpty()) hostError("fmincon: options are not supported.");
}

// A (rows x n, given column-major) as the minimiser's row-major matrix.
std::vector<double> inequalityMatrix(const Inputs& in, std::size_t n, std::size_t& rows) {
  const mxArray a = input(in, kA);
  const std::vector<double> values = numbers(in, kA);
  rows = values.empty() ? 0 : a.rows();
  if (!values.empty() && (a.ndims() != 2 || a.cols() != n)) {
    hostError("fmincon: A must have one column per element of x0 (" + std::to_string(n) +
              "); it is " + dimsText(a.dims()) + ".");
  }
  std::vector<double> rowMajor(values.size());
  for (std::size_t i = 0; i < rows; ++i) {
    for (std::size_t j = 0; j < n; ++j) rowMajor[i * n + j] = values[i + j * rows];
  }
  return rowMajor;
}

MinimiserProblem problemOf(const Inputs& in) {
  refuseUnsupported(in);
  const std::string text = requireText("fmincon", in[kFun], "the objective");
  MinimiserProblem problem;
  problem.start = numbers(in, kStart);
  const std::size_t n = problem.start.size();
  if (n == 0 || !input(in, kStart).isVector()) {
    hostError("fmincon: x0 must be a non-empty vector.");
  }
  std::size_t rows = 0;
  problem.inequalityMatrix = inequalityMatrix(in, n, rows);
  problem.inequalityBound = numbers(in, kB);
  if (problem.inequalityBound.size() != rows || (rows > 0 && !input(in, kB).isVector())) {
    hostError("fmincon: b must be a vector with one element per row of A (" + std::to_string(rows) +
              "); it is " + dimsText(input(in, kB).dims()) + ".");
  }
  requireVector(in, kLower, n);
  requireVector(in, kUpper, n);
  problem.lower = numbers(in, kLower);
  problem.upper = numbers(in, kUpper);
  problem.objective = objectiveFromExpression(text, n);
  return problem;
}

}  // namespace

Outputs fmincon(int nargout, const Inputs& in) {
  if (nargout > kMaxOutputs) hostError("fmincon: gives at most 7 outputs.");
  const MinimiserResult result = minimise(problemOf(in));
  Outputs out;
  out.push_back(mxArray::fromVector({1, result.x.size()}, result.x));
  out.push_back(mxArray::scalar(result.value));
  out.push_back(mxArray::scalar(result.converged ? 1 : 0));
  out.resize(std::max(nargout, 1), mxArray::empty());
  return out;
}

}  // namespace ulv::hostfn
