#include "image_planes.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "image_samples.hpp"

namespace ulvcli {

namespace {

// Rec. 601 luma weights of R, G and B.
constexpr double kLumaR = 0.299;
constexpr double kLumaG = 0.587;
constexpr double kLumaB = 0.114;

constexpr double kLibraryScale = 255.0;

}  // namespace

Planes splitPlanes(const Image& image, bool luma) {
  Planes planes{image.width, image.height, {}, {}};
  const std::size_t pixels = static_cast<std::size_t>(image.width) * image.height;
  const int n = image.channels;
  const bool hasAlpha = n == 2 || n == 4;
  const int colourChannels = hasAlpha ? n - 1 : n;
  const bool toGray = luma && colourChannels == 3;
  planes.colour.assign(toGray ? 1 : colourChannels, std::vector<double>(pixels));
  if (hasAlpha) planes.alpha.resize(pixels);
  const double scale = kLibraryScale / ulvimage::fullScale(image.type);
  for (std::size_t p = 0; p < pixels; ++p) {
    double pixel[4];
    for (int c = 0; c < n; ++c) pixel[c] = image.samples[p * n + c] * scale;
    if (toGray) {
      planes.colour[0][p] = kLumaR * pixel[0] + kLumaG * pixel[1] + kLumaB * pixel[2];
    } else {
      for (int c = 0; c < colourChannels; ++c) planes.colour[c][p] = pixel[c];
    }
    if (hasAlpha) planes.alpha[p] = pixel[n - 1];
  }
  return planes;
}

Image joinPlanes(const Planes& planes, SampleType type) {
  const int n = static_cast<int>(planes.colour.size()) + (planes.alpha.empty() ? 0 : 1);
  const std::size_t pixels = static_cast<std::size_t>(planes.width) * planes.height;
  Image image{planes.width, planes.height, n, type, std::vector<double>(pixels * n), {}};
  const double scale = ulvimage::fullScale(type) / kLibraryScale;
  const auto scaled = [scale](double v) { return std::clamp(v, 0.0, kLibraryScale) * scale; };
  for (std::size_t p = 0; p < pixels; ++p) {
    double* pixel = &image.samples[p * n];
    for (std::size_t c = 0; c < planes.colour.size(); ++c) pixel[c] = scaled(planes.colour[c][p]);
    if (!planes.alpha.empty()) pixel[n - 1] = scaled(planes.alpha[p]);
  }
  return image;
}

namespace {

// out (c x r, row-major) = the transpose of in (r x c, row-major), in tiles
// small enough that the lines of both stay in the cache: a plain loop jumps
// a whole row or column at every element.
void transpose(const double* in, std::size_t r, std::size_t c, double* out) {
  constexpr std::size_t kTile = 32;
  for (std::size_t r0 = 0; r0 < r; r0 += kTile) {
    const std::size_t r1 = std::min(r, r0 + kTile);
    for (std::size_t c0 = 0; c0 < c; c0 += kTile) {
      const std::size_t c1 = std::min(c, c0 + kTile);
      for (std::size_t i = r0; i < r1; ++i) {
        for (std::size_t j = c0; j < c1; ++j) out[j * r + i] = in[i * c + j];
      }
    }
  }
}

}  // namespace

ulv::mxArray planeToMatrix(const std::vector<double>& plane, int width, int height) {
  const std::size_t rows = static_cast<std::size_t>(height);
  const std::size_t cols = static_cast<std::size_t>(width);
  ulv::mxArray matrix = ulv::mxArray::uninitialized({rows, cols});
  transpose(plane.data(), rows, cols, matrix.mutableData());
  return matrix;
}

std::vector<double> matrixToPlane(const ulv::mxArray& matrix) {
  std::vector<double> plane(matrix.numel());
  transpose(matrix.data(), matrix.cols(), matrix.rows(), plane.data());
  return plane;
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
