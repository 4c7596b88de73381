#include "image_files.hpp"

#include <pybind11/numpy.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "host/runtime/printable.hpp"
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
  PyErr_SetString(PyExc_OSError, ulv::printable("\"" + path + "\": " + error.what()).c_str());
  throw py::error_already_set();
}

template <typename Sample>
py::array arrayOf(const ulvcli::Image& image) {
  std::vector<py::ssize_t> shape{image.height, image.width};
  if (image.channels > 1) shape.push_back(image.channels);
  py::array_t<Sample> array(shape);
  std::transform(image.samples.begin(), image.samples.end(), array.mutable_data(),
                 [](double sample) { return static_cast<Sample>(sample); });
  return array;
}

ulvcli::SampleType typeOf(const py::array& array, ulvcli::ImageFormat format) {
  if (array.dtype().is(py::dtype::of<std::uint16_t>())) return ulvcli::SampleType::U16;
  if (array.dtype().is(py::dtype::of<float>()) && format == ulvcli::ImageFormat::Tiff) {
    return ulvcli::SampleType::F32;
  }
  return ulvcli::SampleType::U8;
}

ulvcli::Image imageFrom(const py::object& image, ulvcli::ImageFormat format) {
  const py::array array = py::module_::import("numpy").attr("asarray")(image);
  if (!holdsRealNumbers(array)) {
    throw py::type_error("an image must have a real dtype");
  }
  const bool layered = array.ndim() == 3;
  if ((array.ndim() != 2 && !layered) || (layered && (array.shape(2) < 1 || array.shape(2) > 4)) ||
      array.size() == 0) {
    throw py::value_error("an image is a non-empty (H, W) or (H, W, C) array with C in 1..4");
  }
  const CDoubleArray values = convertedArray<CDoubleArray>(array);
  return {static_cast<int>(array.shape(1)),
          static_cast<int>(array.shape(0)),
          layered ? static_cast<int>(array.shape(2)) : 1,
          typeOf(array, format),
          std::vector<double>(values.data(), values.data() + values.size()),
          {}};
}

std::optional<ulvcli::ImageFormat> formatNamed(const py::object& name) {
  if (name.is_none()) return std::nullopt;
  const auto format = ulvimage::formatFromName(name.cast<std::string>());
  if (!format) {
    throw py::value_error(std::string("format must be ") + ulvimage::formatNamesText() +
                          ", not \"" + ulv::printable(name.cast<std::string>()) + "\"");
  }
  return format;
}

}  // namespace

py::object readImage(const py::object& path, const py::object& maxPixels) {
  const std::string file = pathFrom(path);
  const ulvcli::PixelBudget budget =
      maxPixels.is_none() ? ulvcli::PixelBudget::fromAvailableMemory()
                          : ulvcli::PixelBudget::ofPixels(maxPixels.cast<std::uint64_t>());
  ulvcli::Image image;
  try {
    image = ulvcli::loadImage(file, budget);
  } catch (const std::exception& error) {
    raiseOSError(file, error);
  }
  switch (image.type) {
    case ulvcli::SampleType::U16:
      return arrayOf<std::uint16_t>(image);
    case ulvcli::SampleType::F32:
      return arrayOf<float>(image);
    case ulvcli::SampleType::U8:
      break;
  }
  return arrayOf<std::uint8_t>(image);
}

void writeImage(const py::object& path, const py::object& image, const py::object& format,
                int quality) {
  const std::string file = pathFrom(path);
  if (quality < 1 || quality > 100) throw py::value_error("quality must be within 1..100");
  ulvcli::ImageFormat chosen;
  try {
    chosen = ulvcli::outputFormatFor(file, formatNamed(format));
  } catch (const std::runtime_error& error) {
    throw py::value_error(ulv::printable(error.what()));
  }
  const ulvcli::Image pixels = imageFrom(image, chosen);
  try {
    ulvimage::checkChannelsFit(chosen, pixels.channels);
  } catch (const std::exception& error) {
    throw py::value_error("\"" + ulv::printable(file) + "\": " + error.what());
  }
  try {
    ulvcli::saveImage(file, pixels, chosen, quality);
  } catch (const std::exception& error) {
    raiseOSError(file, error);
  }
}

}  // namespace ulvpy
