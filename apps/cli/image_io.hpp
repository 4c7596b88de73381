// Image files in and out for the tool and the Python module: the shared
// image library's decoders and encoders, reading files or standard input
// and writing outputs whole (or to standard output).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "image.hpp"
#include "image_codec.hpp"
#include "image_formats.hpp"
#include "pixel_budget.hpp"

namespace ulvcli {

namespace fs = std::filesystem;

using ulvimage::Image;
using ulvimage::ImageFormat;
using ulvimage::ImageHeader;
using ulvimage::PixelBudget;
using ulvimage::SampleType;

// "-": standard input as an input, standard output as an output.
bool isStandardStream(const fs::path& path);

// Throw std::runtime_error for a missing, unreadable, corrupt, unsupported or
// too large file; the message says what is wrong, the caller names the file.
// Standard input is read once and kept, so that its header can be checked
// before the image is decoded.
Image loadImage(const fs::path& path, const PixelBudget& budget);
Image loadImage(const fs::path& path);  // within the available memory
// The same, calling beforeDecoding with the header of an image within the
// budget before its pixels are decoded.
Image loadImage(const fs::path& path, const PixelBudget& budget,
                const std::function<void(const ImageHeader&)>& beforeDecoding);
ImageHeader loadImageHeader(const fs::path& path);

// True for the extensions a directory scan picks up.
bool hasImageExtension(const fs::path& path);
// The format an output is written in: `forced` when given, else PNG for
// standard output or a path without extension, else the extension's.
// Throws for an extension that names no format.
ImageFormat outputFormatFor(const fs::path& path, std::optional<ImageFormat> forced = {});

// Encodes and writes the file whole (temporary file + rename), or to
// standard output for "-".
void saveImage(const fs::path& path, const Image& image, ImageFormat format,
               int jpegQuality = ulvimage::kDefaultJpegQuality);

}  // namespace ulvcli
