#include "image_formats.hpp"

#include <algorithm>
#include <cctype>
#include <utility>

namespace ulvimage {

namespace {

struct NamedFormat {
  const char* name;
  ImageFormat format;
};

// The first name of each format is the one its files are given.
constexpr NamedFormat kNames[] = {
    {"png", ImageFormat::Png},  {"jpg", ImageFormat::Jpeg},  {"jpeg", ImageFormat::Jpeg},
    {"tif", ImageFormat::Tiff}, {"tiff", ImageFormat::Tiff}, {"pgm", ImageFormat::Pgm},
    {"ppm", ImageFormat::Ppm},  {"pnm", ImageFormat::Ppm},   {"bmp", ImageFormat::Bmp},
};

struct FormatLabels {
  ImageFormat format;
  const char* extension;
  const char* name;
};

const FormatLabels& labelsOf(ImageFormat format) {
  static const FormatLabels kLabels[] = {
      {ImageFormat::Png, ".png", "PNG"},   {ImageFormat::Jpeg, ".jpg", "JPEG"},
      {ImageFormat::Tiff, ".tif", "TIFF"}, {ImageFormat::Pgm, ".pgm", "PGM"},
      {ImageFormat::Ppm, ".ppm", "PPM"},   {ImageFormat::Bmp, ".bmp", "BMP"},
  };
  for (const FormatLabels& labels : kLabels) {
    if (labels.format == format) return labels;
  }
  return kLabels[0];
}

std::string lowered(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return result;
}

}  // namespace

std::size_t pixelCount(int width, int height) {
  return static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
}

std::size_t sampleCount(const Image& image) {
  return pixelCount(image.width, image.height) * static_cast<std::size_t>(image.channels);
}

std::optional<ImageFormat> formatFromName(std::string_view name) {
  const std::string key = lowered(name);
  for (const NamedFormat& known : kNames) {
    if (key == known.name) return known.format;
  }
  return std::nullopt;
}

std::optional<ImageFormat> formatFromExtension(std::string_view extension) {
  if (extension.size() < 2 || extension.front() != '.') return std::nullopt;
  return formatFromName(extension.substr(1));
}

std::optional<ImageFormat> formatFromContent(std::string_view bytes) {
  static const std::pair<std::string_view, ImageFormat> kSignatures[] = {
      {std::string_view("\x89PNG\r\n\x1a\n", 8), ImageFormat::Png},
      {"\xff\xd8\xff", ImageFormat::Jpeg},
      {std::string_view("II*\0", 4), ImageFormat::Tiff},
      {std::string_view("MM\0*", 4), ImageFormat::Tiff},
      {"P5", ImageFormat::Pgm},
      {"P6", ImageFormat::Ppm},
      {"BM", ImageFormat::Bmp},
  };
  for (const auto& [signature, format] : kSignatures) {
    if (bytes.starts_with(signature)) return format;
  }
  return std::nullopt;
}

const char* extensionOf(ImageFormat format) {
  return labelsOf(format).extension;
}

const char* nameOf(ImageFormat format) {
  return labelsOf(format).name;
}

const char* formatNamesText() {
  return "png, jpg, tif, pgm, ppm or bmp";
}

SampleType storableType(ImageFormat format, SampleType type) {
  switch (format) {
    case ImageFormat::Tiff:
      return type;
    case ImageFormat::Jpeg:
    case ImageFormat::Bmp:
      return SampleType::U8;
    default:
      return type == SampleType::U8 ? SampleType::U8 : SampleType::U16;
  }
}

void checkChannelsFit(ImageFormat format, int channels) {
  if (format == ImageFormat::Pgm && channels >= 3) {
    throw ImageError("PGM files hold gray images only: use a .ppm, .png or .tif output");
  }
}

}  // namespace ulvimage
