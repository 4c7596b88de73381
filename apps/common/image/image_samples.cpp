#include "image_samples.hpp"

#include <algorithm>
#include <cmath>

namespace ulvimage {

double fullScale(SampleType type) {
  switch (type) {
    case SampleType::U16:
      return 65535.0;
    case SampleType::F32:
      return 1.0;
    case SampleType::U8:
      break;
  }
  return 255.0;
}

Image convertedTo(const Image& image, SampleType type) {
  Image result = image;
  result.type = type;
  const double to = fullScale(type);
  const double factor = to / fullScale(image.type);
  const bool integer = type != SampleType::F32;
  for (double& v : result.samples) {
    const double scaled = image.type == type ? v : v * factor;
    if (!(scaled > 0)) {
      v = 0;
    } else {
      v = integer ? std::round(std::min(scaled, to)) : std::min(scaled, to);
    }
  }
  return result;
}

Image withColourChannels(const Image& image, int channels) {
  Image result = image;
  result.channels = channels;
  result.samples.clear();
  result.samples.reserve(pixelCount(image.width, image.height) * channels);
  const bool colourIn = image.channels >= 3;
  for (std::size_t p = 0; p < pixelCount(image.width, image.height); ++p) {
    const double* pixel = &image.samples[p * image.channels];
    for (int c = 0; c < channels; ++c) result.samples.push_back(pixel[colourIn ? c : 0]);
  }
  return result;
}

std::vector<std::uint8_t> bytesOf(const Image& image) {
  std::vector<std::uint8_t> bytes(image.samples.size());
  std::transform(image.samples.begin(), image.samples.end(), bytes.begin(),
                 [](double v) { return static_cast<std::uint8_t>(v); });
  return bytes;
}

std::vector<std::uint16_t> wordsOf(const Image& image) {
  std::vector<std::uint16_t> words(image.samples.size());
  std::transform(image.samples.begin(), image.samples.end(), words.begin(),
                 [](double v) { return static_cast<std::uint16_t>(v); });
  return words;
}

void appendBigEndian(std::vector<std::uint8_t>& out, const std::vector<std::uint16_t>& words) {
  for (std::uint16_t word : words) {
    out.push_back(static_cast<std::uint8_t>(word >> 8));
    out.push_back(static_cast<std::uint8_t>(word & 0xff));
  }
}

void readBigEndian(const std::uint8_t* data, std::size_t count, std::vector<double>& out) {
  for (std::size_t k = 0; k < count; ++k) out.push_back(data[2 * k] * 256 + data[2 * k + 1]);
}

}  // namespace ulvimage
