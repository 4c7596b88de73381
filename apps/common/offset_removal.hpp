// The library's ulvadern returns the denoised image `levels` gray levels
// brighter, clipped to 0..255. Its masks and detail coefficients do not
// change when the image is shifted by a constant, and the approximation
// moves by exactly that constant, so denoising x - levels gives the image
// without the offset, and without its highlights clipped. The front ends
// that denoise images do this unless asked to keep the offset; the library
// itself stays as it is.
#pragma once

#include "ulvadern/array.hpp"

namespace ulvapps {

// The input that gives the library's result without its +levels offset.
inline ulv::mxArray inputWithoutOffset(ulv::mxArray plane, int levels) {
  double* values = plane.mutableData();
  for (std::size_t k = 0; k < plane.numel(); ++k) values[k] -= levels;
  return plane;
}

}  // namespace ulvapps
