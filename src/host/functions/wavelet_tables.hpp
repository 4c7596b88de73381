// The filter table behind wfilters.
#pragma once

#include <span>
#include <string_view>

namespace ulv::wavelets {

// The decomposition and reconstruction low-pass filters of one wavelet, as
// wfilters returns them (a biorthogonal pair zero-padded to equal lengths).
// The high-pass filters follow from these two, and the reversed
// biorthogonal ("rbio") wavelets from the biorthogonal ones.
struct LowPassPair {
  std::string_view name;
  std::span<const double> decomposition;
  // Empty for an orthogonal wavelet, whose reconstruction filter is the
  // decomposition filter reversed.
  std::span<const double> reconstruction;
};

// "haar", "db1".."db10", "sym2".."sym8", "coif1".."coif5" and "bior1.1" ..
// "bior6.8"; null for any other name.
const LowPassPair* findLowPassPair(std::string_view name);
std::span<const LowPassPair> lowPassPairs();

}  // namespace ulv::wavelets
