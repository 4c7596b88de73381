#include "host/numerics/minimiser_space.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "host/functions/hostfn_checks.hpp"
#include "ulvadern/errors.hpp"

namespace ulv {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kEpsilon = std::numeric_limits<double>::epsilon();
// Violation of a scaled linear constraint that NLopt may accept; the final
// point is then moved to exact feasibility by at most about this much.
constexpr double kRowSlack = 1e-12;

std::vector<double> boundsOrInfinite(const std::vector<double>& bounds, std::size_t n,
                                     double infinite) {
  return bounds.empty() ? std::vector<double>(n, infinite) : bounds;
}

}  // namespace

ScaledSpace::ScaledSpace(const MinimiserProblem& problem)
    : n_(problem.start.size()), a_(problem.inequalityMatrix), b_(problem.inequalityBound) {
  validate(problem);
  lower_ = boundsOrInfinite(problem.lower, n_, -kInfinity);
  upper_ = boundsOrInfinite(problem.upper, n_, kInfinity);
  for (std::size_t j = 0; j < n_; ++j) {
    if (lower_[j] > upper_[j] || lower_[j] == kInfinity || upper_[j] == -kInfinity) {
      hostError("fmincon: the bounds of variable " + std::to_string(j + 1) + " [" +
                hostfn::numberText(lower_[j]) + ", " + hostfn::numberText(upper_[j]) +
                "] admit no value.");
    }
    if (lower_[j] < upper_[j]) free_.push_back(j);
  }
  scaleFreeVariables(problem.start);
  scaleRows();
}

void ScaledSpace::validate(const MinimiserProblem& problem) const {
  if (n_ == 0) hostError("fmincon: the start point is empty.");
  for (double v : problem.start) {
    if (!std::isfinite(v)) hostError("fmincon: the start point must be finite.");
  }
  for (const auto* bounds : {&problem.lower, &problem.upper}) {
    if (!bounds->empty() && bounds->size() != n_) {
      hostError("fmincon: the bounds must have one element per variable (" + std::to_string(n_) +
                ").");
    }
    for (double v : *bounds) {
      if (std::isnan(v)) hostError("fmincon: the bounds must not be NaN.");
    }
  }
  if (a_.size() != b_.size() * n_) {
    hostError("fmincon: the inequality matrix must have " + std::to_string(n_) +
              " columns and one row per right-hand side.");
  }
  for (const auto* values : {&a_, &b_}) {
    for (double v : *values) {
      if (!std::isfinite(v))
        hostError("fmincon: the linear inequality constraints must be finite.");
    }
  }
}

void ScaledSpace::scaleFreeVariables(const std::vector<double>& start) {
  for (std::size_t j : free_) {
    const double width = upper_[j] - lower_[j];
    double offset = 0, scale = std::max(std::abs(start[j]), 1.0);
    if (std::isfinite(width)) {
      offset = lower_[j];
      scale = width;
    } else if (std::isfinite(lower_[j])) {
      offset = lower_[j];
    } else if (std::isfinite(upper_[j])) {
      offset = upper_[j];
    }
    offset_.push_back(offset);
    scale_.push_back(scale);
    zLower_.push_back(std::isfinite(width) ? 0 : (lower_[j] - offset) / scale);
    zUpper_.push_back(std::isfinite(width) ? 1 : (upper_[j] - offset) / scale);
  }
}

void ScaledSpace::scaleRows() {
  for (std::size_t i = 0; i < b_.size(); ++i) {
    const double* a = &a_[i * n_];
    double bound = b_[i];
    for (std::size_t j = 0; j < n_; ++j) {
      if (lower_[j] == upper_[j]) bound -= a[j] * lower_[j];
    }
    std::vector<double> coefficients;
    bool involvesFree = false;
    for (std::size_t k = 0; k < free_.size(); ++k) {
      bound -= a[free_[k]] * offset_[k];
      coefficients.push_back(a[free_[k]] * scale_[k]);
      involvesFree = involvesFree || coefficients.back() != 0;
    }
    // A row on fixed variables alone is a plain feasibility condition.
    if (!involvesFree) continue;
    rowCoefficient_.insert(rowCoefficient_.end(), coefficients.begin(), coefficients.end());
    rowBound_.push_back(bound);
  }
}

std::vector<double> ScaledSpace::toX(const double* z) const {
  std::vector<double> x = lower_;
  for (std::size_t k = 0; k < free_.size(); ++k) {
    const std::size_t j = free_[k];
    x[j] = std::clamp(variable(z, k), lower_[j], upper_[j]);
  }
  return x;
}

std::vector<double> ScaledSpace::toZ(const std::vector<double>& x) const {
  std::vector<double> z(free_.size());
  for (std::size_t k = 0; k < free_.size(); ++k) z[k] = (x[free_[k]] - offset_[k]) / scale_[k];
  clampZ(z);
  return z;
}

void ScaledSpace::clampZ(std::vector<double>& z) const {
  for (std::size_t k = 0; k < z.size(); ++k) z[k] = std::clamp(z[k], zLower_[k], zUpper_[k]);
}

std::vector<double> ScaledSpace::clampX(std::vector<double> x) const {
  for (std::size_t j = 0; j < n_; ++j) x[j] = std::clamp(x[j], lower_[j], upper_[j]);
  return x;
}

std::vector<double> ScaledSpace::rowSlack() const {
  std::vector<double> slack;
  for (std::size_t i = 0; i < rowCount(); ++i) {
    double magnitude = std::abs(rowBound_[i]);
    for (std::size_t k = 0; k < size(); ++k) magnitude += std::abs(rowCoefficient(i, k));
    slack.push_back(kRowSlack * magnitude);
  }
  return slack;
}

double ScaledSpace::rowExcess(std::size_t row, const std::vector<double>& x) const {
  double sum = 0;
  for (std::size_t j = 0; j < n_; ++j) sum += a_[row * n_ + j] * x[j];
  return sum - b_[row];
}

bool ScaledSpace::isFeasible(const std::vector<double>& x) const {
  for (std::size_t j = 0; j < n_; ++j) {
    if (!(x[j] >= lower_[j] && x[j] <= upper_[j])) return false;
  }
  for (std::size_t i = 0; i < b_.size(); ++i) {
    if (!(rowExcess(i, x) <= 0)) return false;
  }
  return true;
}

std::vector<double> ScaledSpace::madeFeasible(std::vector<double> x) const {
  x = clampX(std::move(x));
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::size_t worst = b_.size();
    double excess = 0;
    for (std::size_t i = 0; i < b_.size(); ++i) {
      const double e = rowExcess(i, x);
      if (e > excess) excess = e, worst = i;
    }
    if (worst == b_.size()) break;
    // Step back along the row's normal, over the variables free to move that
    // way, by the excess plus the rounding error of the row's sum.
    const double* a = &a_[worst * n_];
    double norm2 = 0, magnitude = std::abs(b_[worst]);
    std::vector<double> direction(n_, 0);
    for (std::size_t j : free_) {
      magnitude += std::abs(a[j] * x[j]);
      const bool blocked = (a[j] < 0 && x[j] >= upper_[j]) || (a[j] > 0 && x[j] <= lower_[j]);
      if (!blocked) direction[j] = a[j], norm2 += a[j] * a[j];
    }
    if (norm2 == 0) break;
    const double shift = excess + 4 * (n_ + 1) * kEpsilon * magnitude;
    for (std::size_t j = 0; j < n_; ++j) x[j] -= shift * direction[j] / norm2;
    x = clampX(std::move(x));
  }
  return x;
}

}  // namespace ulv
