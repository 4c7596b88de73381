#include <cmath>
#include <string>
#include <vector>

#include "host/functions/functions.hpp"
#include "support/test_support.hpp"

namespace ulv::test {
namespace {

using Filter = std::vector<double>;
const double kSqrt2 = std::sqrt(2.0);
constexpr double kTolerance = 1e-14;

struct Bank {
  Filter lod, hid, lor, hir;
};

Filter valuesOf(const mxArray& a) {
  EXPECT_EQ(a.rows(), 1u);
  return {a.data(), a.data() + a.numel()};
}

Bank bankOf(const std::string& name) {
  const hostfn::Outputs f = hostfn::wfilters(4, {mxArray::string(name)});
  return {valuesOf(f[0]), valuesOf(f[1]), valuesOf(f[2]), valuesOf(f[3])};
}

std::vector<std::string> named(const std::string& prefix, std::vector<std::string> suffixes) {
  for (std::string& s : suffixes) s = prefix + s;
  return suffixes;
}

std::vector<std::string> orthogonalNames() {
  std::vector<std::string> names{"haar"};
  for (int n = 1; n <= 10; ++n) names.push_back("db" + std::to_string(n));
  for (int n = 2; n <= 8; ++n) names.push_back("sym" + std::to_string(n));
  for (int n = 1; n <= 5; ++n) names.push_back("coif" + std::to_string(n));
  return names;
}

const std::vector<std::string> kBiorthogonalOrders{"1.1", "1.3", "1.5", "2.2", "2.4",
                                                   "2.6", "2.8", "3.1", "3.3", "3.5",
                                                   "3.7", "3.9", "4.4", "5.5", "6.8"};

Filter reversed(Filter f) {
  return {f.rbegin(), f.rend()};
}
Filter alternated(Filter f) {
  for (std::size_t k = 1; k < f.size(); k += 2) f[k] = -f[k];
  return f;
}
double sum(const Filter& f, std::size_t shift = 0, const Filter* g = nullptr) {
  double s = 0;
  for (std::size_t k = shift; k < f.size(); ++k) s += f[k] * (g != nullptr ? (*g)[k - shift] : 1.0);
  return s;
}
Filter convolved(const Filter& a, const Filter& b) {
  Filter c(a.size() + b.size() - 1, 0.0);
  for (std::size_t i = 0; i < a.size(); ++i)
    for (std::size_t j = 0; j < b.size(); ++j) c[i + j] += a[i] * b[j];
  return c;
}

TEST(WaveletFilters, OrthogonalFamiliesAreOrthonormalQuadratureMirrors) {
  for (const std::string& name : orthogonalNames()) {
    SCOPED_TRACE(name);
    const Bank b = bankOf(name);
    const std::size_t n = b.lod.size();
    ASSERT_EQ(n % 2, 0u);
    EXPECT_NEAR(sum(b.lod), kSqrt2, kTolerance);
    EXPECT_NEAR(sum(b.lod, 0, &b.lod), 1.0, kTolerance);
    for (std::size_t shift = 2; shift < n; shift += 2)
      EXPECT_NEAR(sum(b.lod, shift, &b.lod), 0, kTolerance);
    for (std::size_t k = 1; k <= n; ++k) {  // 1-based, as the identities are written
      EXPECT_EQ(b.hid[k - 1], (k % 2 ? -1 : 1) * b.lod[n - k]);
    }
    EXPECT_EQ(b.lor, reversed(b.lod));
    EXPECT_EQ(b.hir, reversed(b.hid));
  }
  EXPECT_EQ(bankOf("db7").lod.size(), 14u);
  EXPECT_EQ(bankOf("sym8").lod.size(), 16u);
  EXPECT_EQ(bankOf("coif5").lod.size(), 30u);
}

TEST(WaveletFilters, BiorthogonalPairsReconstructPerfectly) {
  std::vector<std::string> names = named("bior", kBiorthogonalOrders);
  for (const std::string& name : named("rbio", kBiorthogonalOrders)) names.push_back(name);
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const Bank b = bankOf(name);
    const std::size_t n = b.lod.size();
    for (const Filter* f : {&b.hid, &b.lor, &b.hir}) ASSERT_EQ(f->size(), n);
    EXPECT_NEAR(sum(b.lod), kSqrt2, kTolerance);
    EXPECT_NEAR(sum(b.lor), kSqrt2, kTolerance);
    const Filter direct = convolved(b.lod, b.lor);
    const Filter detail = convolved(b.hid, b.hir);
    const Filter alias = convolved(alternated(b.lod), b.lor);
    const Filter aliasDetail = convolved(alternated(b.hid), b.hir);
    for (std::size_t k = 0; k < direct.size(); ++k) {
      EXPECT_NEAR(direct[k] + detail[k], k == n - 1 ? 2.0 : 0.0, kTolerance) << k;
      EXPECT_NEAR(alias[k] + aliasDetail[k], 0.0, kTolerance) << k;
    }
  }
  const Bank bior = bankOf("bior3.5");
  const Bank rbio = bankOf("rbio3.5");
  EXPECT_EQ(rbio.lod, reversed(bior.lor));
  EXPECT_EQ(rbio.lor, reversed(bior.lod));
}

TEST(WaveletFilters, KnownCoefficients) {
  const double s3 = std::sqrt(3.0);
  const double d = 4 * kSqrt2;
  const Filter db2{(1 - s3) / d, (3 - s3) / d, (3 + s3) / d, (1 + s3) / d};
  const Bank b = bankOf("db2");
  for (std::size_t k = 0; k < 4; ++k) EXPECT_NEAR(b.lod[k], db2[k], 5e-16);
  EXPECT_EQ(bankOf("haar").lod, (Filter{M_SQRT1_2, M_SQRT1_2}));
  const Bank bior22 = bankOf("bior2.2");
  const Filter lod22{0, -kSqrt2 / 8, kSqrt2 / 4, 3 * kSqrt2 / 4, kSqrt2 / 4, -kSqrt2 / 8};
  for (std::size_t k = 0; k < 6; ++k) EXPECT_NEAR(bior22.lod[k], lod22[k], 5e-16);
  EXPECT_EQ(bior22.lor, (Filter{0, kSqrt2 / 4, kSqrt2 / 2, kSqrt2 / 4, 0, 0}));
  EXPECT_NEAR(bankOf("sym4").lod[0], -0.075765714789273, 1e-12);
  EXPECT_NEAR(bankOf("coif1").lod[0], -0.015655728135465, 1e-12);
  EXPECT_NEAR(bankOf("bior4.4").lod[5], 0.852698679009404, 1e-12);
}

TEST(WaveletFilters, OptionsSelectPairs) {
  const Bank b = bankOf("sym3");
  auto pair = [](const char* option) {
    const hostfn::Outputs f =
        hostfn::wfilters(2, {mxArray::string("SYM3"), mxArray::string(option)});
    EXPECT_EQ(f.size(), 2u);
    return std::make_pair(valuesOf(f[0]), valuesOf(f[1]));
  };
  EXPECT_EQ(pair("d"), std::make_pair(b.lod, b.hid));
  EXPECT_EQ(pair("r"), std::make_pair(b.lor, b.hir));
  EXPECT_EQ(pair("l"), std::make_pair(b.lod, b.lor));
  EXPECT_EQ(pair("h"), std::make_pair(b.hid, b.hir));
}

TEST(WaveletFilters, UnknownNamesAndOptionsAreErrors) {
  EXPECT_EQ(hostErrorOf([] { bankOf("db11"); }), "wfilters: unknown wavelet name 'db11'.");
  EXPECT_EQ(hostErrorOf([] { bankOf("rbio4.5"); }), "wfilters: unknown wavelet name 'rbio4.5'.");
  EXPECT_NE(hostErrorOf([] { bankOf("rbiodb2"); }), "");
  EXPECT_NE(hostErrorOf([] { hostfn::wfilters(1, {mxArray::scalar(2)}); }), "");
  EXPECT_NE(hostErrorOf([] {
              hostfn::wfilters(1, {mxArray::string("db2"), mxArray::string("x")});
            }),
            "");
}

}  // namespace
}  // namespace ulv::test
