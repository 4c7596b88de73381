// ulvadern.denoise: an image in, the denoised 8-bit image out.
#pragma once

#include <pybind11/pybind11.h>

namespace ulvpy {

namespace py = pybind11;

// The compiled core of ulvadern.denoise (the package's Python layer handles
// dtypes, ranges and channel axes). image: gray levels, a 2-D (H, W) array of
// any real dtype, or (H, W, C), denoised channel by channel with the
// generators reseeded before each. Returns a uint8 array of the image's
// shape (without the library's +levels offset unless keepOffset), or
// (image, maskh, maskv) with returnMasks, the masks as the library saved them.
py::object denoise(const py::object& image, const py::object& levels, const py::object& gains,
                   const py::object& pot, const py::object& seed, const py::object& workdir,
                   bool returnMasks, const py::object& threads, bool keepOffset);

}  // namespace ulvpy
