// Image files in and out: PNG, JPEG, BMP, PGM/PPM and TGA in; PNG, JPEG, BMP,
// TGA, PGM and PPM out.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace ulvcli {

namespace fs = std::filesystem;

// A decoded image. Samples are interleaved (channel fastest, then columns,
// then rows from the top), as gray levels 0..255: 16-bit files are scaled by
// 255/65535 (divided by 257), without rounding.
struct Image {
  int width = 0;
  int height = 0;
  int channels = 0;  // 1 gray, 2 gray + alpha, 3 RGB, 4 RGBA
  bool scaledFrom16Bit = false;
  std::vector<double> samples;
};

// An 8-bit image to write, laid out like Image.
struct Image8 {
  int width = 0;
  int height = 0;
  int channels = 0;
  std::vector<unsigned char> samples;
};

enum class ImageFormat { Png, Jpeg, Bmp, Tga, Pgm, Ppm };

// Throws std::runtime_error for a missing, unreadable, corrupt or unsupported
// file; the message says what is wrong, the caller names the file.
Image loadImage(const fs::path& path);

// True for the extensions a directory scan picks up.
bool hasImageExtension(const fs::path& path);
// The format an output path asks for: its extension, or PNG when it has none.
// Throws for an extension that names no writable format.
ImageFormat outputFormatFor(const fs::path& path);
const char* extensionOf(ImageFormat format);  // ".png"

// The file's bytes. PGM takes gray images only; JPEG, PGM and PPM drop alpha.
std::string encodeImage(const Image8& image, ImageFormat format);
// Encodes and writes the file whole (temporary file + rename).
void saveImage(const fs::path& path, const Image8& image, ImageFormat format);

}  // namespace ulvcli
