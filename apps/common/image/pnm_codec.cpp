// Binary PGM (P5) and PPM (P6), 1 to 16 bits: small enough to read and write
// here, strictly. The header's numbers have at most 9 digits, exactly one
// whitespace byte follows the maximum value, every sample must be present
// and none may exceed the maximum. Maximum values other than 255 and 65535
// are rescaled to 8 or 16 bits.
#include <cmath>

#include "codecs.hpp"
#include "image_samples.hpp"

namespace ulvimage {

namespace {

constexpr int kMostDigits = 9;

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

class PnmHeaderReader {
 public:
  explicit PnmHeaderReader(std::string_view bytes) : bytes_(bytes) {}

  // The next number, after whitespace and '#' comments.
  long number(const char* name) {
    skipSpaceAndComments();
    long value = 0;
    int digits = 0;
    while (at_ < bytes_.size() && bytes_[at_] >= '0' && bytes_[at_] <= '9') {
      if (++digits > kMostDigits) fail(std::string("its ") + name + " has more than 9 digits");
      value = value * 10 + (bytes_[at_++] - '0');
    }
    if (digits == 0) fail(std::string("its ") + name + " is missing");
    return value;
  }
  // The single whitespace byte that ends the header; the offset after it.
  std::size_t end() {
    if (at_ >= bytes_.size() || !isSpace(bytes_[at_])) fail("no whitespace after the header");
    return at_ + 1;
  }

 private:
  void skipSpaceAndComments() {
    while (at_ < bytes_.size()) {
      if (bytes_[at_] == '#') {
        while (at_ < bytes_.size() && bytes_[at_] != '\n' && bytes_[at_] != '\r') ++at_;
      } else if (isSpace(bytes_[at_])) {
        ++at_;
      } else {
        return;
      }
    }
  }
  [[noreturn]] static void fail(const std::string& why) {
    throw ImageError("corrupt PGM/PPM header (" + why + ")");
  }

  std::string_view bytes_;
  std::size_t at_ = 2;  // after the magic number
};

}  // namespace

Image decodePnm(std::string_view bytes, const HeaderCheck& accept) {
  const bool colour = bytes.starts_with("P6");
  PnmHeaderReader reader(bytes);
  const long width = reader.number("width");
  const long height = reader.number("height");
  const long maximum = reader.number("maximum value");
  if (maximum < 1 || maximum > 65535) {
    throw ImageError("corrupt PGM/PPM header (the maximum value " + std::to_string(maximum) +
                     " is not within 1..65535)");
  }
  const std::size_t start = reader.end();
  const SampleType type = maximum > 255 ? SampleType::U16 : SampleType::U8;
  accept({colour ? ImageFormat::Ppm : ImageFormat::Pgm, static_cast<int>(width),
          static_cast<int>(height), colour ? 3 : 1, type});

  Image image{static_cast<int>(width), static_cast<int>(height), colour ? 3 : 1, type, {}, {}};
  const std::size_t count = sampleCount(image);
  const std::size_t sampleBytes = type == SampleType::U16 ? 2 : 1;
  if (bytes.size() - start < count * sampleBytes) {
    throw ImageError("truncated PGM/PPM (the pixels need " + std::to_string(count * sampleBytes) +
                     " bytes, the file holds " + std::to_string(bytes.size() - start) + ")");
  }
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data() + start);
  image.samples.reserve(count);
  if (type == SampleType::U16) {
    readBigEndian(data, count, image.samples);
  } else {
    image.samples.assign(data, data + count);
  }
  const double scale = fullScale(type) / static_cast<double>(maximum);
  for (double& v : image.samples) {
    if (v > static_cast<double>(maximum)) {
      throw ImageError("corrupt PGM/PPM (a sample exceeds the maximum value " +
                       std::to_string(maximum) + ")");
    }
    if (scale != 1) v = std::round(v * scale);
  }
  return image;
}

std::string encodePnm(const Image& image, bool colour) {
  const bool wide = image.type == SampleType::U16;
  std::string bytes = std::string(colour ? "P6\n" : "P5\n") + std::to_string(image.width) + " " +
                      std::to_string(image.height) + "\n" + (wide ? "65535" : "255") + "\n";
  // Alpha is dropped; gray is repeated in the three channels of a PPM.
  const Image stored = withColourChannels(image, colour ? 3 : 1);
  std::vector<std::uint8_t> data;
  if (wide) {
    appendBigEndian(data, wordsOf(stored));
  } else {
    data = bytesOf(stored);
  }
  bytes.append(reinterpret_cast<const char*>(data.data()), data.size());
  return bytes;
}

}  // namespace ulvimage
