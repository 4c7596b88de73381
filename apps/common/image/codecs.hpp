// Each format's decoder and encoder. A decoder reads the header, hands it to
// `accept` (which throws to refuse the image) and only then allocates for
// and decodes the pixels. Encoders take an image whose samples are already
// of a type the format holds, rounded and in range.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "image.hpp"

namespace ulvimage {

using HeaderCheck = std::function<void(const ImageHeader&)>;

Image decodePng(std::string_view bytes, const HeaderCheck& accept);
Image decodeJpeg(std::string_view bytes, const HeaderCheck& accept);
Image decodeTiff(std::string_view bytes, const HeaderCheck& accept);
Image decodePnm(std::string_view bytes, const HeaderCheck& accept);
Image decodeBmp(std::string_view bytes, const HeaderCheck& accept);

std::string encodePng(const Image& image);
std::string encodeJpeg(const Image& image, int quality);
std::string encodeTiff(const Image& image);
std::string encodePnm(const Image& image, bool colour);
std::string encodeBmp(const Image& image);

// The ICC profile when it describes images of `channels` channels (a gray
// profile for gray, an RGB one for colour), else empty.
std::string_view fittingProfile(const Image& image);

}  // namespace ulvimage
