// The library's seven functions called with arrays made from the input, to
// exercise their argument checks. Every call runs in a private directory (the
// library's "minimiza" and "mascaras" land there). Sizes stay tiny so that a
// run spends its time on checks, not on denoising.
//
// Input layout, one byte per field unless said otherwise (missing bytes read
// as 0):
//   function (index in the library's table, modulo 7), nargout (modulo 5),
//   number of inputs (modulo 7), flags (bit 0: first save an array as "vv"
//   in "minimiza", the sample that gaussfit reads), [that array], the inputs.
// An array: class (modulo 6: double, uint8, logical, char, cell, the
// placeholder), rows and columns (modulo kSideLimit + 1), pages (modulo 4;
// 1 gives a matrix), then per element a selector: below the size of kSpecial
// one of those values, 255 the next 8 bytes as a double, else a small whole
// number. Char elements are the bytes themselves; cells hold arrays.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz_support.hpp"
#include "host/files/matfile.hpp"
#include "ulvadern/descriptor.hpp"
#include "ulvadern/errors.hpp"
#include "ulvadern/loader.hpp"
#include "ulvadern/random.hpp"

namespace {

constexpr std::size_t kSideLimit = 16;
constexpr std::size_t kDenoiseSideLimit = 10;  // ulvadern runs a fit per level
constexpr int kCellDepthLimit = 2;

// Values that argument checks must handle; a selector picks one by index.
// clang-format off
const double kSpecial[] = {
    0, 1, -1, 0.5, 2, 3, 4, 255, 256, -0.0,
    NAN, INFINITY, -INFINITY, 1e308, -1e308, 5e-324, 1e-20,
    2147483648.0, 9007199254740992.0, 64, 30, 0.3, 1.5, -2147483649.0,
};
// clang-format on
constexpr std::uint8_t kSpecialCount = std::size(kSpecial);
constexpr std::uint8_t kRawDouble = 255;

ulv::LoadedLibrary& library() {
  static const std::unique_ptr<ulv::LoadedLibrary> attached =
      ulv::LoadedLibrary::attach(&ulv::_mexLibrary);
  return *attached;
}

double numberFrom(ulvfuzz::ByteReader& in) {
  const std::uint8_t selector = in.byte();
  if (selector < kSpecialCount) return kSpecial[selector];
  if (selector == kRawDouble) return in.rawDouble();
  return selector - kSpecialCount;
}

// An element value that the class can hold.
double elementFrom(ulvfuzz::ByteReader& in, ulv::mxClassID cls) {
  if (cls == ulv::mxCHAR_CLASS) return in.byte();
  const double value = numberFrom(in);
  if (cls == ulv::mxLOGICAL_CLASS) return value != 0;
  if (cls == ulv::mxUINT8_CLASS)
    return std::isnan(value) ? 0 : std::fmin(std::fmax(std::round(value), 0), 255);
  return value;
}

ulv::mxArray arrayFrom(ulvfuzz::ByteReader& in, std::size_t sideLimit, int depth = 0) {
  static const ulv::mxClassID kClasses[] = {ulv::mxDOUBLE_CLASS,  ulv::mxUINT8_CLASS,
                                            ulv::mxLOGICAL_CLASS, ulv::mxCHAR_CLASS,
                                            ulv::mxCELL_CLASS,    ulv::mxUNKNOWN_CLASS};
  const ulv::mxClassID cls = kClasses[in.byte() % std::size(kClasses)];
  if (cls == ulv::mxUNKNOWN_CLASS) return ulv::mxArray();
  const std::size_t rows = in.byte() % (sideLimit + 1);
  const std::size_t cols = in.byte() % (sideLimit + 1);
  const std::size_t pages = in.byte() % 4;
  const ulv::Dims dims = pages == 1 ? ulv::Dims{rows, cols} : ulv::Dims{rows, cols, pages};
  if (cls == ulv::mxCELL_CLASS) {
    ulv::mxArray cell = ulv::mxArray::cell(dims);
    if (depth < kCellDepthLimit) {
      for (std::size_t k = 0; k < cell.numel(); ++k)
        cell.mutableCell(k) = arrayFrom(in, sideLimit, depth + 1);
    }
    return cell;
  }
  std::vector<double> values(ulv::numelOf(dims));
  for (double& value : values) value = elementFrom(in, cls);
  return ulv::mxArray::fromVector(dims, std::move(values), cls);
}

bool allFinite(const ulv::mxArray& a, std::size_t count) {
  if (!a.isNumericLike()) return true;
  for (std::size_t k = 0; k < std::min(count, a.numel()); ++k) {
    if (!std::isfinite(a.at(k))) return false;
  }
  return true;
}

std::string numberText(double value) {
  std::ostringstream text;
  text << value;
  return text.str();
}

// The number of levels a successful call must have been given.
bool acceptableLevels(const ulv::mxArray& n) {
  if (!n.isNumericLike() || n.isEmpty()) return true;  // refused elsewhere, or not used
  const double levels = n.at(0);
  return std::isfinite(levels) && levels >= 1 && levels == std::floor(levels);
}

// What a call that returned without an error must have been given and give.
void checkSuccess(const std::string& function, const std::vector<ulv::mxArray>& inputs,
                  const std::vector<ulv::mxArray>& outputs) {
  if (function == "ulvadern" && !inputs.empty()) {
    const ulv::mxArray& x = inputs[0];
    const ulv::mxArray& y = outputs[0];
    if (x.isNumericLike() && x.ndims() == 2 &&
        (y.classID() != ulv::mxUINT8_CLASS || y.dims() != x.dims()))
      ulvfuzz::finding("ulvadern returned an image of another class or size");
    if (inputs.size() > 1 && !acceptableLevels(inputs[1]))
      ulvfuzz::finding("ulvadern accepted N = " + numberText(inputs[1].at(0)));
    const bool levelsGiven = inputs.size() > 1 && !inputs[1].isEmpty() && inputs[1].isNumericLike();
    const double levels = levelsGiven ? std::fmin(inputs[1].at(0), 1e6) : 3;
    if (inputs.size() > 2 && !allFinite(inputs[2], static_cast<std::size_t>(levels)))
      ulvfuzz::finding("ulvadern accepted a gain that is not finite");
    if (inputs.size() > 3 && !allFinite(inputs[3], inputs[3].numel()))
      ulvfuzz::finding("ulvadern accepted a pot that is not finite");
  }
  if (function == "maltrans2d" && inputs.size() > 2 && !acceptableLevels(inputs[2]))
    ulvfuzz::finding("maltrans2d accepted N = " + numberText(inputs[2].at(0)));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ulvfuzz::silenceHost();
  library();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ulvfuzz::ByteReader in(data, size);
  const ulv::LibraryDescriptor& table = library().descriptor();
  const std::string function = table.functions[in.byte() % table.functionCount].name;
  const int nargout = in.byte() % 5;
  const int inputCount = in.byte() % 7;
  const bool writeSample = in.byte() & 1;
  const std::size_t sideLimit = function == "ulvadern" ? kDenoiseSideLimit : kSideLimit;

  const ulvfuzz::PrivateDirectory directory;
  const ulv::ScopedHostDirectory host(directory.path().string());
  if (writeSample) {
    try {
      ulv::saveVariables(directory.file("minimiza.mat"), {{"vv", arrayFrom(in, kSideLimit)}});
    } catch (const ulv::HostError&) {
      // a placeholder cannot be saved; gaussfit then finds no file
    }
  }
  std::vector<ulv::mxArray> inputs;
  for (int k = 0; k < inputCount; ++k) inputs.push_back(arrayFrom(in, sideLimit));

  ulv::seedRandom(ulv::kDefaultSeed);
  try {
    const std::vector<ulv::mxArray> outputs = library().call(function, nargout, inputs);
    ulvfuzz::note(function + ": returned " + std::to_string(outputs.size()) + " outputs");
    checkSuccess(function, inputs, outputs);
  } catch (const ulv::HostError& error) {
    ulvfuzz::note(function + ": " + error.what());  // the expected end of most inputs
  }
  if (ulvfuzz::holdsTemporaryFile(directory.path())) ulvfuzz::finding("a temporary file is left");
  return 0;
}
