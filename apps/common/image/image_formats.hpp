// File formats by name, by extension and by content, and what each can hold.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "image.hpp"

namespace ulvimage {

// ".png", ".jpg", ".tif", ".tiff", ... (any case); nullopt for other extensions.
std::optional<ImageFormat> formatFromExtension(std::string_view extension);
// "png", "jpeg", "tiff", ...: the same names as the extensions, without the dot.
std::optional<ImageFormat> formatFromName(std::string_view name);
// The format whose signature starts `bytes`, if any.
std::optional<ImageFormat> formatFromContent(std::string_view bytes);
const char* extensionOf(ImageFormat format);  // ".png"
const char* nameOf(ImageFormat format);       // "PNG"
// "png, jpg, tif, pgm, ppm or bmp", for messages.
const char* formatNamesText();

// The sample type a file of `format` is written with, for an image of
// `type`: the same where the format holds it, else the nearest it holds.
SampleType storableType(ImageFormat format, SampleType type);
// Throws ImageError when `format` cannot hold an image of `channels`
// channels (colour into PGM).
void checkChannelsFit(ImageFormat format, int channels);

}  // namespace ulvimage
