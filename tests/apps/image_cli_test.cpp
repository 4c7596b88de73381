// `ulvadern denoise` and image files: pipes, depths, formats, metadata, and
// the checks made before any image is denoised.
#include <gmock/gmock.h>

#include <cstdlib>

#include "cli_support.hpp"

namespace ulvcli::test {
namespace {

using ::testing::HasSubstr;

const fs::path kCorpus = ULV_IMAGE_CORPUS;

class ImageCli : public CliTest {
 protected:
  // Runs a shell command line in dir(), with $ULVADERN naming the tool.
  int shell(const std::string& command) const {
    const std::string line = "cd '" + dir().string() + "' && ULVADERN='" + ULV_CLI_PATH + "' && " +
                             "export ULVADERN && " + command;
    return std::system(line.c_str());
  }
  void copyFromCorpus(const std::string& name) { fs::copy_file(kCorpus / name, dir() / name); }
};

TEST_F(ImageCli, PipesCarryTheSameBytesAsFilesAndLeaveStandardOutputToTheImage) {
  writePng(dir() / "in.png", scene(64, 64, 30));
  ASSERT_EQ(run({"denoise", "in.png", "-o", "out.png", "--seed", "7"}).exitCode, 0);
  ASSERT_EQ(shell("cat in.png | \"$ULVADERN\" denoise - -o - --seed 7 > piped.png 2> err.txt"), 0);
  EXPECT_TRUE(fileBytes(dir() / "piped.png") == fileBytes(dir() / "out.png"));
  EXPECT_THAT(fileBytes(dir() / "err.txt"), HasSubstr("1 of 1 image denoised"));

  ASSERT_EQ(shell("\"$ULVADERN\" denoise in.png -o - --format tif -q --seed 7 > out.tif"), 0);
  EXPECT_EQ(loadImage(dir() / "out.tif").samples, loadImage(dir() / "out.png").samples);
}

// The library's 8-bit result in the input's depth: times 257 for 16 bits,
// divided by 255 for floats.
TEST_F(ImageCli, SixteenBitAndFloatTiffsComeBackInTheirDepth) {
  for (const char* name : {"tiff_rgb16.tif", "tiff_gray_float.tif", "png_gray8.png"}) {
    copyFromCorpus(name);
  }
  ASSERT_EQ(run({"denoise", "png_gray8.png", "--levels", "2", "-o", "eight.png"}).exitCode, 0);
  const CliRun floats = run({"denoise", "tiff_gray_float.tif", "--levels", "2", "-o", "f.tif"});
  ASSERT_EQ(floats.exitCode, 0) << floats.err;
  const Image eight = loadImage(dir() / "eight.png");
  const Image fromFloat = loadImage(dir() / "f.tif");
  ASSERT_EQ(fromFloat.type, SampleType::F32);
  for (std::size_t k = 0; k < eight.samples.size(); ++k) {
    ASSERT_EQ(fromFloat.samples[k], static_cast<float>(eight.samples[k] / 255)) << k;
  }
  ASSERT_EQ(run({"denoise", "tiff_rgb16.tif", "--levels", "2", "-o", "w.tif"}).exitCode, 0);
  const Image wide = loadImage(dir() / "w.tif");
  ASSERT_EQ(wide.type, SampleType::U16);
  ASSERT_EQ(wide.channels, 3);
  for (double v : wide.samples) ASSERT_EQ(std::fmod(v, 257), 0) << v;
  // A float input into PNG: 16 bits, the nearest the format holds.
  ASSERT_EQ(run({"denoise", "tiff_gray_float.tif", "--levels", "2", "-o", "f.png"}).exitCode, 0);
  EXPECT_EQ(loadImage(dir() / "f.png").type, SampleType::U16);
}

TEST_F(ImageCli, JpegQualityAndIccProfilesReachTheOutput) {
  copyFromCorpus("png_rgb8_icc.png");
  for (const char* quality : {"10", "95"}) {
    ASSERT_EQ(run({"denoise", "png_rgb8_icc.png", "--levels", "2", "--quality", quality, "-o",
                   std::string("q") + quality + ".jpg"})
                  .exitCode,
              0);
  }
  EXPECT_LT(fs::file_size(dir() / "q10.jpg"), fs::file_size(dir() / "q95.jpg"));
  const std::string profile = loadImage(dir() / "png_rgb8_icc.png").iccProfile;
  EXPECT_EQ(loadImage(dir() / "q95.jpg").iccProfile, profile);
}

TEST_F(ImageCli, OutputsThatCannotBeWrittenAreRefusedBeforeAnyImageIsDenoised) {
  copyFromCorpus("png_rgb8.png");
  copyFromCorpus("png_gray8.png");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"png_rgb8.png", "-o", "out.pgm"}, "png_rgb8.png\" is in colour: PGM files hold gray"},
      {{"png_gray8.png", "png_rgb8.png", "--out-dir", "all", "--format", "pgm"}, "is in colour"},
      {{"png_gray8.png", "-o", "missing/out.png"}, "missing\" does not exist"},
      {{"png_gray8.png", "-o", "out.jpg", "--depth", "16"}, "JPEG files hold 8 bits per sample"},
      {{"png_gray8.png", "-o", "out.xyz"}, "cannot write images of type \".xyz\""},
  };
  for (const auto& [args, message] : cases) {
    std::vector<std::string> full = {"denoise", "--levels", "2"};
    full.insert(full.end(), args.begin(), args.end());
    const CliRun r = run(full);
    EXPECT_EQ(r.exitCode, 2) << message;
    EXPECT_THAT(r.err, HasSubstr(message));
    EXPECT_EQ(r.out, "");
  }
  EXPECT_FALSE(fs::exists(dir() / "all" / "png_gray8.pgm"));
  EXPECT_EQ(run({"denoise", "--levels", "2", "png_rgb8.png", "--luma", "-o", "l.pgm"}).exitCode, 0);
}

TEST_F(ImageCli, ImagesBeyondTheMemoryOrThePixelLimitAreRefusedFromTheirHeader) {
  copyFromCorpus("bad_lying.png");
  copyFromCorpus("png_gray8.png");
  const CliRun lying = run({"denoise", "bad_lying.png", "-o", "out.png"});
  EXPECT_EQ(lying.exitCode, 1);
  EXPECT_THAT(lying.err, HasSubstr("too large: a 1000000x1000000 image needs about"));
  const CliRun limited = run({"denoise", "png_gray8.png", "--max-pixels", "100", "-o", "out.png"});
  EXPECT_EQ(limited.exitCode, 1);
  EXPECT_THAT(limited.err, HasSubstr("has 192 pixels, more than the limit of 100"));
  EXPECT_FALSE(fs::exists(dir() / "out.png"));
}

}  // namespace
}  // namespace ulvcli::test
