// Image files for the module's users, through the same image library and
// file handling as the command-line tool (no Python imaging package needed).
#pragma once

#include <pybind11/pybind11.h>

namespace ulvpy {

namespace py = pybind11;

// PNG, JPEG, TIFF, PGM/PPM or BMP -> (H, W) or (H, W, C) array: uint8 for
// 8-bit files, uint16 for 16-bit ones, float32 for float TIFF. `maxPixels`
// None: the image must fit the available memory.
py::object readImage(const py::object& path, const py::object& maxPixels);
// (H, W) or (H, W, C) with C in 1..4. uint16 arrays are written with 16
// bits, float32 arrays into TIFF as floats in [0, 1], anything else as gray
// levels rounded and clipped to 0..255; formats that hold less take the
// nearest. The format follows the extension (PNG without one) unless
// `format` names one.
void writeImage(const py::object& path, const py::object& image, const py::object& format,
                int quality);

}  // namespace ulvpy
