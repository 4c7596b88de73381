// The minimiser behind fmincon, judged on the fit it exists for: the zero-mean
// mixture w exp(-(v/x1)^2)/x1 + (1-w) exp(-(v/x2)^2)/x2 fitted by its negative
// log-likelihood with x1 <= x2/2, compared with an independent grid search.
#include "host/numerics/minimiser.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "host/functions/functions.hpp"
#include "support/test_support.hpp"
#include "ulvadern/calls.hpp"

namespace ulv::test {
namespace {

using Samples = std::vector<double>;
struct Mixture {
  double x1, x2, w;
};
struct Fit {
  double x1, x2, w, value;
};
// The fit's limits on x1; x2 lies in [1e-10, 1], w in [0.05, 0.98].
struct Region {
  double lowX1 = 1e-10, highX1 = 1;
};

// Samples of a mixture (a component is a normal density of standard deviation
// s / sqrt(2)), scaled to a largest magnitude of 1 as the library scales them.
Samples drawSamples(const Mixture& m, std::uint64_t seed, std::size_t count = 10000) {
  std::mt19937_64 source(seed);
  auto uniform = [&] { return (static_cast<double>(source() >> 11) + 0.5) * 0x1p-53; };
  Samples v(count);
  double largest = 0;
  for (double& x : v) {
    const double normal =
        std::sqrt(-2 * std::log(uniform())) * std::cos(2 * std::numbers::pi * uniform());
    x = normal * (uniform() < m.w ? m.x1 : m.x2) / std::numbers::sqrt2;
    largest = std::max(largest, std::abs(x));
  }
  for (double& x : v) x /= largest;
  return v;
}

double mixtureObjective(const Samples& v, double x1, double x2, double w) {
  double sum = 0;
  for (double x : v) {
    sum += std::log(1e-15 + w * std::exp(-(x / x1) * (x / x1)) / x1 +
                    (1 - w) * std::exp(-(x / x2) * (x / x2)) / x2);
  }
  return -sum;
}

Fit minimiserFit(const Samples& v, Region region = {},
                 std::vector<double> start = {0.1, 0.7, 0.7}) {
  int calls = 0;
  MinimiserProblem problem{[&](const std::vector<double>& x) {
                             ++calls;
                             return mixtureObjective(v, x[0], x[1], x[2]);
                           },
                           start,
                           {1, -0.5, 0},
                           {0},
                           {region.lowX1, 1e-10, 0.05},
                           {region.highX1, 1, 0.98}};
  const MinimiserResult r = minimise(problem);
  EXPECT_TRUE(r.converged);
  EXPECT_EQ(r.evaluations, calls);
  EXPECT_EQ(lastMinimiserEvaluations(), calls);
  EXPECT_LT(calls, 1000);
  EXPECT_LE(r.x[0] - 0.5 * r.x[1], 0);  // exactly feasible
  for (std::size_t k = 0; k < 3; ++k) {
    EXPECT_GE(r.x[k], problem.lower[k]);
    EXPECT_LE(r.x[k], problem.upper[k]);
  }
  EXPECT_EQ(r.value, mixtureObjective(v, r.x[0], r.x[1], r.x[2]));
  return {r.x[0], r.x[1], r.x[2], r.value};
}

// ---- the reference: for fixed widths the objective is convex in w, so w is
// found exactly; the widths come from a log grid refined by a pattern search.

Samples componentValues(const Samples& v, double s) {
  Samples c(v.size());
  for (std::size_t i = 0; i < v.size(); ++i) c[i] = std::exp(-(v[i] / s) * (v[i] / s)) / s;
  return c;
}

Fit profileWeight(double x1, double x2, const Samples& a, const Samples& b, double w = 0.5) {
  double low = 0.05, high = 0.98;
  for (int iteration = 0; iteration < 100; ++iteration) {
    double slope = 0, curvature = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
      const double q = (a[i] - b[i]) / (1e-15 + w * a[i] + (1 - w) * b[i]);
      slope -= q;
      curvature += q * q;
    }
    (slope > 0 ? high : low) = w;
    const double newton = w - slope / curvature;
    const double next = newton > low && newton < high ? newton : (low + high) / 2;
    if (std::abs(next - w) < 1e-10) break;
    w = next;
  }
  double value = 0;
  for (std::size_t i = 0; i < a.size(); ++i) value -= std::log(1e-15 + w * a[i] + (1 - w) * b[i]);
  return {x1, x2, w, value};
}

Fit referenceFit(const Samples& v, Region region = {}) {
  const int points = 12;
  auto logGrid = [&](double low, double high, int k) {
    return low == high ? low : low * std::pow(high / low, k / (points - 1.0));
  };
  std::vector<Samples> noise, edge;
  for (int k = 0; k < points; ++k) {
    noise.push_back(componentValues(v, logGrid(std::max(region.lowX1, 1e-4), region.highX1, k)));
    edge.push_back(componentValues(v, logGrid(0.02, 1, k)));
  }
  Fit best{0, 0, 0, INFINITY};
  for (int i = 0; i < points; ++i) {
    double w = 0.5;
    for (int j = 0; j < points; ++j) {
      const double x1 = logGrid(std::max(region.lowX1, 1e-4), region.highX1, i);
      const double x2 = logGrid(0.02, 1, j);
      if (x1 > x2 / 2) continue;
      const Fit f = profileWeight(x1, x2, noise[i], edge[j], w);
      if (f.value < best.value) best = f;
      w = f.w;
    }
  }
  auto feasible = [&](double x1, double x2) {
    x2 = std::clamp(x2, 1e-10, 1.0);
    return std::pair{std::clamp(x1, region.lowX1, std::min(region.highX1, x2 / 2)), x2};
  };
  const int directions[8][2] = {{1, 0}, {-1, 0},  {0, 1},  {0, -1},
                                {1, 1}, {-1, -1}, {1, -1}, {-1, 1}};
  for (double step = 0.2; step > 1e-6;) {
    bool moved = false;
    for (const auto& d : directions) {
      const auto [x1, x2] =
          feasible(best.x1 * std::exp(d[0] * step), best.x2 * std::exp(d[1] * step));
      if (x1 == best.x1 && x2 == best.x2) continue;
      const Fit f = profileWeight(x1, x2, componentValues(v, x1), componentValues(v, x2), best.w);
      if (f.value < best.value) best = f, moved = true;
    }
    if (!moved) step /= 2;
  }
  return best;
}

void expectSameFit(const Fit& fit, const Fit& reference) {
  EXPECT_NEAR(fit.value, reference.value, 1e-9 * std::abs(reference.value));
  EXPECT_NEAR(fit.x1, reference.x1, 1e-4 * reference.x1);
  EXPECT_NEAR(fit.x2, reference.x2, 1e-4 * reference.x2);
  EXPECT_NEAR(fit.w, reference.w, 1e-4 * reference.w);
}

Mixture randomMixture(std::mt19937_64& pick) {
  std::uniform_real_distribution<double> u(0, 1);
  const double x2 = 0.2 + 0.6 * u(pick);
  return {x2 * (0.04 + 0.36 * u(pick)), x2, 0.3 + 0.6 * u(pick)};
}

TEST(Minimiser, FitsRandomMixturesLikeAnIndependentGridSearch) {
  std::mt19937_64 pick(2024);
  for (int trial = 0; trial < 4; ++trial) {
    const Samples v = drawSamples(randomMixture(pick), 100 + trial);
    expectSameFit(minimiserFit(v), referenceFit(v));
  }
}

// The default stopping rule and forward differences save evaluations but must
// land where the tight fit lands: parameters within 1e-6.
TEST(Minimiser, DefaultSettingsAgreeWithTheTightFitInFewerEvaluations) {
  std::mt19937_64 pick(77);
  int defaultEvaluations = 0, tightEvaluations = 0;
  for (int trial = 0; trial < 6; ++trial) {
    Samples v = drawSamples(randomMixture(pick), 300 + trial);
    v.resize(v.size() + 30 * trial, 0.0);  // the exact zeros of a replicated border
    const Fit fit = minimiserFit(v);
    defaultEvaluations += lastMinimiserEvaluations();
    Fit tight;
    {
      ScopedMinimiserSettings settings(MinimiserSettings::tight());
      tight = minimiserFit(v);
      tightEvaluations += lastMinimiserEvaluations();
    }
    EXPECT_NEAR(fit.x1, tight.x1, 1e-6);
    EXPECT_NEAR(fit.x2, tight.x2, 1e-6);
    EXPECT_NEAR(fit.w, tight.w, 1e-6);
  }
  EXPECT_LT(defaultEvaluations, 0.8 * tightEvaluations);
}

// Exact zeros make the objective fall without limit as x1 -> 0; a local
// method started at x1 = 0.1 must stay at the meaningful minimum.
TEST(Minimiser, ExactZerosDoNotPullTheFitToTheDegenerateMinimum) {
  const std::pair<Mixture, std::size_t> cases[] = {{{0.12, 0.4, 0.3}, 100}, {{0.16, 0.4, 0.3}, 50}};
  for (const auto& [mixture, zeros] : cases) {
    Samples v = drawSamples(mixture, 200);
    const Fit clean = minimiserFit(v);
    v.resize(v.size() + zeros, 0.0);
    const Fit fit = minimiserFit(v);
    expectSameFit(fit, referenceFit(v, {1e-3, 1}));
    EXPECT_NEAR(fit.x1, clean.x1, 0.1 * clean.x1);
    EXPECT_LT(referenceFit(v, {1e-10, 1e-10}).value, fit.value);
  }
}

TEST(Minimiser, SolutionsOnTheBoundaryOfTheFeasibleSet) {
  // Components too alike for x1 <= x2/2.
  const Samples alike = drawSamples({0.24, 0.4, 0.5}, 300, 3000);
  const Fit onConstraint = minimiserFit(alike);
  expectSameFit(onConstraint, referenceFit(alike));
  EXPECT_NEAR(onConstraint.x1, onConstraint.x2 / 2, 1e-12);
  // A narrow component wider than the bound on x1; the start lies outside.
  const Samples wide = drawSamples({0.08, 0.4, 0.6}, 301, 3000);
  const Fit onBound = minimiserFit(wide, {1e-10, 0.04});
  expectSameFit(onBound, referenceFit(wide, {1e-10, 0.04}));
  EXPECT_EQ(onBound.x1, 0.04);
  // Weights beyond the bounds on w.
  const Samples mostlyNarrow = drawSamples({0.05, 0.4, 0.99}, 302, 3000);
  const Fit heavy = minimiserFit(mostlyNarrow);
  expectSameFit(heavy, referenceFit(mostlyNarrow));
  EXPECT_EQ(heavy.w, 0.98);
  // (From the usual start these samples end in the local minimum where the
  // narrow component takes the wide one's place, so start nearer.)
  const Samples mostlyWide = drawSamples({0.01, 0.4, 0.04}, 303, 3000);
  const Fit light = minimiserFit(mostlyWide, {}, {0.02, 0.5, 0.1});
  expectSameFit(light, referenceFit(mostlyWide));
  EXPECT_EQ(light.w, 0.05);
}

TEST(Minimiser, StartsOutsideTheFeasibleSetAndFixedVariables) {
  const Samples v = drawSamples({0.05, 0.4, 0.6}, 400, 3000);
  const Fit fromInside = minimiserFit(v);
  for (const auto& start : {std::vector<double>{0.6, 0.7, 0.7}, std::vector<double>{5, -3, 2}}) {
    const Fit fit = minimiserFit(v, {}, start);
    EXPECT_NEAR(fit.value, fromInside.value, 1e-9 * std::abs(fromInside.value));
    EXPECT_NEAR(fit.x1, fromInside.x1, 1e-4 * fromInside.x1);
  }
  const Fit fixed = minimiserFit(v, {0.03, 0.03});
  EXPECT_EQ(fixed.x1, 0.03);
  expectSameFit(fixed, referenceFit(v, {0.03, 0.03}));
}

MinimiserProblem quadratic(std::vector<double> centre) {
  MinimiserProblem p;
  p.objective = [centre](const std::vector<double>& x) {
    double sum = 0;
    for (std::size_t k = 0; k < x.size(); ++k) sum += (x[k] - centre[k]) * (x[k] - centre[k]);
    return sum;
  };
  p.start.assign(centre.size(), 0.5);
  p.lower.assign(centre.size(), 0);
  p.upper.assign(centre.size(), 1);
  return p;
}

TEST(Minimiser, RefusesProblemsItCannotSolve) {
  auto errorOf = [](const MinimiserProblem& p) { return hostErrorOf([&] { minimise(p); }); };
  MinimiserProblem p = quadratic({0.2, 0.3});
  p.start = {NAN, 0};
  EXPECT_NE(errorOf(p).find("start point must be finite"), std::string::npos);
  p = quadratic({0.2, 0.3});
  p.lower = {0, 2};
  EXPECT_NE(errorOf(p).find("bounds of variable 2 [2, 1] admit no value"), std::string::npos);
  p.lower = {0, NAN};
  EXPECT_NE(errorOf(p).find("must not be NaN"), std::string::npos);
  p = quadratic({0.2, 0.3});
  p.inequalityMatrix = {1, 1};
  p.inequalityBound = {-0.5};
  EXPECT_NE(errorOf(p).find("no point satisfies"), std::string::npos);
  p.inequalityMatrix = {1, 1, 1};
  EXPECT_NE(errorOf(p).find("must have 2 columns"), std::string::npos);
  p = quadratic({0.2, 0.3});
  p.objective = [](const std::vector<double>& x) { return std::log(x[0] - 0.5); };
  EXPECT_NE(errorOf(p).find("not finite at the start point"), std::string::npos);
}

TEST(Minimiser, ObjectiveErrorsPassThroughAndNaNsDoNotHang) {
  MinimiserProblem p = quadratic({0.9, 0.9});
  int calls = 0;
  p.objective = [&calls](const std::vector<double>&) -> double {
    if (++calls == 20) hostError("objective broke");
    return calls;
  };
  EXPECT_EQ(hostErrorOf([&] { minimise(p); }), "objective broke");
  // Undefined beyond x1 = 0.7, lowest at the far corner.
  p.objective = [](const std::vector<double>& x) { return x[0] > 0.7 ? NAN : -x[0] - x[1]; };
  const MinimiserResult r = minimise(p);
  EXPECT_LE(r.x[0], 0.7);
  EXPECT_LT(r.value, -1.5);
}

TEST(Minimiser, LinearConstraintsHeldExactlyAndFixedVariablesKept) {
  MinimiserProblem p = quadratic({0.9, 0.8, 0.5});
  p.inequalityMatrix = {1, 1, 0, 1, -1, 0};  // x1 + x2 <= 1, x1 - x2 <= 0.05
  p.inequalityBound = {1, 0.05};
  p.lower[2] = p.upper[2] = 0.25;
  const MinimiserResult r = minimise(p);
  EXPECT_NEAR(r.x[0], 0.525, 1e-7);
  EXPECT_NEAR(r.x[1], 0.475, 1e-7);
  EXPECT_LE(r.x[0] + r.x[1], 1);
  EXPECT_LE(r.x[0] - r.x[1], 0.05);
  EXPECT_EQ(r.x[2], 0.25);
}

// ---- the objective expression and fmincon --------------------------------

class FminconTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registerHostFunction("f", [this](int, const std::vector<mxArray>& in) {
      double sum = 0;
      arguments.clear();
      for (std::size_t k = 0; k < in.size(); ++k) {
        arguments.push_back(in[k].scalarValue());
        sum += (arguments[k] - 0.1 * (k + 2)) * (arguments[k] - 0.1 * (k + 2));
      }
      return std::vector<mxArray>{mxArray::scalar(sum)};
    });
    registerHostFunction("pair", [](int, const std::vector<mxArray>&) {
      return std::vector<mxArray>{mxArray::row({1, 2})};
    });
  }
  void TearDown() override {
    unregisterFunction("f");
    unregisterFunction("pair");
  }
  std::vector<double> arguments;
};

