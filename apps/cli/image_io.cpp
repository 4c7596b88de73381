#include "image_io.hpp"

#include <stb_image.h>
#include <stb_image_write.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>

#include "decoder_memory.hpp"
#include "output_file.hpp"
#include "pnm_header.hpp"

namespace ulvcli {

namespace {

constexpr int kJpegQuality = 95;

std::string lowerExtension(const fs::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

std::string quoted(const fs::path& path) {
  return "\"" + path.string() + "\"";
}

std::string decodeFailure() {
  const std::string reason = stbi_failure_reason() != nullptr ? stbi_failure_reason() : "";
  if (reason == "unknown image type") {
    return "not a PNG, JPEG, BMP, PGM/PPM or TGA image";
  }
  if (reason == "too large") return "too large (at most 32768 pixels a side)";
  if (reason == "outofmem") return "out of memory";
  return "corrupt or of an unsupported kind (" + reason + ")";
}

using FileHandle = std::unique_ptr<FILE, int (*)(FILE*)>;

FileHandle openForReading(const fs::path& path) {
  std::error_code error;
  if (!fs::exists(path, error)) throw std::runtime_error("no such file");
  if (!fs::is_regular_file(path, error)) throw std::runtime_error("not a file");
  FileHandle file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) throw std::runtime_error(std::string("cannot open: ") + std::strerror(errno));
  return file;
}

// Decodes with stb into doubles; Sample is stbi_uc or stbi_us. 16-bit samples
// are divided by 257 (= 65535 / 255), which maps v * 257 back to exactly v.
template <typename Sample, typename Decoder>
Image decode(FILE* file, Decoder decoder, double divisor) {
  Image image;
  Sample* data = decoder(file, &image.width, &image.height, &image.channels, 0);
  if (data == nullptr) throw std::runtime_error(decodeFailure());
  const std::unique_ptr<Sample, void (*)(void*)> owner(data, &stbi_image_free);
  const std::size_t count = static_cast<std::size_t>(image.width) * image.height * image.channels;
  image.samples.resize(count);
  for (std::size_t k = 0; k < count; ++k) image.samples[k] = data[k] / divisor;
  return image;
}

void appendBytes(void* context, void* data, int size) {
  static_cast<std::string*>(context)->append(static_cast<const char*>(data), size);
}

// Binary PGM (P5) or PPM (P6); alpha is dropped, gray is repeated for PPM.
std::string encodePnm(const Image8& image, ImageFormat format) {
  const bool colourIn = image.channels >= 3;
  const bool colourOut = format == ImageFormat::Ppm;
  if (colourIn && !colourOut) {
    throw std::runtime_error(
        "PGM files hold gray images only: use --luma, or a .ppm or .png output");
  }
  std::string bytes = std::string(colourOut ? "P6\n" : "P5\n") + std::to_string(image.width) + " " +
                      std::to_string(image.height) + "\n255\n";
  const std::size_t pixels = static_cast<std::size_t>(image.width) * image.height;
  for (std::size_t p = 0; p < pixels; ++p) {
    const unsigned char* pixel = &image.samples[p * image.channels];
    for (int c = 0; c < (colourOut ? 3 : 1); ++c) {
      bytes.push_back(static_cast<char>(pixel[colourIn ? c : 0]));
    }
  }
  return bytes;
}

}  // namespace

Image loadImage(const fs::path& path) {
  const FileHandle file = openForReading(path);
  checkPnmHeader(file.get());
  const DecoderMemoryLimit limit(file.get());
  try {
    if (stbi_is_16_bit_from_file(file.get()) != 0) {
      Image image = decode<stbi_us>(file.get(), &stbi_load_from_file_16, 257.0);
      image.scaledFrom16Bit = true;
      return image;
    }
    return decode<stbi_uc>(file.get(), &stbi_load_from_file, 1.0);
  } catch (const std::runtime_error&) {
    if (limit.refusedBytes() == 0) throw;
    throw std::runtime_error("corrupt: a part of it claims " +
                             std::to_string(limit.refusedBytes()) +
                             " bytes, more than an image of its declared size holds");
  }
}

bool hasImageExtension(const fs::path& path) {
  static const char* const kExtensions[] = {".png", ".jpg", ".jpeg", ".bmp",
                                            ".pgm", ".ppm", ".pnm",  ".tga"};
  const std::string extension = lowerExtension(path);
  return std::any_of(std::begin(kExtensions), std::end(kExtensions),
                     [&extension](const char* known) { return extension == known; });
}

ImageFormat outputFormatFor(const fs::path& path) {
  static const std::map<std::string, ImageFormat> kFormats = {
      {"", ImageFormat::Png},       {".png", ImageFormat::Png}, {".jpg", ImageFormat::Jpeg},
      {".jpeg", ImageFormat::Jpeg}, {".bmp", ImageFormat::Bmp}, {".tga", ImageFormat::Tga},
      {".pgm", ImageFormat::Pgm},   {".ppm", ImageFormat::Ppm},
  };
  const auto found = kFormats.find(lowerExtension(path));
  if (found == kFormats.end()) {
    throw std::runtime_error("cannot write images of type \"" + path.extension().string() + "\" (" +
                             quoted(path) + "): use .png, .jpg, .bmp, .tga, .pgm or .ppm");
  }
  return found->second;
}

const char* extensionOf(ImageFormat format) {
  switch (format) {
    case ImageFormat::Png:
      return ".png";
    case ImageFormat::Jpeg:
      return ".jpg";
    case ImageFormat::Bmp:
      return ".bmp";
    case ImageFormat::Tga:
      return ".tga";
    case ImageFormat::Pgm:
      return ".pgm";
    case ImageFormat::Ppm:
      return ".ppm";
  }
  return ".png";
}

std::string encodeImage(const Image8& image, ImageFormat format) {
  if (format == ImageFormat::Pgm || format == ImageFormat::Ppm) return encodePnm(image, format);
  std::string bytes;
  const int w = image.width;
  const int h = image.height;
  const int n = image.channels;
  const void* data = image.samples.data();
  int ok = 0;
  switch (format) {
    case ImageFormat::Png:
      ok = stbi_write_png_to_func(&appendBytes, &bytes, w, h, n, data, w * n);
      break;
    case ImageFormat::Jpeg:
      ok = stbi_write_jpg_to_func(&appendBytes, &bytes, w, h, n, data, kJpegQuality);
      break;
    case ImageFormat::Bmp:
      ok = stbi_write_bmp_to_func(&appendBytes, &bytes, w, h, n, data);
      break;
    case ImageFormat::Tga:
      ok = stbi_write_tga_to_func(&appendBytes, &bytes, w, h, n, data);
      break;
    default:
      break;
  }
  if (ok == 0)
    throw std::runtime_error("cannot encode a " + std::to_string(w) + "x" + std::to_string(h) +
                             " image");
  return bytes;
}

void saveImage(const fs::path& path, const Image8& image, ImageFormat format) {
  writeFileWhole(path, encodeImage(image, format));
}

}  // namespace ulvcli
