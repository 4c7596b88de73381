#include "exif_orientation.hpp"

#include <cstdint>
#include <utility>

namespace ulvimage {

namespace {

constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kShortType = 3;

// Bounds-checked reads of the TIFF structure inside the EXIF block.
class TiffBytes {
 public:
  TiffBytes(std::string_view bytes, bool little) : bytes_(bytes), little_(little) {}
  bool has(std::size_t at, std::size_t count) const {
    return at <= bytes_.size() && count <= bytes_.size() - at;
  }
  std::uint32_t number(std::size_t at, int size) const {
    std::uint32_t value = 0;
    for (int k = 0; k < size; ++k) {
      const auto byte = static_cast<unsigned char>(bytes_[at + (little_ ? size - 1 - k : k)]);
      value = (value << 8) | byte;
    }
    return value;
  }

 private:
  std::string_view bytes_;
  bool little_;
};

// Where pixel (x, y) of a width x height image goes.
std::pair<std::size_t, std::size_t> destination(int orientation, std::size_t x, std::size_t y,
                                                std::size_t width, std::size_t height) {
  switch (orientation) {
    case 2:
      return {width - 1 - x, y};
    case 3:
      return {width - 1 - x, height - 1 - y};
    case 4:
      return {x, height - 1 - y};
    case 5:
      return {y, x};
    case 6:
      return {height - 1 - y, x};
    case 7:
      return {height - 1 - y, width - 1 - x};
    case 8:
      return {y, width - 1 - x};
    default:
      return {x, y};
  }
}

}  // namespace

int exifOrientation(std::string_view app1) {
  const std::string_view signature("Exif\0\0", 6);
  if (!app1.starts_with(signature)) return 1;
  const std::string_view tiff = app1.substr(signature.size());
  if (tiff.size() < 8 || (!tiff.starts_with("II") && !tiff.starts_with("MM"))) return 1;
  const TiffBytes bytes(tiff, tiff[0] == 'I');
  const std::size_t directory = bytes.number(4, 4);
  if (!bytes.has(directory, 2)) return 1;
  const std::size_t entries = bytes.number(directory, 2);
  for (std::size_t k = 0; k < entries; ++k) {
    const std::size_t entry = directory + 2 + 12 * k;
    if (!bytes.has(entry, 12)) return 1;
    if (bytes.number(entry, 2) != kOrientationTag) continue;
    const std::uint32_t value = bytes.number(entry + 8, 2);
    return bytes.number(entry + 2, 2) == kShortType && value >= 1 && value <= 8
               ? static_cast<int>(value)
               : 1;
  }
  return 1;
}

Image orientedImage(Image image, int orientation) {
  if (orientation <= 1 || orientation > 8) return image;
  const auto width = static_cast<std::size_t>(image.width);
  const auto height = static_cast<std::size_t>(image.height);
  const auto channels = static_cast<std::size_t>(image.channels);
  const bool turned = orientation >= 5;
  const std::size_t newWidth = turned ? height : width;
  std::vector<double> turnedSamples(image.samples.size());
  for (std::size_t y = 0; y < height; ++y) {
    for (std::size_t x = 0; x < width; ++x) {
      const auto [nx, ny] = destination(orientation, x, y, width, height);
      for (std::size_t c = 0; c < channels; ++c) {
        turnedSamples[(ny * newWidth + nx) * channels + c] =
            image.samples[(y * width + x) * channels + c];
      }
    }
  }
  image.samples = std::move(turnedSamples);
  if (turned) std::swap(image.width, image.height);
  return image;
}

}  // namespace ulvimage
