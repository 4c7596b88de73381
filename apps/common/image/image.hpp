// Images as the host programs read and write them: decoded samples in the
// file's own scale, with the format, depth and colour profile they came with.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace ulvimage {

enum class ImageFormat { Png, Jpeg, Tiff, Pgm, Ppm, Bmp };

// How a file stores its samples: 0..255, 0..65535, or 32-bit floats in [0, 1].
enum class SampleType { U8, U16, F32 };

// What a file's header declares, known before its pixels are decoded.
struct ImageHeader {
  ImageFormat format = ImageFormat::Png;
  int width = 0;
  int height = 0;
  int channels = 0;  // 1 gray, 2 gray + alpha, 3 RGB, 4 RGBA
  SampleType type = SampleType::U8;
};

// A decoded image. Samples are interleaved (channel fastest, then columns,
// then rows from the top), in the scale of `type`.
struct Image {
  int width = 0;
  int height = 0;
  int channels = 0;
  SampleType type = SampleType::U8;
  std::vector<double> samples;
  std::string iccProfile;  // empty when the file has none
};

// A file that cannot be decoded or an image that cannot be encoded; the
// message says why (the caller names the file).
class ImageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::size_t pixelCount(int width, int height);
std::size_t sampleCount(const Image& image);

}  // namespace ulvimage
