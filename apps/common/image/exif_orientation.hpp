// The orientation an EXIF block (a JPEG's APP1 segment) records, and the
// image turned the way viewers show it.
#pragma once

#include <string_view>

#include "image.hpp"

namespace ulvimage {

// 1..8 as EXIF numbers them; 1 (as stored) when absent or unreadable.
int exifOrientation(std::string_view app1);
// The image flipped and turned so that it stands as `orientation` says.
Image orientedImage(Image image, int orientation);

}  // namespace ulvimage
