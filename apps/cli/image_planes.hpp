// An image as the planes the denoiser works on: each colour channel on its
// own, or (luma) one gray plane with Rec. 601 weights; alpha is kept apart.
// Planes hold gray levels 0..255 as the library takes them: 16-bit samples
// are divided by 257, floats multiplied by 255.
#pragma once

#include <cstddef>
#include <vector>

#include "image_io.hpp"
#include "ulvadern/array.hpp"

namespace ulvcli {

struct Planes {
  int width = 0;
  int height = 0;
  std::vector<std::vector<double>> colour;  // row-major, one per channel
  std::vector<double> alpha;                // empty when the image has none
};

Planes splitPlanes(const Image& image, bool luma);

// How many colour planes splitPlanes makes, and whether there is alpha.
std::size_t colourPlaneCount(const Image& image, bool luma);
bool hasAlpha(const Image& image);

// Colour plane `plane` of the image as the host's r x c double matrix (rows
// = image rows): splitPlanes' values, without the planes in between.
ulv::mxArray planeMatrix(const Image& image, std::size_t plane, bool luma);

// An image of `channels` samples of `type` per pixel, all 0, for setPlane
// and copyAlpha to fill.
Image blankImage(int width, int height, int channels, SampleType type);
// Channel `plane` of `image` from a matrix of 0..255 values as planeMatrix
// gives them (clipped to 0..255, scaled to the image's type; rounded when
// written).
void setPlane(Image& image, std::size_t plane, const ulv::mxArray& matrix);
// The last channel of `to` from the alpha of `from` (of its own type).
void copyAlpha(const Image& from, Image& to);

// Peak signal-to-noise ratio (peak 255) over all colour planes; +inf when equal.
double psnr(const Planes& a, const Planes& b);

}  // namespace ulvcli
