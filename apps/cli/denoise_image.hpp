// Denoising one image file through the library's "ulvadern".
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "image_io.hpp"
#include "image_task.hpp"
#include "phase_progress.hpp"
#include "ulvadern/defaults.hpp"
#include "ulvadern/loader.hpp"

namespace ulvcli {

struct DenoiseSettings {
  int levels = ulv::kDefaultLevels;
  std::vector<double> gains;  // at least `levels` values
  double pot = ulv::kDefaultPot;
  std::uint64_t seed = 0;
  bool luma = false;
  bool keepOffset = false;         // the library's output as it is, +levels
  std::filesystem::path masksDir;  // --save-masks; empty: none
};

// How images are read and written.
struct ImageOptions {
  std::optional<ImageFormat> format;            // --format: else from the output's extension
  int quality = ulvimage::kDefaultJpegQuality;  // of JPEG outputs
  std::optional<SampleType> depth;              // --depth: else the input's
  std::optional<std::uint64_t> maxPixels;       // --max-pixels: else what the memory allows

  PixelBudget budget() const;
  // The sample type an output in `format` gets for an input of `input`.
  SampleType outputType(SampleType input, ImageFormat format) const;
};

// Reads the input, denoises every colour plane (each from the same seed, so
// equal planes stay equal; without the library's +levels offset unless
// keepOffset), keeps alpha, writes the output whole (and the masks, with
// masksDir) and measures PSNR of what it wrote against the task's reference.
// Tells the phases of each plane to `onPhase` (may be empty). Warnings go
// through the host's warning channel; failures are thrown.
ImageResult denoiseImage(ulv::LoadedLibrary& library, const ImageTask& task,
                         const DenoiseSettings& settings, const ImageOptions& images,
                         const PhaseListener& onPhase = {});

}  // namespace ulvcli
