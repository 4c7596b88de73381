#include "denoise/fused_steps.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <mutex>
#include <vector>

#include "host/numerics/vector_math.hpp"
#include "kernels/gaussian.hpp"
#include "ulvadern/parallel.hpp"
#include "ulvadern/random.hpp"

namespace ulv::denoise {

namespace {

// Elements per block of the vectorised steps: the work arrays stay in cache.
constexpr std::size_t kBlock = 1024;

// step(start, count) for consecutive blocks covering 0 .. n - 1, spread over
// the worker threads: each block is computed alike whichever thread takes it.
template <class Step>
void inParallelBlocks(std::size_t n, Step step) {
  const std::size_t blocks = (n + kBlock - 1) / kBlock;
  parallelRanges(blocks, kParallelGrain / kBlock, [&](std::size_t first, std::size_t last) {
    const std::size_t end = std::min(n, last * kBlock);
    for (std::size_t start = first * kBlock; start < end; start += kBlock)
      step(start, std::min(kBlock, end - start));
  });
}

// body(begin, end) over the elements 0 .. n - 1, spread over the threads.
template <class Body>
void inParallelRanges(std::size_t n, Body body) {
  parallelRanges(n, kParallelGrain, body);
}

std::size_t pageSize(const mxArray& a) {
  return a.rows() * a.cols();
}

// exp(-((v / width) .^ 2)) / width for a block.
void component(const double* v, std::size_t n, double width, double* out) {
  gaussianShapes(v, n, width, out);
  const double reciprocal = 1 / width;
  for (std::size_t k = 0; k < n; ++k) out[k] *= reciprocal;
}

// out = in .^ exponent (out may be in). A non-integer exponent with
// 0 < |exponent| <= 4 (the fusion's pot and 1/pot) goes as
// exp(exponent * log(in)), several times faster than pow and within
// |exponent| * (log's error) + 2 ulps of it. |log(in)| < 745 for every
// double, so a 1-ulp log keeps that under 1e-12 relative, and so does the
// 3.5-ulp log (at half the cost) for |exponent| <= 1. Integer exponents,
// where a negative base has a real power, and the rest take pow.
void raiseToPower(const double* in, double* out, std::size_t n, double exponent) {
  if (exponent == std::trunc(exponent) || !(std::abs(exponent) <= 4)) {
    vmath::pow(in, exponent, out, n);
    return;
  }
  if (std::abs(exponent) <= 1) {
    vmath::logCoarse(in, out, n);
  } else {
    vmath::log(in, out, n);
  }
  for (std::size_t k = 0; k < n; ++k) out[k] *= exponent;
  vmath::exp(out, out, n);
}

Dims pageDims(const mxArray& stack) {
  return {stack.rows(), stack.cols()};
}

}  // namespace

mxArray anglesOfPages(const mxArray& ch, const mxArray& cv, double offset, std::size_t first,
                      std::size_t last) {
  const std::size_t page = pageSize(ch);
  Dims dims = {ch.rows(), ch.cols(), last - first + 1};
  mxArray angles = mxArray::uninitialized(normalizeDims(dims));
  const double* h = ch.data() + (first - 1) * page;
  const double* v = cv.data() + (first - 1) * page;
  double* out = angles.mutableData();
  inParallelBlocks(angles.numel(), [&](std::size_t start, std::size_t n) {
    for (std::size_t k = start; k < start + n; ++k) out[k] = h[k] / (v[k] + offset);
    vmath::atan(out + start, out + start, n);
  });
  return angles;
}

NormalisedPage normalisedPage(const mxArray& stack, std::size_t page, mxArray into) {
  const std::size_t size = pageSize(stack);
  const double* p = stack.data() + (page - 1) * size;
  // The largest magnitude, NaN only where every element is NaN: the same
  // whichever way the page is cut, as max is taken of each part, then of
  // the parts.
  const auto larger = [](double largest, double magnitude) {
    return std::isnan(largest) || magnitude > largest ? magnitude : largest;
  };
  std::vector<double> partLargest;
  std::mutex parts;
  inParallelRanges(size, [&](std::size_t begin, std::size_t end) {
    double largest = std::numeric_limits<double>::quiet_NaN();
    for (std::size_t k = begin; k < end; ++k) largest = larger(largest, std::abs(p[k]));
    const std::lock_guard lock(parts);
    partLargest.push_back(largest);
  });
  double largest = std::numeric_limits<double>::quiet_NaN();
  for (const double part : partLargest) largest = larger(largest, part);
  const bool lent = into.classID() == mxDOUBLE_CLASS && into.dims() == pageDims(stack);
  mxArray values = lent ? std::move(into) : mxArray::uninitialized(pageDims(stack));
  double* out = values.mutableData();
  inParallelRanges(size, [&](std::size_t begin, std::size_t end) {
    for (std::size_t k = begin; k < end; ++k) out[k] = p[k] / largest;
  });
  return {std::move(values), largest};
}

std::vector<std::size_t> samplePositions(const mxArray& H, const mxArray& W, double threshold) {
  std::vector<std::size_t> positions;
  const auto count = static_cast<std::size_t>(H.scalarValue() * W.scalarValue());
  if (drawPositionsAtMost(count, threshold, positions)) return positions;
  const mxArray draws = mlfNRand({H, W});
  for (std::size_t k = 0; k < draws.numel(); ++k) {
    if (draws.data()[k] <= threshold) positions.push_back(k);
  }
  return positions;
}

mxArray valuesAt(const mxArray& v, const std::vector<std::size_t>& positions) {
  mxArray sample = mxArray::uninitialized({positions.size(), 1});
  double* out = sample.mutableData();
  for (const std::size_t p : positions) *out++ = v.data()[p];
  return sample;
}

void edgePosterior(const mxArray& v, const MixtureParameters& p, double* out) {
  inParallelBlocks(v.numel(), [&](std::size_t start, std::size_t n) {
    std::array<double, kBlock> noise, edge;
    component(v.data() + start, n, p.x1, noise.data());
    component(v.data() + start, n, p.x2, edge.data());
    for (std::size_t k = 0; k < n; ++k) {
      const double e = p.ped * edge[k];
      out[start + k] = e / ((p.pn * noise[k] + e) + p.guard);
    }
  });
}

void raiseToPowerInPlace(mxArray& stack, double exponent) {
  double* values = stack.mutableData();
  inParallelBlocks(stack.numel(), [&](std::size_t start, std::size_t n) {
    raiseToPower(values + start, values + start, n, exponent);
  });
}

mxArray powerMean(const std::vector<const double*>& pages, const Dims& dims, double count,
                  double exponent) {
  mxArray mean = mxArray::uninitialized(dims);
  double* out = mean.mutableData();
  inParallelBlocks(mean.numel(), [&](std::size_t start, std::size_t n) {
    std::copy_n(pages.front() + start, n, out + start);
    for (std::size_t p = 1; p < pages.size(); ++p) {
      const double* page = pages[p] + start;
      for (std::size_t k = 0; k < n; ++k) out[start + k] += page[k];
    }
    for (std::size_t k = start; k < start + n; ++k) out[k] /= count;
    raiseToPower(out + start, out + start, n, exponent);
  });
  return mean;
}

}  // namespace ulv::denoise
