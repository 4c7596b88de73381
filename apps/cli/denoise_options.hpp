// The options of `ulvadern denoise`, checked.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "denoise_image.hpp"
#include "image_io.hpp"

namespace ulvcli {

struct DenoiseOptions {
  std::vector<std::string> inputs;  // files or directories, as given; "-": standard input
  std::filesystem::path output;     // -o (one input only); "-": standard output
  std::filesystem::path outDir;     // --out-dir
  ImageOptions images;
  DenoiseSettings settings;
  std::filesystem::path workdir;  // empty: the current directory
  int jobs = 1;
  unsigned threads = 0;  // per image (and per worker); 0: the cores, shared among the workers
  bool quiet = false;
  std::filesystem::path recordRandom;
  std::filesystem::path replayRandom;
  std::filesystem::path reference;
  bool help = false;
};

// Throws UsageError for a bad or missing option value.
DenoiseOptions parseDenoiseOptions(const std::vector<std::string>& args);

}  // namespace ulvcli
