#include "kernels/undecimated_filtering.hpp"

#include <algorithm>
#include <cstring>

#include "ulvadern/parallel.hpp"

namespace ulv {

namespace {

// The nonzero taps of h(1..n) centred on the output sample: h(k) reads the
// input (n + 1)/2 - k samples further on. Kept in the order conv2 adds them.
std::vector<Tap> centredTaps(const mxArray& h) {
  const auto n = static_cast<std::ptrdiff_t>(h.numel());
  const double* weights = h.data();
  std::vector<Tap> taps;
  for (std::ptrdiff_t k = 0; k < n; ++k) {
    if (weights[k] != 0.0) taps.push_back({weights[k], (n - 1) / 2 - k});
  }
  return taps;
}

std::ptrdiff_t reachOf(const std::vector<Tap>& taps) {
  std::ptrdiff_t reach = 0;
  for (const Tap& tap : taps) reach = std::max(reach, tap.offset < 0 ? -tap.offset : tap.offset);
  return reach;
}

// The image index that position t of an extended axis of n samples shows,
// or -1 where the extension holds zeros.
std::ptrdiff_t mirrored(std::ptrdiff_t t, std::size_t n, std::size_t width) {
  const auto size = static_cast<std::ptrdiff_t>(n);
  const auto w = static_cast<std::ptrdiff_t>(width);
  if (t >= 0 && t < size) return t;
  if (t < 0 && t >= -w) return -1 - t;
  if (t >= size && t < size + w) return 2 * size - 1 - t;
  return -1;
}

// out = (base + w1 * s1) + ... for up to four terms: base is 0 for the first
// pass over out (no zero fill beforehand), out itself after.
template <std::size_t kTerms, bool kFirst>
[[gnu::always_inline]] inline void addTerms(double* __restrict out, const Term* terms,
                                            std::size_t n) {
  const double* __restrict s[4] = {};
  double w[4] = {};
  for (std::size_t t = 0; t < kTerms; ++t) s[t] = terms[t].source, w[t] = terms[t].weight;
  for (std::size_t i = 0; i < n; ++i) {
    double sum = kFirst ? 0.0 : out[i];
    for (std::size_t t = 0; t < kTerms; ++t) sum = sum + w[t] * s[t][i];
    out[i] = sum;
  }
}

template <bool kFirst>
[[gnu::always_inline]] inline std::size_t addUpToFour(double* out, const Term* terms,
                                                      std::size_t count, std::size_t n) {
  if (count >= 4) return addTerms<4, kFirst>(out, terms, n), 4;
  if (count >= 2) return addTerms<2, kFirst>(out, terms, n), 2;
  return addTerms<1, kFirst>(out, terms, n), 1;
}

// out = ((0 + w1 * s1) + w2 * s2) + ...: the terms added in their order, as
// conv2 adds its taps, up to four per pass over out.
[[gnu::target_clones("avx512f", "avx2", "default")]] void sumTerms(double* __restrict out,
                                                                   const Term* terms,
                                                                   std::size_t count,
                                                                   std::size_t n) {
  if (count == 0) {
    std::fill_n(out, n, 0.0);
    return;
  }
  std::size_t k = addUpToFour<true>(out, terms, count, n);
  while (k < count) k += addUpToFour<false>(out, terms + k, count - k, n);
}

// The terms of output column j of a row filter: the columns j + offset, seen
// through the mirror, from `column`.
template <typename Column>
void rowTerms(const std::vector<Tap>& taps, const ExtendedImage& e, std::size_t j, Column column,
              std::vector<Term>& terms) {
  terms.clear();
  for (const Tap& tap : taps) {
    const std::ptrdiff_t c = mirrored(static_cast<std::ptrdiff_t>(j) + tap.offset, e.cols, e.width);
    if (c >= 0) terms.push_back({column(c), tap.weight});
  }
}

}  // namespace

bool isOddLengthFilter(const mxArray& filter) {
  return filter.classID() == mxDOUBLE_CLASS && filter.isVector() && filter.numel() % 2 == 1;
}

bool fitsMirror(const mxArray& image, std::size_t width) {
  return image.classID() == mxDOUBLE_CLASS && image.ndims() == 2 && !image.isEmpty() &&
         width <= image.rows() && width <= image.cols();
}

ExtendedImage mirrorExtension(const mxArray& image, std::size_t width) {
  return {image.data(), image.rows(), image.cols(), width};
}

ColumnFilter::ColumnFilter(const mxArray& h, const ExtendedImage& e) : e_(e) {
  const std::vector<Tap> taps = centredTaps(h);
  reach_ = reachOf(taps);
  extended_.resize(e.rows + 2 * static_cast<std::size_t>(reach_));
  for (const Tap& tap : taps)
    terms_.push_back({extended_.data() + reach_ + tap.offset, tap.weight});
}

void ColumnFilter::apply(std::size_t c, double* out) {
  const auto rows = static_cast<std::ptrdiff_t>(e_.rows);
  const double* source = e_.data + c * e_.rows;
  double* centre = extended_.data() + reach_;
  std::memcpy(centre, source, e_.rows * sizeof(double));
  for (std::ptrdiff_t t = 1; t <= reach_; ++t) {
    const std::ptrdiff_t before = mirrored(-t, e_.rows, e_.width);
    const std::ptrdiff_t after = mirrored(rows - 1 + t, e_.rows, e_.width);
    centre[-t] = before < 0 ? 0.0 : source[before];
    centre[rows - 1 + t] = after < 0 ? 0.0 : source[after];
  }
  sumTerms(out, terms_.data(), terms_.size(), e_.rows);
}

mxArray centralConv2(const mxArray& h, const ExtendedImage& e) {
  // Every column is written whole by sumTerms.
  mxArray result = mxArray::uninitialized({e.rows, e.cols});
  double* out = result.mutableData();
  const std::size_t grain = columnGrain(e.rows);
  if (h.rows() != 1) {
    parallelRanges(e.cols, grain, [&](std::size_t begin, std::size_t end) {
      ColumnFilter down(h, e);
      for (std::size_t c = begin; c < end; ++c) down.apply(c, out + c * e.rows);
    });
    return result;
  }
  const std::vector<Tap> taps = centredTaps(h);
  const auto imageColumn = [&e](std::ptrdiff_t c) { return e.data + c * e.rows; };
  parallelRanges(e.cols, grain, [&](std::size_t begin, std::size_t end) {
    std::vector<Term> terms;
    for (std::size_t j = begin; j < end; ++j) {
      rowTerms(taps, e, j, imageColumn, terms);
      sumTerms(out + j * e.rows, terms.data(), terms.size(), e.rows);
    }
  });
  return result;
}

// The row filter of output column j reads column-filtered columns within its
// reach of j (the mirror only folds them closer), so a ring of 2 * reach + 1
// columns (or all of them, if fewer) holds every column still needed, and
// each is filtered once.
SeparableBlock::SeparableBlock(const mxArray& u, const mxArray& v, const ExtendedImage& e)
    : u_(u), v_(v), down_(u, e), across_(centredTaps(v)), e_(e) {
  const std::size_t slots = std::min(2 * static_cast<std::size_t>(reachOf(across_)) + 1,
                                     std::max<std::size_t>(e.cols, 1));
  ring_.resize(slots * e.rows);
  ringHolds_.assign(slots, -1);
}

const double* SeparableBlock::columnFiltered(std::ptrdiff_t c) {
  const std::size_t slot = static_cast<std::size_t>(c) % ringHolds_.size();
  double* held = ring_.data() + slot * e_.rows;
  if (ringHolds_[slot] != c) {
    down_.apply(static_cast<std::size_t>(c), held);
    ringHolds_[slot] = c;
  }
  return held;
}

void SeparableBlock::column(std::size_t j, double* out) {
  rowTerms(
      across_, e_, j, [this](std::ptrdiff_t c) { return columnFiltered(c); }, terms_);
  sumTerms(out, terms_.data(), terms_.size(), e_.rows);
}

mxArray SeparableBlock::toArray() const {
  // Every column is written whole by column().
  mxArray result = mxArray::uninitialized({e_.rows, e_.cols});
  double* out = result.mutableData();
  parallelRanges(e_.cols, columnGrain(e_.rows), [&](std::size_t begin, std::size_t end) {
    SeparableBlock block = fresh();
    for (std::size_t j = begin; j < end; ++j) block.column(j, out + j * e_.rows);
  });
  return result;
}

mxArray centralConv2(const mxArray& u, const mxArray& v, const ExtendedImage& e) {
  return SeparableBlock(u, v, e).toArray();
}

}  // namespace ulv
