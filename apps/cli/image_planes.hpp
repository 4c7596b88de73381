// An image as the planes the denoiser works on: each colour channel on its
// own, or (luma) one gray plane with Rec. 601 weights; alpha is kept apart.
#pragma once

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

// The planes hold gray levels 0..255 as the library takes them: 16-bit
// samples are divided by 257, floats multiplied by 255.
Planes splitPlanes(const Image& image, bool luma);
// Interleaves planes of 0..255 values back into an image of samples of
// `type` (clipped; rounded when written).
Image joinPlanes(const Planes& planes, SampleType type);

// A plane as the host's r x c double matrix (rows = image rows), and back.
ulv::mxArray planeToMatrix(const std::vector<double>& plane, int width, int height);
std::vector<double> matrixToPlane(const ulv::mxArray& matrix);

// Peak signal-to-noise ratio (peak 255) over all colour planes; +inf when equal.
double psnr(const Planes& a, const Planes& b);

}  // namespace ulvcli
