#include "denoise_image.hpp"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>

#include "image_io.hpp"
#include "image_planes.hpp"
#include "ulvadern/errors.hpp"
#include "ulvadern/random.hpp"

namespace ulvcli {

namespace {

// The transform's default filters need 1 + 4 * 2^(N-1) samples at level N,
// on the image extended by one pixel on every side.
void checkSizeForLevels(const Planes& planes, int levels) {
  const long long needed = 1 + 4 * (1LL << (levels - 1));
  const long long side = std::min(planes.width, planes.height) + 2LL;
  if (side < needed) {
    throw std::runtime_error("a " + std::to_string(planes.width) + "x" +
                             std::to_string(planes.height) + " image is too small for " +
                             std::to_string(levels) + " levels (each side needs at least " +
                             std::to_string(needed - 2) + " pixels); use fewer --levels");
  }
}

std::vector<double> denoisePlane(ulv::LoadedLibrary& library, const std::vector<double>& plane,
                                 int width, int height, const DenoiseSettings& settings) {
  const std::vector<ulv::mxArray> inputs = {
      planeToMatrix(plane, width, height),
      ulv::mxArray::scalar(settings.levels),
      ulv::mxArray::fromVector({1, settings.gains.size()}, settings.gains),
      ulv::mxArray::scalar(settings.pot),
  };
  ulv::seedRandom(settings.seed);
  const std::vector<ulv::mxArray> outputs = library.call("ulvadern", 1, inputs);
  const ulv::mxArray& y = outputs.front();
  if (y.classID() != ulv::mxUINT8_CLASS || y.rows() != static_cast<std::size_t>(height) ||
      y.cols() != static_cast<std::size_t>(width) || y.ndims() != 2) {
    throw std::runtime_error("the library returned a " + ulv::dimsText(y.dims()) +
                             " array where a " + std::to_string(height) + "x" +
                             std::to_string(width) + " uint8 image was expected");
  }
  return matrixToPlane(y);
}

// PSNR before and after, when the reference matches the image's planes.
void measureAgainstReference(const ImageTask& task, const Planes& noisy, const Planes& denoised,
                             bool luma, ImageResult& result) {
  if (task.reference.empty()) return;
  Planes clean;
  try {
    clean = splitPlanes(loadImage(task.reference), luma);
  } catch (const std::exception& error) {
    ulv::hostWarning("no PSNR: the reference \"" + task.reference.string() + "\": " + error.what());
    return;
  }
  if (clean.width != noisy.width || clean.height != noisy.height ||
      clean.colour.size() != noisy.colour.size()) {
    ulv::hostWarning("no PSNR: the reference \"" + task.reference.string() +
                     "\" differs from the input in size or channels");
    return;
  }
  result.psnrBefore = psnr(noisy, clean);
  result.psnrAfter = psnr(denoised, clean);
}

}  // namespace

ImageResult denoiseImage(ulv::LoadedLibrary& library, const ImageTask& task,
                         const DenoiseSettings& settings) {
  const auto start = std::chrono::steady_clock::now();
  const ImageFormat format = outputFormatFor(task.output);
  const Image image = loadImage(task.input);
  if (image.scaledFrom16Bit) {
    ulv::hostWarning("16-bit samples scaled to 0..255; the output has 8 bits per sample");
  }
  const Planes noisy = splitPlanes(image, settings.luma);
  checkSizeForLevels(noisy, settings.levels);
  Planes denoised = noisy;
  for (std::vector<double>& plane : denoised.colour) {
    plane = denoisePlane(library, plane, noisy.width, noisy.height, settings);
  }
  const Image8 output = joinPlanes(denoised);
  saveImage(task.output, output, format);

  ImageResult result;
  result.ok = true;
  result.width = output.width;
  result.height = output.height;
  result.channels = output.channels;
  measureAgainstReference(task, noisy, denoised, settings.luma, result);
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return result;
}

}  // namespace ulvcli