TEST_F(FminconTest, ExpressionCallsTheNamedFunctionWithTheListedElements) {
  EXPECT_EQ(objectiveFromExpression(" f ( x ( 3 ) ,x(1), x(3) ) ", 3)({7, 8, 9}),
            (9 - 0.2) * (9 - 0.2) + (7 - 0.3) * (7 - 0.3) + (9 - 0.4) * (9 - 0.4));
  EXPECT_EQ(arguments, (std::vector<double>{9, 7, 9}));
  const std::string badResult = hostErrorOf([] { objectiveFromExpression("pair(x(1))", 1)({0}); });
  EXPECT_NE(badResult.find("must return a real scalar; it returned a 1x2 double array"),
            std::string::npos);
  EXPECT_NE(hostErrorOf([] { objectiveFromExpression("nothing(x(1))", 1)({0}); }).find("nothing"),
            std::string::npos);
}

TEST_F(FminconTest, MalformedExpressionsAreHostErrorsQuotingThem) {
  for (const char* text : {"", "f", "f()", "f(x(0))", "f(x(4))", "f(y(1))", "f(x(1)", "f(x(1))+1",
                           "1f(x(1))", "f(x(1.5))", "f(x(-1))", "f(x(1),)", "f(xx(1))", "f x(1)"}) {
    const std::string message = hostErrorOf([&] { objectiveFromExpression(text, 3); });
    EXPECT_NE(
        message.find(std::string("fmincon: cannot use the objective expression '") + text + "'"),
        std::string::npos)
        << text << ": " << message;
  }
}

