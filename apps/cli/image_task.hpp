// One image of a denoising run: what to read and write, and what came of it.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "image_formats.hpp"

namespace ulvcli {

struct ImageTask {
  std::filesystem::path input;                                // "-": standard input
  std::filesystem::path output;                               // "-": standard output
  ulvimage::ImageFormat format = ulvimage::ImageFormat::Png;  // of the output
  std::filesystem::path reference;  // clean image for PSNR; empty when unknown
};

struct ImageResult {
  bool ok = false;
  std::string error;  // why it failed
  int width = 0;
  int height = 0;
  int channels = 0;  // of the output
  double seconds = 0;
  std::optional<double> psnrBefore;  // input against the reference
  std::optional<double> psnrAfter;   // output against the reference
};

}  // namespace ulvcli
