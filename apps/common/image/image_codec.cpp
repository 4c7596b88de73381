#include "image_codec.hpp"

#include <optional>

#include "codecs.hpp"
#include "host/runtime/printable.hpp"
#include "image_formats.hpp"
#include "image_samples.hpp"

namespace ulvimage {

namespace {

// Thrown by the header check of readImageHeader to stop before the pixels.
struct HeaderOnly {
  ImageHeader header;
};

Image decodeAs(ImageFormat format, std::string_view bytes, const HeaderCheck& accept) {
  switch (format) {
    case ImageFormat::Png:
      return decodePng(bytes, accept);
    case ImageFormat::Jpeg:
      return decodeJpeg(bytes, accept);
    case ImageFormat::Tiff:
      return decodeTiff(bytes, accept);
    case ImageFormat::Pgm:
    case ImageFormat::Ppm:
      return decodePnm(bytes, accept);
    case ImageFormat::Bmp:
      break;
  }
  return decodeBmp(bytes, accept);
}

ImageFormat formatOf(std::string_view bytes) {
  const std::optional<ImageFormat> format = formatFromContent(bytes);
  if (!format) throw ImageError("not a PNG, JPEG, TIFF, PGM/PPM or BMP image");
  return *format;
}

// Decodes with the messages of the libraries escaped: they may quote the file's bytes.
Image decodeEscaped(std::string_view bytes, const HeaderCheck& accept) {
  try {
    return decodeAs(formatOf(bytes), bytes, accept);
  } catch (const ImageError& error) {
    throw ImageError(ulv::printable(error.what()));
  }
}

}  // namespace

ImageHeader readImageHeader(std::string_view bytes) {
  try {
    decodeEscaped(bytes, [](const ImageHeader& header) { throw HeaderOnly{header}; });
  } catch (const HeaderOnly& stop) {
    return stop.header;
  }
  throw ImageError("no header");  // not reached: every decoder checks its header first
}

Image decodeImage(std::string_view bytes, const PixelBudget& budget) {
  return decodeEscaped(bytes, [&budget](const ImageHeader& header) { budget.check(header); });
}

std::string_view fittingProfile(const Image& image) {
  const std::string& profile = image.iccProfile;
  constexpr std::size_t kSpaceAt = 16;  // the profile's colour space, "GRAY" or "RGB "
  if (profile.size() < kSpaceAt + 4) return {};
  const std::string_view space = std::string_view(profile).substr(kSpaceAt, 4);
  return space == (image.channels >= 3 ? "RGB " : "GRAY") ? std::string_view(profile)
                                                          : std::string_view();
}

std::string encodeImage(const Image& image, ImageFormat format, int jpegQuality) {
  checkChannelsFit(format, image.channels);
  if (image.width <= 0 || image.height <= 0 || image.channels < 1 || image.channels > 4 ||
      image.samples.size() != sampleCount(image)) {
    throw ImageError("cannot encode a " + std::to_string(image.width) + "x" +
                     std::to_string(image.height) + " image of " + std::to_string(image.channels) +
                     " channels");
  }
  const Image stored = convertedTo(image, storableType(format, image.type));
  switch (format) {
    case ImageFormat::Png:
      return encodePng(stored);
    case ImageFormat::Jpeg:
      return encodeJpeg(stored, jpegQuality);
    case ImageFormat::Tiff:
      return encodeTiff(stored);
    case ImageFormat::Pgm:
    case ImageFormat::Ppm:
      return encodePnm(stored, format == ImageFormat::Ppm);
    case ImageFormat::Bmp:
      break;
  }
  return encodeBmp(stored);
}

}  // namespace ulvimage
