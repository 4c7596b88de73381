// Image files for the module's users, through the command-line tool's
// decoders and encoders (no Python imaging package needed).
#pragma once

#include <pybind11/pybind11.h>

namespace ulvpy {

namespace py = pybind11;

// PNG, JPEG, BMP, PGM/PPM or TGA -> (H, W) or (H, W, C) uint8 array;
// 16-bit files come as float64 gray levels 0..255.
py::object readImage(const py::object& path);
// (H, W) or (H, W, C) with C in 1..4, values rounded and clipped to 0..255;
// the format follows the extension (PNG without one). Written whole.
void writeImage(const py::object& path, const py::object& image);

}  // namespace ulvpy
