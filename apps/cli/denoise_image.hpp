// Denoising one image file through the library's "ulvadern".
#pragma once

#include <cstdint>
#include <vector>

#include "image_task.hpp"
#include "ulvadern/defaults.hpp"
#include "ulvadern/loader.hpp"

namespace ulvcli {

struct DenoiseSettings {
  int levels = ulv::kDefaultLevels;
  std::vector<double> gains;  // at least `levels` values
  double pot = ulv::kDefaultPot;
  std::uint64_t seed = 0;
  bool luma = false;
};

// Reads the input, denoises every colour plane (each from the same seed, so
// equal planes stay equal), keeps alpha, writes the output whole and measures
// PSNR against the task's reference. Warnings go through the host's warning
// channel; failures are thrown.
ImageResult denoiseImage(ulv::LoadedLibrary& library, const ImageTask& task,
                         const DenoiseSettings& settings);

}  // namespace ulvcli
