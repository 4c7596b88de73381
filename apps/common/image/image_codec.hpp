// Decoding and encoding image files in memory, whatever their format.
#pragma once

#include <string>
#include <string_view>

#include "image.hpp"
#include "pixel_budget.hpp"

namespace ulvimage {

constexpr int kDefaultJpegQuality = 95;

// What the file's header declares, without decoding its pixels. Throws
// ImageError for a file of no known format or a damaged header.
ImageHeader readImageHeader(std::string_view bytes);
// The whole image, once its header fits the budget: a damaged, truncated or
// unsupported file, or one too large for the budget, throws ImageError.
Image decodeImage(std::string_view bytes, const PixelBudget& budget);

// The file's bytes. The samples are converted to the type the format holds
// nearest to the image's (see storableType), clipped and rounded; alpha is
// dropped by JPEG and PGM/PPM; the ICC profile is kept where the format
// has room for one and it fits the channels. Colour into PGM throws.
std::string encodeImage(const Image& image, ImageFormat format,
                        int jpegQuality = kDefaultJpegQuality);

}  // namespace ulvimage
