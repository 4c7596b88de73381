// The compiled part of the Python package `ulvadern`.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <string>
#include <vector>

#include "denoise_binding.hpp"
#include "host/files/matfile.hpp"
#include "host_session.hpp"
#include "image_files.hpp"
#include "numpy_conversion.hpp"
#include "ulvadern/defaults.hpp"
#include "ulvadern/random.hpp"

namespace ulvpy {

namespace {

// LoadedLibrary::call makes room for nargout outputs; the largest declared
// count is 3, so this bound only keeps absurd requests from allocating.
constexpr int kMaxOutputs = 64;

int outputCountFrom(const py::object& nargout) {
  const long long count = integerFrom(nargout, "nargout");
  if (count < 0 || count > kMaxOutputs) {
    throw py::value_error("nargout must lie in 0 .. " + std::to_string(kMaxOutputs));
  }
  return static_cast<int>(count);
}

py::object callFunction(const std::string& name, const py::args& args, const py::object& nargout,
                        const py::object& seed, const py::object& workdir) {
  const int outputs = outputCountFrom(nargout);
  std::vector<ulv::mxArray> inputs;
  for (const py::handle arg : args) inputs.push_back(toHostArray(arg));
  const std::uint64_t generatorSeed = seedFrom(seed);
  const CallDirectory directory(directoryFrom(workdir));
  ulv::LoadedLibrary& library = sharedLibrary();
  std::vector<ulv::mxArray> results;
  CallNotes notes;
  runIsolated(directory.path(), notes, [&] {
    ulv::seedRandom(generatorSeed);
    results = library.call(name, outputs, inputs);
    inputs.clear();
  });
  raiseNotes(notes);
  if (outputs <= 1) return toPython(results.front());
  py::tuple values(results.size());
  for (std::size_t k = 0; k < results.size(); ++k) values[k] = toPython(results[k]);
  return values;
}

py::dict functionTable() {
  const ulv::LibraryDescriptor& descriptor = sharedLibrary().descriptor();
  py::dict table;
  for (int i = 0; i < descriptor.functionCount; ++i) {
    const ulv::FunctionTableEntry& entry = descriptor.functions[i];
    table[entry.name] = py::make_tuple(entry.inputs, entry.outputs);
  }
  return table;
}

std::string fileFrom(const py::object& path) {
  const py::object text = py::module_::import("os").attr("fspath")(path);
  if (!py::isinstance<py::str>(text)) throw py::type_error("the path must be a str or os.PathLike");
  return text.cast<std::string>();
}

void saveMat(const py::object& path, const py::dict& variables) {
  std::vector<std::pair<std::string, ulv::mxArray>> values;
  for (const auto& [name, value] : variables) {
    if (!py::isinstance<py::str>(name)) throw py::type_error("variable names must be str");
    values.emplace_back(name.cast<std::string>(), toHostArray(value));
  }
  ulv::saveVariables(ulv::matFileName(fileFrom(path)), values);
}

py::dict loadMat(const py::object& path) {
  py::dict variables;
  for (const auto& [name, value] : ulv::loadAllVariables(ulv::matFileName(fileFrom(path)))) {
    variables[py::str(name)] = toPython(value);
  }
  return variables;
}

}  // namespace

}  // namespace ulvpy

PYBIND11_MODULE(_ulvadern, module) {
  namespace py = pybind11;
  using namespace pybind11::literals;
  module.doc() = "The compiled part of ulvadern: the library's host for Python.";
  module.attr("__version__") = ULVADERN_VERSION;
  // The seed a call without one uses; seeds derived per plane start from it.
  module.attr("DEFAULT_SEED") = ulv::kDefaultSeed;
  module.attr("DEFAULT_LEVELS") = ulv::kDefaultLevels;
  module.attr("DEFAULT_POT") = ulv::kDefaultPot;
  ulvpy::registerHostTypes(module);

  module.def("denoise_gray_levels", &ulvpy::denoise, "image"_a, py::kw_only(),
             "levels"_a = ulv::kDefaultLevels, "gains"_a = py::none(), "pot"_a = ulv::kDefaultPot,
             "seed"_a = py::none(), "workdir"_a = py::none(), "return_masks"_a = false,
             "threads"_a = py::none(), "keep_offset"_a = false,
             R"(The compiled core of ulvadern.denoise: gray levels in, uint8 out.

image: (H, W) or (H, W, C) gray levels 0..255 of any real dtype, each channel
denoised from the same seed. Without keep_offset the image is denoised
shifted down by `levels`, so the library's +levels offset is not in the
result. With return_masks: (image, maskh, maskv), the masks as the library
saved them, (H + 2, W + 2, levels), stacked on a last axis for C channels.
The other arguments as for ulvadern.denoise.)");

  module.def("call", &ulvpy::callFunction, "name"_a, py::kw_only(), "nargout"_a = 1,
             "seed"_a = py::none(), "workdir"_a = py::none(),
             R"(Calls one of the library's functions by name: call(name, *args, nargout=1).

Arguments: NumPy arrays (any shape, a 1-D array is a row; uint8 stays uint8,
bool is logical, other real dtypes become double), numbers, str (char row),
lists/tuples of numbers (as np.array makes them), other lists/tuples (1 x n
cell), None ([]). Results: NumPy arrays in column-major layout with the library's
sizes (at least 2-D), str for char rows, list for cell vectors, None for an
output left unassigned. One result for nargout <= 1, else a tuple.
seed and workdir as for denoise; gaussfit reads "minimiza.mat" from workdir.)");

  module.def("functions", &ulvpy::functionTable,
             "The library's functions: {name: (nargin, nargout)}; nargin -(n+1) means n "
             "named inputs and varargin.");
  module.def("library_path", &ulvpy::libraryPath,
             "The libulvadern.so this module loads ($ULVADERN_LIBRARY overrides the built one).");
  module.def(
      "savemat", &ulvpy::saveMat, "path"_a, "variables"_a,
      "Writes {name: value} to a MAT-file (whole or not at all), values converted as for call.");
  module.def("loadmat", &ulvpy::loadMat, "path"_a,
             "Reads every variable of a MAT-file into {name: value}, converted as call's results.");
  module.def("imread", &ulvpy::readImage, "path"_a, py::kw_only(), "max_pixels"_a = py::none(),
             R"(Reads a PNG, JPEG, TIFF, PGM/PPM or BMP file into an (H, W) or (H, W, C)
array: uint8 for 8-bit files, uint16 for 16-bit ones, float32 (in [0, 1]) for
float TIFF. A JPEG is turned as its EXIF orientation says. Damaged files raise
OSError. max_pixels: the largest image to read; by default one whose
denoising fits the available memory (judged from the header).)");
  module.def("imwrite", &ulvpy::writeImage, "path"_a, "image"_a, py::kw_only(),
             "format"_a = py::none(), "quality"_a = 95,
             R"(Writes (H, W) or (H, W, C) (C = 1..4), whole. uint16 arrays are written
with 16 bits, float32 arrays into TIFF as floats in [0, 1], other dtypes as gray
levels rounded and clipped to 0..255; JPEG and BMP hold 8 bits. The format
follows the extension (png, jpg, tif, pgm, ppm, bmp; PNG without one) unless
format names it; quality: of JPEG files, 1..100.)");
}
