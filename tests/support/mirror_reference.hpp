// An independent reference for the undecimated filtering tests: images read
// through the mirror formula sample by sample, filters applied by explicit
// loops, no convolution routine and no crop.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include "host/functions/functions.hpp"
#include "ulvadern/array.hpp"

namespace ulv::test {

// Sample (r, c), 1-based and possibly outside, of page p of `a` read through
// the mirror of `width` (the border sample repeated), zero beyond it.
inline double mirrorAt(const mxArray& a, long r, long c, long width, std::size_t p = 1) {
  const auto fold = [width](long t, long n) {
    if (t < 1 && t >= 1 - width) return 1 - t;
    if (t > n && t <= n + width) return 2 * n + 1 - t;
    return t;
  };
  const long rows = static_cast<long>(a.rows()), cols = static_cast<long>(a.cols());
  r = fold(r, rows);
  c = fold(c, cols);
  if (r < 1 || r > rows || c < 1 || c > cols) return 0.0;
  return a.at(static_cast<std::size_t>(r - 1) +
              a.rows() * (static_cast<std::size_t>(c - 1) + a.cols() * (p - 1)));
}

// A rows x cols matrix with element (r, c) = f(r, c), 1-based.
inline mxArray matrixOf(std::size_t rows, std::size_t cols,
                        const std::function<double(long, long)>& f) {
  mxArray m = mxArray::zeros({rows, cols});
  double* d = m.mutableData();
  for (std::size_t c = 0; c < cols; ++c) {
    for (std::size_t r = 0; r < rows; ++r) {
      d[r + c * rows] = f(static_cast<long>(r + 1), static_cast<long>(c + 1));
    }
  }
  return m;
}

// Uniform values in [low, high), or whole numbers there when `whole`.
inline mxArray randomArray(Dims dims, std::uint32_t seed, double low, double high,
                           bool whole = false) {
  std::mt19937 engine(seed);
  std::uniform_real_distribution<double> uniform(low, high);
  mxArray a = mxArray::zeros(std::move(dims));
  double* d = a.mutableData();
  for (std::size_t k = 0; k < a.numel(); ++k) {
    d[k] = whole ? static_cast<double>(static_cast<long>(uniform(engine))) : uniform(engine);
  }
  return a;
}

// taps spread `spacing` apart, as the transform dilates its filters.
inline mxArray dilated(const std::vector<double>& taps, std::size_t spacing) {
  mxArray f = mxArray::zeros({1, 1 + (taps.size() - 1) * spacing});
  for (std::size_t m = 0; m < taps.size(); ++m) f.mutableData()[m * spacing] = taps[m];
  return f;
}

// x extended by `width` samples on every side through the mirror.
inline mxArray extendByMirror(const mxArray& x, std::size_t width, std::size_t p = 1) {
  const long w = static_cast<long>(width);
  return matrixOf(x.rows() + 2 * width, x.cols() + 2 * width,
                  [&](long r, long c) { return mirrorAt(x, r - w, c - w, w, p); });
}

// The host's wkeep(full, [rows cols]).
inline mxArray keepCentral(const mxArray& full, std::size_t rows, std::size_t cols) {
  const mxArray size = mxArray::row({static_cast<double>(rows), static_cast<double>(cols)});
  return hostfn::wkeep(1, {full, size})[0];
}

// The largest difference between two arrays of one size.
inline double maxDifference(const mxArray& a, const mxArray& b) {
  double worst = 0;
  for (std::size_t k = 0; k < a.numel(); ++k) {
    const double d = a.at(k) > b.at(k) ? a.at(k) - b.at(k) : b.at(k) - a.at(k);
    if (!(d <= worst)) worst = d;
  }
  return worst;
}

}  // namespace ulv::test