TEST_F(FminconTest, MinimisesTheExpressionUnderTheConstraints) {
  // f's minimum (0.2, 0.3, 0.4) lies beyond x1 - 0.5 x2 <= 0 and the bound x3 <= 0.25.
  const hostfn::Outputs out = hostfn::fmincon(
      7, {mxArray::string("f(x(1),x(2),x(3))"), mxArray::row({0.5, 0.5, 0.5}),
          mxArray::row({1, -0.5, 0}), mxArray::scalar(0), mxArray::empty(), mxArray::empty(),
          mxArray::row({0, 0, 0}), mxArray::row({1, 1, 0.25}), mxArray::empty(), mxArray::empty()});
  ASSERT_EQ(out.size(), 7u);
  EXPECT_EQ(out[0].dims(), (Dims{1, 3}));
  EXPECT_NEAR(out[0].at(0), 0.16, 1e-7);  // nearest to (0.2, 0.3) on x1 = x2 / 2
  EXPECT_NEAR(out[0].at(1), 0.32, 1e-7);
  EXPECT_EQ(out[0].at(2), 0.25);
  EXPECT_LE(out[0].at(0) - 0.5 * out[0].at(1), 0);
  EXPECT_NEAR(out[1].scalarValue(), 0.0016 + 0.0004 + 0.0225, 1e-12);
  EXPECT_EQ(out[2].scalarValue(), 1);
  for (std::size_t k = 3; k < 7; ++k) EXPECT_TRUE(out[k].isEmpty());
  EXPECT_EQ(hostfn::fmincon(0, {mxArray::string("f(x(1))"), mxArray::scalar(3)}).size(), 1u);
}

