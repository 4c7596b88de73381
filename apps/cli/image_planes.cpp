#include "image_planes.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "image_samples.hpp"
#include "ulvadern/parallel.hpp"

namespace ulvcli {

namespace {

// Rec. 601 luma weights of R, G and B.
constexpr double kLumaR = 0.299;
constexpr double kLumaG = 0.587;
constexpr double kLumaB = 0.114;

constexpr double kLibraryScale = 255.0;

// How an image's channels become planes.
struct Layout {
  int channels;        // per pixel, alpha included
  bool alpha;          // the last channel is alpha
  bool toGray;         // three colour channels into one gray plane
  std::size_t planes;  // colour planes
  double scale;        // samples to 0..255

  Layout(const Image& image, bool luma)
      : channels(image.channels),
        alpha(image.channels == 2 || image.channels == 4),
        toGray(luma && channels - (alpha ? 1 : 0) == 3),
        planes(toGray ? 1 : static_cast<std::size_t>(channels - (alpha ? 1 : 0))),
        scale(kLibraryScale / ulvimage::fullScale(image.type)) {}

  // Colour plane `plane` at pixel p, 0..255.
  double colour(const Image& image, std::size_t p, std::size_t plane) const {
    const double* pixel = &image.samples[p * static_cast<std::size_t>(channels)];
    if (toGray)
      return kLumaR * (pixel[0] * scale) + kLumaG * (pixel[1] * scale) +
             kLumaB * (pixel[2] * scale);
    return pixel[plane] * scale;
  }
  double alphaAt(const Image& image, std::size_t p) const {
    return image.samples[(p + 1) * static_cast<std::size_t>(channels) - 1] * scale;
  }
};

// A 0..255 value as a sample of an image whose full scale is 255 * toSample.
double sampleOf(double value, double toSample) {
  return std::clamp(value, 0.0, kLibraryScale) * toSample;
}

// visit(r, c) for every pixel of a height x width image, in square tiles so
// that row-major and column-major arrays read or written together stay in
// the cache (a plain loop jumps a whole row or column at every pixel); bands
// of tile rows spread over the worker threads.
template <class Visit>
void inTiles(int width, int height, Visit visit) {
  constexpr std::size_t kTile = 32;
  const auto rows = static_cast<std::size_t>(height), cols = static_cast<std::size_t>(width);
  const std::size_t bands = (rows + kTile - 1) / kTile;
  const std::size_t grain = std::max<std::size_t>(1, ulv::kParallelGrain / (kTile * cols + 1));
  ulv::parallelRanges(bands, grain, [&](std::size_t first, std::size_t last) {
    for (std::size_t r0 = first * kTile; r0 < std::min(rows, last * kTile); r0 += kTile) {
      const std::size_t r1 = std::min(rows, r0 + kTile);
      for (std::size_t c0 = 0; c0 < cols; c0 += kTile) {
        const std::size_t c1 = std::min(cols, c0 + kTile);
        for (std::size_t c = c0; c < c1; ++c) {
          for (std::size_t r = r0; r < r1; ++r) visit(r, c);
        }
      }
    }
  });
}

}  // namespace

std::size_t colourPlaneCount(const Image& image, bool luma) {
  return Layout(image, luma).planes;
}

bool hasAlpha(const Image& image) {
  return Layout(image, false).alpha;
}

Planes splitPlanes(const Image& image, bool luma) {
  const Layout layout(image, luma);
  Planes planes{image.width, image.height, {}, {}};
  const std::size_t pixels = ulvimage::pixelCount(image.width, image.height);
  planes.colour.assign(layout.planes, std::vector<double>(pixels));
  if (layout.alpha) planes.alpha.resize(pixels);
  for (std::size_t p = 0; p < pixels; ++p) {
    for (std::size_t c = 0; c < layout.planes; ++c)
      planes.colour[c][p] = layout.colour(image, p, c);
    if (layout.alpha) planes.alpha[p] = layout.alphaAt(image, p);
  }
  return planes;
}

ulv::mxArray planeMatrix(const Image& image, std::size_t plane, bool luma) {
  const Layout layout(image, luma);
  const auto rows = static_cast<std::size_t>(image.height);
  const auto cols = static_cast<std::size_t>(image.width);
  ulv::mxArray matrix = ulv::mxArray::uninitialized({rows, cols});
  double* out = matrix.mutableData();
  inTiles(image.width, image.height, [&](std::size_t r, std::size_t c) {
    out[c * rows + r] = layout.colour(image, r * cols + c, plane);
  });
  return matrix;
}

Image blankImage(int width, int height, int channels, SampleType type) {
  const std::size_t samples =
      ulvimage::pixelCount(width, height) * static_cast<std::size_t>(channels);
  return Image{width, height, channels, type, std::vector<double>(samples), {}};
}

void setPlane(Image& image, std::size_t plane, const ulv::mxArray& matrix) {
  const double toSample = ulvimage::fullScale(image.type) / kLibraryScale;
  const auto rows = static_cast<std::size_t>(image.height);
  const auto cols = static_cast<std::size_t>(image.width);
  const auto channels = static_cast<std::size_t>(image.channels);
  const double* in = matrix.data();
  double* samples = image.samples.data();
  inTiles(image.width, image.height, [&](std::size_t r, std::size_t c) {
    samples[(r * cols + c) * channels + plane] = sampleOf(in[c * rows + r], toSample);
  });
}

void copyAlpha(const Image& from, Image& to) {
  const Layout layout(from, false);
  const double toSample = ulvimage::fullScale(to.type) / kLibraryScale;
  const auto channels = static_cast<std::size_t>(to.channels);
  const std::size_t pixels = ulvimage::pixelCount(to.width, to.height);
  for (std::size_t p = 0; p < pixels; ++p) {
    to.samples[(p + 1) * channels - 1] = sampleOf(layout.alphaAt(from, p), toSample);
  }
}

double psnr(const Planes& a, const Planes& b) {
  if (a.width != b.width || a.height != b.height || a.colour.size() != b.colour.size()) {
    throw std::runtime_error("the images differ in size or number of channels");
  }
  double sum = 0;
  std::size_t count = 0;
  for (std::size_t c = 0; c < a.colour.size(); ++c) {
    for (std::size_t p = 0; p < a.colour[c].size(); ++p) {
      const double d = a.colour[c][p] - b.colour[c][p];
      sum += d * d;
    }
    count += a.colour[c].size();
  }
  if (sum == 0) return std::numeric_limits<double>::infinity();
  return 10 * std::log10(255.0 * 255.0 * static_cast<double>(count) / sum);
}

}  // namespace ulvcli
