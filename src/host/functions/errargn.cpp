// errargn(fn, nargin, admissibleIn, nargout, admissibleOut): the argument
// count test of the wavelet functions. Answers logical true when nargin is
// not among admissibleIn or nargout not among admissibleOut, and then reports
// each failing count on the host's report channel, naming fn, e.g.
// "dwt2: invalid number of output arguments (2); expected 0, 1 or 3."
// The caller raises its own error afterwards.
#include <algorithm>
#include <string>

#include "host/functions/functions.hpp"
#include "host/functions/hostfn_checks.hpp"
#include "ulvadern/errors.hpp"

namespace ulv::hostfn {

namespace {

double countOf(const mxArray& a, const char* what) {
  requireNumeric("errargn", a, what);
  if (!a.isScalar()) hostError(std::string("errargn: ") + what + " must be a scalar.");
  return a.scalarValue();
}

bool isAdmissible(double count, const mxArray& admissible) {
  const double* values = admissible.data();
  return std::find(values, values + admissible.numel(), count) != values + admissible.numel();
}

// "none", "1", "2 or 3", "0, 1 or 3".
std::string listText(const mxArray& admissible) {
  const std::size_t n = admissible.numel();
  if (n == 0) return "none";
  std::string text = numberText(admissible.at(0));
  for (std::size_t k = 1; k < n; ++k) {
    text += (k + 1 == n ? " or " : ", ") + numberText(admissible.at(k));
  }
  return text;
}

// Reports a count that is not admissible; answers whether it was.
bool checkCount(const std::string& function, const char* which, double count,
                const mxArray& admissible) {
  if (isAdmissible(count, admissible)) return false;
  hostReport(function + ": invalid number of " + which + " arguments (" + numberText(count) +
             "); expected " + listText(admissible) + ".");
  return true;
}

}  // namespace

Outputs errargn(int, const Inputs& in) {
  requireInputCount("errargn", in, 5, 5);
  const std::string function = requireText("errargn", in[0], "the function name");
  const double inputs = countOf(in[1], "nargin");
  const mxArray& admissibleIn = requireNumeric("errargn", in[2], "the admissible input counts");
  const double outputs = countOf(in[3], "nargout");
  const mxArray& admissibleOut = requireNumeric("errargn", in[4], "the admissible output counts");
  const bool badInputs = checkCount(function, "input", inputs, admissibleIn);
  const bool badOutputs = checkCount(function, "output", outputs, admissibleOut);
  return {mxArray::logicalScalar(badInputs || badOutputs)};
}

}  // namespace ulv::hostfn
