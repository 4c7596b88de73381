#include "transform/undecimated_filtering.hpp"

#include <algorithm>
#include <cstring>
#include <vector>

namespace ulv {

namespace {

// Output sample i reads input sample i + offset.
struct Tap {
  double weight;
  std::ptrdiff_t offset;
};

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

[[gnu::target_clones("avx2", "default")]] void addScaled(double* __restrict dst,
                                                         const double* __restrict src,
                                                         double weight, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) dst[i] += weight * src[i];
}

// Every column of the extended image filtered along its length, central rows only.
void filterColumns(const std::vector<Tap>& taps, const ExtendedImage& e, double* out) {
  const std::ptrdiff_t reach = reachOf(taps);
  const auto rows = static_cast<std::ptrdiff_t>(e.rows);
  std::vector<double> column(e.rows + 2 * static_cast<std::size_t>(reach));
  double* centre = column.data() + reach;
  for (std::size_t c = 0; c < e.cols; ++c) {
    const double* source = e.data + c * e.rows;
    std::memcpy(centre, source, e.rows * sizeof(double));
    for (std::ptrdiff_t t = 1; t <= reach; ++t) {
      const std::ptrdiff_t before = mirrored(-t, e.rows, e.width);
      const std::ptrdiff_t after = mirrored(rows - 1 + t, e.rows, e.width);
      centre[-t] = before < 0 ? 0.0 : source[before];
      centre[rows - 1 + t] = after < 0 ? 0.0 : source[after];
    }
    double* target = out + c * e.rows;
    for (const Tap& tap : taps) addScaled(target, centre + tap.offset, tap.weight, e.rows);
  }
}

// Every row of the extended image filtered along its length, central columns
// only: output column j gathers the columns j + offset seen through the mirror.
void filterRows(const std::vector<Tap>& taps, const ExtendedImage& e, double* out) {
  for (std::size_t j = 0; j < e.cols; ++j) {
    double* target = out + j * e.rows;
    for (const Tap& tap : taps) {
      const std::ptrdiff_t c =
          mirrored(static_cast<std::ptrdiff_t>(j) + tap.offset, e.cols, e.width);
      if (c >= 0) addScaled(target, e.data + c * e.rows, tap.weight, e.rows);
    }
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

mxArray centralConv2(const mxArray& h, const ExtendedImage& e) {
  mxArray out = mxArray::zeros({e.rows, e.cols});
  if (h.rows() == 1) {
    filterRows(centredTaps(h), e, out.mutableData());
  } else {
    filterColumns(centredTaps(h), e, out.mutableData());
  }
  return out;
}

mxArray centralConv2(const mxArray& u, const mxArray& v, const ExtendedImage& e) {
  std::vector<double> columnsFiltered(e.rows * e.cols, 0.0);
  filterColumns(centredTaps(u), e, columnsFiltered.data());
  mxArray out = mxArray::zeros({e.rows, e.cols});
  filterRows(centredTaps(v), {columnsFiltered.data(), e.rows, e.cols, e.width}, out.mutableData());
  return out;
}

}  // namespace ulv
