// wfilters(name) -> [LoD, HiD, LoR, HiR], four row vectors of equal length;
// wfilters(name, "d") -> [LoD, HiD], "r" -> [LoR, HiR], "l" -> [LoD, LoR],
// "h" -> [HiD, HiR].
//
// The table holds the two low-pass filters; the high-pass ones follow by the
// quadrature-mirror rule: HiR = qmf(reverse(LoD)) and HiD = reverse(qmf(LoR)),
// qmf reversing a filter and negating its even (1-based) elements. For an
// orthogonal wavelet this gives HiD(k) = (-1)^k LoD(end+1-k). A reversed
// biorthogonal wavelet rbioN.M swaps the roles of the pair of biorN.M:
// LoD = reverse(LoR of biorN.M), LoR = reverse(LoD of biorN.M).
#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

#include "host/functions/functions.hpp"
#include "host/functions/hostfn_checks.hpp"
#include "host/functions/wavelet_tables.hpp"
#include "ulvadern/errors.hpp"

namespace ulv::hostfn {

namespace {

using Filter = std::vector<double>;

Filter reversed(Filter f) {
  std::reverse(f.begin(), f.end());
  return f;
}

Filter qmf(const Filter& f) {
  Filter g = reversed(f);
  for (std::size_t k = 1; k < g.size(); k += 2) g[k] = -g[k];
  return g;
}

struct LowPass {
  Filter decomposition;
  Filter reconstruction;
};

std::string lowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// Names are matched regardless of case.
LowPass lowPassOf(const std::string& givenName) {
  const std::string name = lowerCase(givenName);
  const bool reverseBiorthogonal = name.starts_with("rbio");
  const wavelets::LowPassPair* pair =
      wavelets::findLowPassPair(reverseBiorthogonal ? "bior" + name.substr(4) : name);
  if (pair == nullptr) hostError("wfilters: unknown wavelet name '" + givenName + "'.");
  Filter lod(pair->decomposition.begin(), pair->decomposition.end());
  if (pair->reconstruction.empty()) return {lod, reversed(lod)};
  Filter lor(pair->reconstruction.begin(), pair->reconstruction.end());
  if (reverseBiorthogonal) return {reversed(lor), reversed(lod)};
  return {lod, lor};
}

// Positions among LoD, HiD, LoR, HiR that an option selects.
std::vector<std::size_t> selected(const Inputs& in) {
  if (in.size() < 2) return {0, 1, 2, 3};
  const std::string option = requireText("wfilters", in[1], "the option");
  if (option == "d") return {0, 1};
  if (option == "r") return {2, 3};
  if (option == "l") return {0, 2};
  if (option == "h") return {1, 3};
  hostError("wfilters: unknown option '" + option + "'; expected 'd', 'r', 'l' or 'h'.");
}

mxArray rowOf(const Filter& f) {
  return mxArray::fromVector({1, f.size()}, f);
}

}  // namespace

Outputs wfilters(int, const Inputs& in) {
  requireInputCount("wfilters", in, 1, 2);
  const LowPass low = lowPassOf(requireText("wfilters", in[0], "the wavelet name"));
  const std::array<Filter, 4> bank{low.decomposition, reversed(qmf(low.reconstruction)),
                                   low.reconstruction, qmf(reversed(low.decomposition))};
  Outputs out;
  for (std::size_t k : selected(in)) out.push_back(rowOf(bank[k]));
  return out;
}

}  // namespace ulv::hostfn
