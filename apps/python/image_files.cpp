#include "image_files.hpp"

#include <pybind11/numpy.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "image_io.hpp"
#include "numpy_conversion.hpp"

namespace ulvpy {

namespace {

using CDoubleArray = py::array_t<double, py::array::c_style | py::array::forcecast>;

std::string pathFrom(const py::object& path) {
  const py::object text = py::module_::import("os").attr("fspath")(path);
  if (!py::isinstance<py::str>(text)) throw py::type_error("the path must be a str or os.PathLike");
  return text.cast<std::string>();
}

[[noreturn]] void raiseOSError(const std::string& path, const std::exception& error) {
  PyErr_SetString(PyExc_OSError, ("\"" + path + "\": " + error.what()).c_str());
  throw py::error_already_set();
}

template <typename Sample>
py::array_t<Sample> arrayOf(const ulvcli::Image& image) {
  std::vector<py::ssize_t> shape{image.height, image.width};
  if (image.channels > 1) shape.push_back(image.channels);
  py::array_t<Sample> array(shape);
  std::transform(image.samples.begin(), image.samples.end(), array.mutable_data(),
                 [](double sample) { return static_cast<Sample>(sample); });
  return array;
}

// Rounded and clipped; NaN is black.
unsigned char byteOf(double value) {
  if (!(value > 0)) return 0;
  return static_cast<unsigned char>(std::round(std::min(value, 255.0)));
}

ulvcli::Image8 image8From(const py::object& image) {
  const py::array array = py::module_::import("numpy").attr("asarray")(image);
  if (std::string("buif").find(array.dtype().kind()) == std::string::npos) {
    throw py::type_error("an image must have a real dtype");
  }
  const bool layered = array.ndim() == 3;
  if ((array.ndim() != 2 && !layered) || (layered && (array.shape(2) < 1 || array.shape(2) > 4)) ||
      array.size() == 0) {
    throw py::value_error("an image is a non-empty (H, W) or (H, W, C) array with C in 1..4");
  }
  const CDoubleArray values = convertedArray<CDoubleArray>(array);
  ulvcli::Image8 result{static_cast<int>(array.shape(1)),
                        static_cast<int>(array.shape(0)),
                        layered ? static_cast<int>(array.shape(2)) : 1,
                        {}};
  result.samples.resize(values.size());
  std::transform(values.data(), values.data() + values.size(), result.samples.begin(),
                 [](double v) { return byteOf(v); });
  return result;
}

}  // namespace

py::object readImage(const py::object& path) {
  const std::string file = pathFrom(path);
  ulvcli::Image image;
  try {
    image = ulvcli::loadImage(file);
  } catch (const std::exception& error) {
    raiseOSError(file, error);
  }
  if (image.scaledFrom16Bit) return arrayOf<double>(image);
  return arrayOf<std::uint8_t>(image);
}

void writeImage(const py::object& path, const py::object& image) {
  const std::string file = pathFrom(path);
  const ulvcli::Image8 pixels = image8From(image);
  ulvcli::ImageFormat format;
  try {
    format = ulvcli::outputFormatFor(file);
  } catch (const std::exception& error) {
    throw py::value_error("\"" + file + "\": " + error.what());
  }
  try {
    ulvcli::saveImage(file, pixels, format);
  } catch (const std::exception& error) {
    raiseOSError(file, error);
  }
}

}  // namespace ulvpy
