#include "pixel_budget.hpp"

#include <cstdio>
#include <limits>
#include <string>

#include "host/files/matfile_layout.hpp"

namespace ulvimage {

namespace {

constexpr std::uint64_t kDoublesPerPixel = 30;
// Room in a file beyond its samples: headers, profiles, padding.
constexpr std::uint64_t kFileSlack = std::uint64_t{64} << 20;
constexpr std::uint64_t kMostFileBytesPerPixel = 16;  // four 32-bit samples

std::string sizeText(std::uint64_t bytes) {
  char text[32];
  const double mib = static_cast<double>(bytes) / (1 << 20);
  if (mib < 1024) {
    std::snprintf(text, sizeof text, "%.0f MiB", mib);
  } else {
    std::snprintf(text, sizeof text, "%.1f GiB", mib / 1024);
  }
  return text;
}

std::string sizeOf(const ImageHeader& header) {
  return std::to_string(header.width) + "x" + std::to_string(header.height);
}

}  // namespace

std::uint64_t denoisingBytes(std::uint64_t pixels) {
  return pixels * kDoublesPerPixel * sizeof(double);
}

PixelBudget PixelBudget::fromAvailableMemory() {
  const std::uint64_t available = ulv::matfile::availableMemory();
  return PixelBudget(available / (kDoublesPerPixel * sizeof(double)), available);
}

PixelBudget PixelBudget::ofPixels(std::uint64_t pixels) {
  return PixelBudget(pixels, 0);
}

void PixelBudget::check(const ImageHeader& header) const {
  if (header.width <= 0 || header.height <= 0) {
    throw ImageError("corrupt: its header declares a " + sizeOf(header) + " image");
  }
  if (header.channels < 1 || header.channels > 4) {
    throw ImageError("unsupported: " + std::to_string(header.channels) + " channels (1 to 4 only)");
  }
  const std::uint64_t pixels = pixelCount(header.width, header.height);
  if (pixels <= pixels_) return;
  if (availableBytes_ == 0) {
    throw ImageError("too large: a " + sizeOf(header) + " image has " + std::to_string(pixels) +
                     " pixels, more than the limit of " + std::to_string(pixels_));
  }
  throw ImageError("too large: a " + sizeOf(header) + " image needs about " +
                   sizeText(denoisingBytes(pixels)) + " of memory to denoise, and " +
                   sizeText(availableBytes_) +
                   " is available (a pixel limit, --max-pixels or max_pixels=, overrides this)");
}

std::uint64_t PixelBudget::maxFileBytes() const {
  const std::uint64_t most = std::numeric_limits<std::uint64_t>::max();
  if (pixels_ > (most - kFileSlack) / kMostFileBytesPerPixel) return most;
  return pixels_ * kMostFileBytesPerPixel + kFileSlack;
}

}  // namespace ulvimage