TEST_F(FminconTest, ArgumentErrors) {
  const mxArray fun = mxArray::string("f(x(1),x(2))"), x0 = mxArray::row({0.5, 0.5});
  auto errorOf = [&](std::vector<mxArray> rest, std::vector<mxArray> head = {}) {
    if (head.empty()) head = {fun, x0};
    head.insert(head.end(), rest.begin(), rest.end());
    return hostErrorOf([&] { hostfn::fmincon(1, head); });
  };
  const mxArray e = mxArray::empty();
  EXPECT_NE(errorOf({}, {mxArray::scalar(1), x0}).find("the objective must be a character string"),
            std::string::npos);
  EXPECT_NE(errorOf({}, {fun, e}).find("x0 must be a non-empty vector"), std::string::npos);
  EXPECT_NE(errorOf({}, {fun, matrix(2, 2, {1, 2, 3, 4})}).find("x0 must be"), std::string::npos);
  EXPECT_NE(errorOf({mxArray::row({1, 2, 3}), mxArray::scalar(0)}).find("A must have one column"),
            std::string::npos);
  EXPECT_NE(errorOf({mxArray::row({1, 2}), mxArray::row({0, 0})}).find("b must be a vector"),
            std::string::npos);
  EXPECT_NE(errorOf({e, e, mxArray::row({1, 1}), mxArray::scalar(1)}).find("not supported"),
            std::string::npos);
  EXPECT_NE(errorOf({e, e, e, e, mxArray::row({0, 0, 0})}).find("lb must be empty or a vector"),
            std::string::npos);
  EXPECT_NE(errorOf({e, e, e, e, mxArray::row({0, NAN})}).find("NaN"), std::string::npos);
  EXPECT_NE(errorOf({mxArray::row({1, NAN}), mxArray::scalar(0)}).find("must be finite"),
            std::string::npos);
  EXPECT_NE(errorOf({e, e, e, e, e, e, mxArray::string("c")}).find("nonlinear constraints"),
            std::string::npos);
  EXPECT_NE(errorOf({e, e, e, e, e, e, e, mxArray::scalar(1)}).find("options"), std::string::npos);
  EXPECT_NE(errorOf({e, e, e, e, e, e, e, e, e}).find("expected 2 to 10 inputs, got 11"),
            std::string::npos);
  EXPECT_NE(errorOf({mxArray::cell({1, 1}), e}).find("A must be numeric"), std::string::npos);
  EXPECT_NE(hostErrorOf([&] {
              hostfn::fmincon(8, {fun, x0});
            }).find("at most 7 outputs"),
            std::string::npos);
}

}  // namespace
}  // namespace ulv::test
