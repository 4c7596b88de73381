#include "denoise_binding.hpp"

#include <pybind11/numpy.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "denoise_defaults.hpp"
#include "host/files/matfile.hpp"
#include "host_session.hpp"
#include "numpy_conversion.hpp"
#include "offset_removal.hpp"
#include "ulvadern/errors.hpp"
#include "ulvadern/parallel.hpp"
#include "ulvadern/random.hpp"
#include "ulvadern/work_directory_lock.hpp"
#include "ulvadern/work_directory_store.hpp"

namespace ulvpy {

namespace {

using ulvapps::kMaxLevels;

struct DenoiseSettings {
  int levels = ulv::kDefaultLevels;
  std::vector<double> gains;
  double pot = ulv::kDefaultPot;
  std::uint64_t seed = 0;
  unsigned threads = 1;
  bool keepOffset = false;
};

// The colour planes of an image, each an H x W double matrix.
struct ImagePlanes {
  py::ssize_t height = 0;
  py::ssize_t width = 0;
  bool colour = false;
  std::vector<ulv::mxArray> planes;
};

struct DenoiseOutcome {
  std::vector<ulv::mxArray> images;
  std::vector<ulv::mxArray> maskh;
  std::vector<ulv::mxArray> maskv;
};

std::string shapeText(const py::array& array) {
  return py::str(py::tuple(array.attr("shape"))).cast<std::string>();
}

ImagePlanes planesOf(const py::object& image) {
  const py::array array = py::module_::import("numpy").attr("asarray")(image);
  if (!holdsRealNumbers(array)) {
    throw py::type_error("denoise takes images of a real dtype (bool, integer or float), not " +
                         py::str(py::handle(array.dtype())).cast<std::string>());
  }
  if (array.ndim() != 2 && array.ndim() != 3) {
    throw py::value_error(
        "denoise takes a 2-D (H, W) or 3-D (H, W, C) image, not an array of shape " +
        shapeText(array));
  }
  if (array.size() == 0) throw py::value_error("the image is empty: shape " + shapeText(array));
  const DoubleArray values = doublesOf(array);
  ImagePlanes planes{array.shape(0), array.shape(1), array.ndim() == 3, {}};
  const std::size_t pixels = static_cast<std::size_t>(planes.height * planes.width);
  const std::size_t channels = planes.colour ? static_cast<std::size_t>(array.shape(2)) : 1;
  for (std::size_t c = 0; c < channels; ++c) {
    const double* first = values.data() + c * pixels;
    planes.planes.push_back(ulv::mxArray::fromVector(
        {static_cast<std::size_t>(planes.height), static_cast<std::size_t>(planes.width)},
        std::vector<double>(first, first + pixels)));
  }
  return planes;
}

std::vector<double> gainsFrom(const py::object& gains, int levels) {
  if (gains.is_none()) return ulvapps::defaultGains(levels);
  const py::array array = py::module_::import("numpy").attr("asarray")(gains);
  if (!holdsRealNumbers(array) || array.ndim() > 1) {
    throw py::type_error("gains must be a real number or a sequence of them");
  }
  const DoubleArray numbers = doublesOf(array);
  std::vector<double> values(numbers.data(), numbers.data() + numbers.size());
  // One number is every level's gain.
  if (array.ndim() == 0) values.assign(static_cast<std::size_t>(levels), values.front());
  if (values.size() < static_cast<std::size_t>(levels)) {
    throw py::value_error("gains needs at least " + std::to_string(levels) +
                          " values, one per level (levels=" + std::to_string(levels) + ")");
  }
  const auto bad =
      std::find_if(values.begin(), values.end(), [](double v) { return !std::isfinite(v); });
  if (bad != values.end()) {
    throw py::value_error("gains must be finite numbers (gains[" +
                          std::to_string(bad - values.begin()) + "] is " +
                          py::repr(py::float_(*bad)).cast<std::string>() + ")");
  }
  return values;
}

double potFrom(const py::object& pot) {
  if (py::isinstance<py::bool_>(pot) || !PyNumber_Check(pot.ptr()) || PyComplex_Check(pot.ptr())) {
    throw py::type_error("pot must be a real number");
  }
  const double value = py::float_(pot).cast<double>();
  if (!std::isfinite(value)) throw py::value_error("pot must be a finite number");
  if (!(value > 0)) throw py::value_error(std::string("pot ") + ulvapps::kPotRange);
  return value;
}

DenoiseSettings settingsFrom(const py::object& levels, const py::object& gains,
                             const py::object& pot, const py::object& seed,
                             const py::object& threads, bool keepOffset) {
  DenoiseSettings settings;
  const long long count = integerFrom(levels, "levels");
  if (count < 1 || count > kMaxLevels) {
    throw py::value_error("levels must lie in 1 .. " + std::to_string(kMaxLevels));
  }
  settings.levels = static_cast<int>(count);
  settings.gains = gainsFrom(gains, settings.levels);
  settings.pot = potFrom(pot);
  settings.seed = seedFrom(seed);
  settings.threads = threadCountFrom(threads);
  settings.keepOffset = keepOffset;
  return settings;
}

const ulv::mxArray& variableOf(const std::vector<std::pair<std::string, ulv::mxArray>>& variables,
                               const std::string& name) {
  for (const auto& [found, value] : variables) {
    if (found == name) return value;
  }
  ulv::hostError("\"mascaras.mat\" holds no variable \"" + name + "\".");
}

// Runs on the calling thread without the GIL: one library call per plane,
// each from the same seed, so that equal planes stay equal.
void denoisePlanes(const ImagePlanes& image, const DenoiseSettings& settings,
                   const std::string& directory, bool returnMasks, DenoiseOutcome& outcome) {
  ulv::LoadedLibrary& library = sharedLibrary();
  const ulv::ScopedWorkerThreads workers(settings.threads);
  const ulv::mxArray levels = ulv::mxArray::scalar(settings.levels);
  const ulv::mxArray gains = ulv::mxArray::fromVector({1, settings.gains.size()}, settings.gains);
  const ulv::mxArray pot = ulv::mxArray::scalar(settings.pot);
  for (const ulv::mxArray& plane : image.planes) {
    const ulv::mxArray input =
        settings.keepOffset ? plane : ulvapps::inputWithoutOffset(plane, settings.levels);
    // The masks are read under the same hold of the work directory as the
    // call that wrote them, not after another call's.
    const ulv::WorkDirectoryCall oneCallPerDirectory;
    ulv::seedRandom(settings.seed);
    std::vector<ulv::mxArray> y = library.call("ulvadern", 1, {input, levels, gains, pot});
    if (y.front().classID() != ulv::mxUINT8_CLASS || y.front().dims() != plane.dims()) {
      ulv::hostError("The library returned a " + ulv::dimsText(y.front().dims()) +
                     " array where a " + ulv::dimsText(plane.dims()) +
                     " uint8 image was expected.");
    }
    outcome.images.push_back(std::move(y.front()));
    if (!returnMasks) continue;
    const auto masks = ulv::loadAllVariables(directory + "/mascaras.mat");
    outcome.maskh.push_back(variableOf(masks, "maskh"));
    outcome.maskv.push_back(variableOf(masks, "maskv"));
  }
}

// (H, W) or (H, W, C), C-contiguous, from the planes' column-major matrices.
py::array_t<std::uint8_t> imageFrom(const ImagePlanes& image,
                                    const std::vector<ulv::mxArray>& planes) {
  const py::ssize_t channels = static_cast<py::ssize_t>(planes.size());
  std::vector<py::ssize_t> shape{image.height, image.width};
  if (image.colour) shape.push_back(channels);
  py::array_t<std::uint8_t> result(shape);
  std::uint8_t* out = result.mutable_data();
  for (py::ssize_t c = 0; c < channels; ++c) {
    const double* plane = planes[c].data();
    for (py::ssize_t r = 0; r < image.height; ++r) {
      for (py::ssize_t k = 0; k < image.width; ++k) {
        out[(r * image.width + k) * channels + c] =
            static_cast<std::uint8_t>(plane[r + k * image.height]);
      }
    }
  }
  return result;
}

// One channel's masks as they are; a colour image's stacked on a last axis.
py::object masksFrom(const ImagePlanes& image, const std::vector<ulv::mxArray>& masks) {
  py::list arrays;
  for (const ulv::mxArray& mask : masks) arrays.append(toPython(mask));
  if (!image.colour) return arrays[0];
  return py::module_::import("numpy").attr("stack")(arrays, py::arg("axis") = -1);
}

}  // namespace

py::object denoise(const py::object& image, const py::object& levels, const py::object& gains,
                   const py::object& pot, const py::object& seed, const py::object& workdir,
                   bool returnMasks, const py::object& threads, bool keepOffset) {
  const ImagePlanes planes = planesOf(image);
  const DenoiseSettings settings = settingsFrom(levels, gains, pot, seed, threads, keepOffset);
  const CallDirectory directory(directoryFrom(workdir));
  sharedLibrary();
  DenoiseOutcome outcome;
  CallNotes notes;
  runIsolated(directory.path(), notes, [&] {
    // A private directory's files stay in memory; the masks only when returned.
    std::optional<ulv::ScopedMemoryWorkDirectory> memory;
    if (directory.temporary()) {
      memory.emplace(returnMasks ? std::vector<std::string>{}
                                 : std::vector<std::string>{"mascaras"});
    }
    denoisePlanes(planes, settings, directory.path(), returnMasks, outcome);
  });
  raiseNotes(notes);
  py::array_t<std::uint8_t> result = imageFrom(planes, outcome.images);
  if (!returnMasks) return result;
  return py::make_tuple(result, masksFrom(planes, outcome.maskh), masksFrom(planes, outcome.maskv));
}

}  // namespace ulvpy
