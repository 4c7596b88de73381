// The vectorised element-wise functions of every instruction set this
// processor has, against the C library: within two units in the last place
// (3.5 for the coarse log), the same special values, and results that do not
// depend on an element's position in the array.
#include "host/numerics/vector_math.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "host/numerics/vector_math_table.hpp"

namespace ulv::vmath {
namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

std::vector<KernelTable> availableTables() {
  __builtin_cpu_init();
  std::vector<KernelTable> tables = {sse2Kernels()};
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) {
    tables.push_back(avx2Kernels());
  }
  if (__builtin_cpu_supports("avx512f")) tables.push_back(avx512Kernels());
  return tables;
}

bool withinUlps(double got, double want, double ulps) {
  if (std::isnan(want) || std::isnan(got)) return std::isnan(want) && std::isnan(got);
  if (std::isinf(want) || std::isinf(got) || want == 0) return got == want;
  const double ulp = std::nextafter(std::abs(want), inf) - std::abs(want);
  return std::abs(got - want) <= ulps * ulp;
}

std::vector<double> testValues(double low, double high) {
  std::mt19937_64 engine(11);
  std::uniform_real_distribution<double> u(low, high);
  std::vector<double> v(1000);
  for (double& x : v) x = u(engine);
  return v;
}

using Kernel = std::function<void(const double*, double*, std::size_t)>;

void expectMatches(const std::string& what, const Kernel& kernel,
                   const std::function<double(double)>& reference, std::vector<double> values,
                   double ulps = 2) {
  std::vector<double> out(values.size());
  kernel(values.data(), out.data(), values.size());
  for (std::size_t k = 0; k < values.size(); ++k) {
    EXPECT_TRUE(withinUlps(out[k], reference(values[k]), ulps))
        << what << "(" << values[k] << ") = " << out[k] << ", want " << reference(values[k]);
  }
  // Any length and any start give each element the same result, in place too.
  for (std::size_t start : {1, 3}) {
    for (std::size_t n : {1, 2, 5, 7, 9, 17}) {
      std::vector<double> part(values.begin() + start, values.begin() + start + n);
      kernel(part.data(), part.data(), n);
      for (std::size_t k = 0; k < n; ++k) EXPECT_EQ(part[k], out[start + k]) << what;
    }
  }
}

double logOrNaN(double x) {
  return x < 0 ? nan : std::log(x);
}

TEST(VectorMath, EveryInstructionSetMatchesTheCLibrary) {
  for (const KernelTable& t : availableTables()) {
    const std::string isa = t.name;
    std::vector<double> expArguments = testValues(-745, 709);
    expArguments.insert(expArguments.end(), {0.0, -0.0, -inf, inf, nan, -800, 800, 1e-300});
    expectMatches(
        isa + " exp", t.exp, [](double x) { return std::exp(x); }, expArguments);

    std::vector<double> logArguments = testValues(0, 2);
    for (double x : testValues(-300, 300)) logArguments.push_back(std::pow(10.0, x));
    logArguments.insert(logArguments.end(), {0.0, 1.0, inf, nan, 4.9e-324, 1e-310, -1, -inf});
    expectMatches(isa + " log", t.log, logOrNaN, logArguments);
    expectMatches(isa + " coarse log", t.logCoarse, logOrNaN, logArguments, 3.5);

    std::vector<double> atanArguments = testValues(-10, 10);
    atanArguments.insert(atanArguments.end(), {0.0, -0.0, inf, -inf, nan, 1e-300, 1e300});
    expectMatches(
        isa + " atan", t.atan, [](double x) { return std::atan(x); }, atanArguments);

    for (double exponent : {0.3, 1 / 0.3, 2.0, 0.5}) {
      std::vector<double> powArguments = testValues(0, 1);
      powArguments.insert(powArguments.end(), {0.0, 1.0, 1e-300, 4.9e-324, inf, nan, -0.5});
      auto kernel = [&](const double* in, double* out, std::size_t n) {
        t.pow(in, exponent, out, n);
      };
      auto reference = [exponent](double x) { return std::pow(x, exponent); };
      expectMatches(isa + " pow " + std::to_string(exponent), kernel, reference, powArguments);
    }
  }
}

TEST(VectorMath, DispatchesToTheWidestSetAvailable) {
  EXPECT_EQ(std::string(instructionSet()), availableTables().back().name);
  const double in[3] = {0.0, 1.0, -1.0};
  double out[3];
  exp(in, out, 3);
  EXPECT_EQ(out[0], 1.0);
  log(in, out, 3);
  EXPECT_EQ(out[0], -inf);
  EXPECT_EQ(out[1], 0.0);
  EXPECT_TRUE(std::isnan(out[2]));
}

}  // namespace
}  // namespace ulv::vmath
