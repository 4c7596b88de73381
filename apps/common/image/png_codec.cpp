// PNG through libpng. Errors are thrown out of libpng's error callback (it
// must not return); CRCs and the zlib checksums are checked, and a file that
// ends before its last row or before IEND is refused.
#include <png.h>

#include <cstring>
#include <limits>
#include <memory>

#include "codecs.hpp"
#include "image_samples.hpp"

namespace ulvimage {

namespace {

struct ReadState {
  std::string_view bytes;
  std::size_t at = 0;
};

[[noreturn]] void failPng(png_structp, png_const_charp message) {
  throw ImageError(std::string("corrupt PNG (") + message + ")");
}

void ignoreWarning(png_structp, png_const_charp) {}

void readBytes(png_structp png, png_bytep out, png_size_t count) {
  auto* state = static_cast<ReadState*>(png_get_io_ptr(png));
  if (count > state->bytes.size() - state->at)
    throw ImageError("truncated PNG (the file ends early)");
  std::memcpy(out, state->bytes.data() + state->at, count);
  state->at += count;
}

void appendBytes(png_structp png, png_bytep data, png_size_t count) {
  static_cast<std::string*>(png_get_io_ptr(png))
      ->append(reinterpret_cast<const char*>(data), count);
}

void flushNothing(png_structp) {}

// libpng's structures for reading or writing, destroyed with the scope.
template <bool kReading>
class PngStructs {
 public:
  PngStructs() {
    png_ = kReading
               ? png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, &failPng, &ignoreWarning)
               : png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, &failPng, &ignoreWarning);
    if (png_ != nullptr) info_ = png_create_info_struct(png_);
    if (info_ == nullptr) {
      destroy();
      throw ImageError("out of memory");
    }
  }
  ~PngStructs() { destroy(); }
  PngStructs(const PngStructs&) = delete;
  PngStructs& operator=(const PngStructs&) = delete;
  png_structp png() const { return png_; }
  png_infop info() const { return info_; }

 private:
  void destroy() {
    if constexpr (kReading) {
      png_destroy_read_struct(&png_, &info_, nullptr);
    } else {
      png_destroy_write_struct(&png_, &info_);
    }
  }
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

using PngRead = PngStructs<true>;
using PngWrite = PngStructs<false>;

std::string iccOf(png_structp png, png_infop info) {
  png_charp name = nullptr;
  int compression = 0;
  png_bytep profile = nullptr;
  png_uint_32 length = 0;
  if (png_get_iCCP(png, info, &name, &compression, &profile, &length) == 0) return {};
  return std::string(reinterpret_cast<const char*>(profile), length);
}

// Palette to RGB, low bit depths to 8, transparency to alpha; 16 bits kept.
ImageHeader expandedHeader(png_structp png, png_infop info) {
  png_set_expand(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const int bitDepth = png_get_bit_depth(png, info);
  return {ImageFormat::Png, static_cast<int>(png_get_image_width(png, info)),
          static_cast<int>(png_get_image_height(png, info)), png_get_channels(png, info),
          bitDepth == 16 ? SampleType::U16 : SampleType::U8};
}

// Deflate shrinks data at most 1032 times: a file too small to hold the
// rows it declares is truncated or lying, and refused before they are
// allocated.
void refuseShortData(std::size_t fileBytes, std::size_t rowBytes, const ImageHeader& header) {
  constexpr std::size_t kMostDeflateRatio = 1032;
  const std::size_t rows = static_cast<std::size_t>(header.height);
  if ((rowBytes + 1) / kMostDeflateRatio * rows <= fileBytes) return;
  throw ImageError("truncated PNG (a " + std::to_string(header.width) + "x" +
                   std::to_string(header.height) + " image needs more compressed data than the " +
                   std::to_string(fileBytes) + " bytes of the file)");
}

int colourType(int channels) {
  static const int kTypes[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                               PNG_COLOR_TYPE_RGB_ALPHA};
  return kTypes[channels - 1];
}

}  // namespace

Image decodePng(std::string_view bytes, const HeaderCheck& accept) {
  PngRead read;
  ReadState state{bytes, 0};
  png_set_read_fn(read.png(), &state, &readBytes);
  // Sizes are judged by the caller's budget, not libpng's fixed limits.
  png_set_user_limits(read.png(), std::numeric_limits<int>::max(), std::numeric_limits<int>::max());
  png_read_info(read.png(), read.info());
  const std::size_t storedRowBytes = png_get_rowbytes(read.png(), read.info());
  const ImageHeader header = expandedHeader(read.png(), read.info());
  accept(header);
  refuseShortData(bytes.size(), storedRowBytes, header);
  const std::size_t rowBytes = png_get_rowbytes(read.png(), read.info());
  std::vector<png_byte> pixels(rowBytes * static_cast<std::size_t>(header.height));
  std::vector<png_bytep> rows(static_cast<std::size_t>(header.height));
  for (std::size_t r = 0; r < rows.size(); ++r) rows[r] = pixels.data() + r * rowBytes;
  png_read_image(read.png(), rows.data());
  png_read_end(read.png(), nullptr);

  Image image{header.width,
              header.height,
              header.channels,
              header.type,
              {},
              iccOf(read.png(), read.info())};
  const std::size_t count = sampleCount(image);
  image.samples.reserve(count);
  if (header.type == SampleType::U16) {
    readBigEndian(pixels.data(), count, image.samples);
  } else {
    image.samples.assign(pixels.begin(), pixels.begin() + static_cast<std::ptrdiff_t>(count));
  }
  return image;
}

std::string encodePng(const Image& image) {
  PngWrite write;
  std::string out;
  png_set_write_fn(write.png(), &out, &appendBytes, &flushNothing);
  // A profile libpng finds faulty is left out, not a reason to fail.
  png_set_benign_errors(write.png(), 1);
  // Written for speed, as image tools' fast settings are: zlib's fastest level
  // and each row stored as its difference from the row above. At 2048 x 2048
  // libpng's defaults (level 6, the best of five filters per row) took 150 ms
  // and these 18 ms, for files about a quarter larger (a denoised photograph).
  png_set_compression_level(write.png(), 1);
  png_set_filter(write.png(), PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
  const bool wide = image.type == SampleType::U16;
  png_set_IHDR(write.png(), write.info(), static_cast<png_uint_32>(image.width),
               static_cast<png_uint_32>(image.height), wide ? 16 : 8, colourType(image.channels),
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  const std::string_view profile = fittingProfile(image);
  if (!profile.empty()) {
    png_set_iCCP(write.png(), write.info(), "ICC profile", PNG_COMPRESSION_TYPE_BASE,
                 reinterpret_cast<png_const_bytep>(profile.data()),
                 static_cast<png_uint_32>(profile.size()));
  }
  png_write_info(write.png(), write.info());
  std::vector<std::uint8_t> pixels;
  if (wide) {
    appendBigEndian(pixels, wordsOf(image));
  } else {
    pixels = bytesOf(image);
  }
  const std::size_t rowBytes = pixels.size() / static_cast<std::size_t>(image.height);
  for (int r = 0; r < image.height; ++r) png_write_row(write.png(), pixels.data() + r * rowBytes);
  png_write_end(write.png(), nullptr);
  return out;
}

}  // namespace ulvimage
