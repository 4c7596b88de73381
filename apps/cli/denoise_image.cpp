#include "denoise_image.hpp"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "host/runtime/heap_warming.hpp"
#include "image_io.hpp"
#include "image_planes.hpp"
#include "mask_files.hpp"
#include "offset_removal.hpp"
#include "ulvadern/errors.hpp"
#include "ulvadern/parallel.hpp"
#include "ulvadern/random.hpp"
#include "ulvadern/work_directory_lock.hpp"

namespace ulvcli {

namespace {

// The transform's default filters need 1 + 4 * 2^(N-1) samples at level N,
// on the image extended by one pixel on every side.
void checkSizeForLevels(const Image& image, int levels) {
  const long long needed = 1 + 4 * (1LL << (levels - 1));
  const long long side = std::min(image.width, image.height) + 2LL;
  if (side < needed) {
    throw std::runtime_error("a " + std::to_string(image.width) + "x" +
                             std::to_string(image.height) + " image is too small for " +
                             std::to_string(levels) + " levels (each side needs at least " +
                             std::to_string(needed - 2) + " pixels); use fewer --levels");
  }
}

// The call's working memory, about 5 bordered image-sized arrays per level
// and 4 more (22 in all at 3 levels, measured): a little below it, so that
// no page is mapped ahead that the call would not use.
std::size_t callWorkingBytes(const ImageHeader& header, int levels) {
  const std::size_t page = (static_cast<std::size_t>(header.width) + 2) *
                           (static_cast<std::size_t>(header.height) + 2) * sizeof(double);
  return page * (5 * static_cast<std::size_t>(levels) + 4);
}

// The matrix becomes the call's input, shifted in place: one image-sized
// array lives through the call beside the library's own.
ulv::mxArray denoisePlane(ulv::LoadedLibrary& library, ulv::mxArray matrix, int width, int height,
                          const DenoiseSettings& settings, ImageMasks* masks) {
  const std::vector<ulv::mxArray> inputs = {
      settings.keepOffset ? std::move(matrix)
                          : ulvapps::inputWithoutOffset(std::move(matrix), settings.levels),
      ulv::mxArray::scalar(settings.levels),
      ulv::mxArray::fromVector({1, settings.gains.size()}, settings.gains),
      ulv::mxArray::scalar(settings.pot),
  };
  // The masks are read under the same hold of the work directory as the call
  // that wrote them, not after another process's call.
  const ulv::WorkDirectoryCall oneCallPerDirectory;
  ulv::seedRandom(settings.seed);
  const std::vector<ulv::mxArray> outputs = library.call("ulvadern", 1, inputs);
  ulv::mxArray y = outputs.front();
  if (y.classID() != ulv::mxUINT8_CLASS || y.rows() != static_cast<std::size_t>(height) ||
      y.cols() != static_cast<std::size_t>(width) || y.ndims() != 2) {
    throw std::runtime_error("the library returned a " + ulv::dimsText(y.dims()) +
                             " array where a " + std::to_string(height) + "x" +
                             std::to_string(width) + " uint8 image was expected");
  }
  if (masks != nullptr) collectMasks(*masks, width, height);
  return y;
}

// PSNR before and after (of the output as written), when the reference
// matches the image's planes.
void measureAgainstReference(const ImageTask& task, const Planes& noisy, const Image& output,
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
  result.psnrAfter = psnr(splitPlanes(output, false), clean);
}

}  // namespace

PixelBudget ImageOptions::budget() const {
  return maxPixels ? PixelBudget::ofPixels(*maxPixels) : PixelBudget::fromAvailableMemory();
}

SampleType ImageOptions::outputType(SampleType input, ImageFormat format) const {
  return ulvimage::storableType(format, depth.value_or(input));
}

ImageResult denoiseImage(ulv::LoadedLibrary& library, const ImageTask& task,
                         const DenoiseSettings& settings, const ImageOptions& images,
                         const PhaseListener& onPhase) {
  const auto start = std::chrono::steady_clock::now();
  // With a core to spare, the call's pages are mapped while the image is
  // decoded and converted on this one.
  ulv::HeapWarming warming;
  Image image = loadImage(task.input, images.budget(), [&](const ImageHeader& header) {
    if (ulv::workerThreads() >= 2) warming.start(callWorkingBytes(header, settings.levels));
  });
  checkSizeForLevels(image, settings.levels);
  const std::size_t planes = colourPlaneCount(image, settings.luma);
  const bool alpha = hasAlpha(image);
  // Only a PSNR reads the noisy planes again.
  const Planes noisy = task.reference.empty() ? Planes{} : splitPlanes(image, settings.luma);
  Image output;
  ImageMasks masks;
  ImageMasks* const keptMasks = settings.masksDir.empty() ? nullptr : &masks;
  PhaseProgress progress(onPhase, settings.levels, planes);
  for (std::size_t p = 0; p < planes; ++p) {
    const PhaseProgress::PlaneWatch watch(progress, p);
    ulv::mxArray matrix = planeMatrix(image, p, settings.luma);
    // A gray image's samples are not read again: memory freed before the call
    // serves it instead of fresh pages, each faulted in on first use.
    if (planes == 1 && !alpha) std::vector<double>().swap(image.samples);
    const ulv::mxArray y =
        denoisePlane(library, std::move(matrix), image.width, image.height, settings, keptMasks);
    // Made after the first call, in the memory it freed.
    if (output.samples.empty()) {
      output = blankImage(image.width, image.height, static_cast<int>(planes) + (alpha ? 1 : 0),
                          images.outputType(image.type, task.format));
    }
    setPlane(output, p, y);
  }
  if (alpha) copyAlpha(image, output);
  output.iccProfile = image.iccProfile;
  saveImage(task.output, output, task.format, images.quality);
  if (keptMasks != nullptr) saveMasks(settings.masksDir, task.input.stem().string(), masks);

  ImageResult result;
  result.ok = true;
  result.width = output.width;
  result.height = output.height;
  result.channels = output.channels;
  measureAgainstReference(task, noisy, output, settings.luma, result);
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return result;
}

}  // namespace ulvcli
