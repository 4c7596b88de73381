// How large an image may be: denoising takes about 30 doubles per pixel, so
// by default an image must fit the memory the machine has available; a set
// number of pixels replaces that limit.
#pragma once

#include <cstdint>

#include "image.hpp"

namespace ulvimage {

class PixelBudget {
 public:
  // The pixels that the available memory (MemAvailable) can denoise.
  static PixelBudget fromAvailableMemory();
  static PixelBudget ofPixels(std::uint64_t pixels);

  // Throws ImageError, saying what the image needs and what is allowed,
  // when the header declares more pixels than the budget or no pixels.
  void check(const ImageHeader& header) const;
  // The most bytes a file of an image within the budget may take.
  std::uint64_t maxFileBytes() const;
  std::uint64_t maxPixels() const { return pixels_; }

 private:
  PixelBudget(std::uint64_t pixels, std::uint64_t availableBytes)
      : pixels_(pixels), availableBytes_(availableBytes) {}
  std::uint64_t pixels_;
  std::uint64_t availableBytes_;  // 0 when the limit was set in pixels
};

// Bytes denoising an image of `pixels` pixels takes, about.
std::uint64_t denoisingBytes(std::uint64_t pixels);

}  // namespace ulvimage
