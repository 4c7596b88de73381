// ulvadern.denoise: an image in, the denoised 8-bit image out.
#pragma once

#include <pybind11/pybind11.h>

namespace ulvpy {

namespace py = pybind11;

// image: a 2-D (H, W) array of any real dtype, or (H, W, C), denoised channel
// by channel with the generators reseeded before each. Returns a uint8 array
// of the image's shape, or (image, maskh, maskv) with return_masks.
py::object denoise(const py::object& image, const py::object& levels, const py::object& gains,
                   const py::object& pot, const py::object& seed, const py::object& workdir,
                   bool returnMasks, const py::object& threads);

}  // namespace ulvpy
