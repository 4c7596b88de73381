// Running the built command-line tool in a scratch directory, and making the
// images and MAT-files it reads.
#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "image_io.hpp"
#include "ulvadern/array.hpp"

namespace ulvcli::test {

namespace fs = std::filesystem;

struct CliRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Each test runs in a fresh directory, removed afterwards.
class CliTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs `ulvadern args...` in dir(); env entries "NAME=value" are added.
  CliRun run(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) const;
  // The same in the background, in `cwd` (default: dir()); finish() waits for it.
  pid_t start(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
              const fs::path& cwd = {}) const;
  CliRun finish(pid_t pid) const;
  // The RLIMIT_FSIZE of the runs that follow, in bytes.
  void limitFileSize(rlim_t bytes) { fileSizeLimit_ = bytes; }
  const fs::path& dir() const { return dir_; }

 private:
  fs::path dir_;
  rlim_t fileSizeLimit_ = RLIM_INFINITY;
};

// An 8-bit image as the tests make and compare them, laid out like Image.
struct Image8 {
  int width = 0;
  int height = 0;
  int channels = 0;
  std::vector<unsigned char> samples;
};

// A width x height gray test scene: a bright square on a dark ground, with
// noise (noise 0: the clean scene). Deterministic.
Image8 scene(int width, int height, double noise);
// The same scene in colour: channels equal to the gray scene, plus alpha.
Image8 colourScene(int width, int height, double noise);
void writePng(const fs::path& path, const Image8& image);
void writeImage(const fs::path& path, const Image8& image, ImageFormat format);
// A 16-bit gray PNG whose samples are the 8-bit ones times 257.
void writePng16(const fs::path& path, const Image8& gray);
// A PNG file made of the given (type, data) chunks, with their lengths and CRCs.
std::string pngFile(const std::vector<std::pair<std::string, std::string>>& chunks);
// The data of an IHDR chunk for a gray image.
std::string grayPngHeader(int width, int height, int bitDepth);
Image8 readImage8(const fs::path& path);  // with every sample rounded to 8 bits

ulv::mxArray matVariable(const fs::path& file, const std::string& name);
std::string fileBytes(const fs::path& path);
double psnr8(const Image8& a, const Image8& b);

}  // namespace ulvcli::test
