// The minimiser's view of a problem (internal to the minimiser): the bounds,
// the free variables in scaled units and the linear constraints, with the
// exact feasibility test that every returned point must pass.
#pragma once

#include <cstddef>
#include <vector>

#include "host/numerics/minimiser.hpp"

namespace ulv {

// Free variable k is x[j] = offset_k + scale_k * z_k with j = its index; a
// variable bounded on both sides has z in [0, 1]. Variables whose lower and
// upper bounds coincide are fixed there and have no z.
class ScaledSpace {
 public:
  // Validates the problem's sizes and values (host errors).
  explicit ScaledSpace(const MinimiserProblem& problem);

  std::size_t size() const { return free_.size(); }
  double scale(std::size_t k) const { return scale_[k]; }
  double zLower(std::size_t k) const { return zLower_[k]; }
  double zUpper(std::size_t k) const { return zUpper_[k]; }
  double variable(const double* z, std::size_t k) const { return offset_[k] + scale_[k] * z[k]; }

  // The full point of z, kept within the bounds.
  std::vector<double> toX(const double* z) const;
  std::vector<double> toZ(const std::vector<double>& x) const;
  void clampZ(std::vector<double>& z) const;
  std::vector<double> clampX(std::vector<double> x) const;

  // The linear constraints that involve free variables, in scaled units:
  // sum_k coefficient(i, k) z_k <= bound(i).
  std::size_t rowCount() const { return rowBound_.size(); }
  double rowCoefficient(std::size_t i, std::size_t k) const {
    return rowCoefficient_[i * size() + k];
  }
  double rowBound(std::size_t i) const { return rowBound_[i]; }
  // The violation NLopt may leave on each row; madeFeasible removes it.
  std::vector<double> rowSlack() const;

  // Within the bounds and A x <= b, evaluated exactly as written.
  bool isFeasible(const std::vector<double>& x) const;
  // x clamped to the bounds and moved off any constraint it violates by
  // rounding, along the constraint's normal (free variables only).
  std::vector<double> madeFeasible(std::vector<double> x) const;

 private:
  void validate(const MinimiserProblem& problem) const;
  void scaleFreeVariables(const std::vector<double>& start);
  void scaleRows();
  double rowExcess(std::size_t row, const std::vector<double>& x) const;

  std::size_t n_;
  std::vector<double> lower_, upper_;
  std::vector<double> a_, b_;  // A row-major, as given
  std::vector<std::size_t> free_;
  std::vector<double> offset_, scale_, zLower_, zUpper_;
  std::vector<double> rowCoefficient_, rowBound_;
};

}  // namespace ulv
