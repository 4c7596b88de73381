// What `ulvadern denoise` writes against what the library returns: the
// +levels offset taken off (or kept), and the masks it can save.
#include <gmock/gmock.h>

#include <cmath>

#include "cli_support.hpp"

namespace ulvcli::test {
namespace {

using ::testing::HasSubstr;

class OffsetCli : public CliTest {
 protected:
  // A noisy scene with a white patch, whose noise the file clips at 255.
  void writeSceneWithHighlights() {
    Image8 image = scene(64, 48, 25);
    for (int r = 30; r < 44; ++r) {
      for (int c = 40; c < 60; ++c) image.samples[r * 64 + c] = 255;
    }
    writePng(dir() / "img.png", image);
  }
  Image8 denoised(const std::vector<std::string>& options) {
    std::vector<std::string> args = {"denoise", "img.png", "-o", "out.png"};
    args.insert(args.end(), options.begin(), options.end());
    const CliRun r = run(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return readImage8(dir() / "out.png");
  }
};

TEST_F(OffsetCli, TheOffsetIsTakenOffWithoutClippingAndKeptOnRequest) {
  writeSceneWithHighlights();
  const ulv::mxArray library = [&] {
    EXPECT_EQ(run({"call", "ulvadern", "img.png", "3", "-o", "y.mat"}).exitCode, 0);
    return matVariable(dir() / "y.mat", "y");
  }();
  const Image8 kept = denoised({"--keep-offset"});
  const Image8 plain = denoised({});
  int clipped = 0, white = 0, offByOne = 0;
  for (std::size_t r = 0; r < 48; ++r) {
    for (std::size_t c = 0; c < 64; ++c) {
      const double y = library.at(r + 48 * c);
      ASSERT_EQ(kept.samples[r * 64 + c], y);
      if (y < 255) {
        // Rounding may put a vanishing share of pixels one level apart.
        const double difference = plain.samples[r * 64 + c] - (y - 3);
        ASSERT_LE(std::abs(difference), 1) << r << "," << c;
        offByOne += difference != 0;
      } else {
        ++clipped;
        EXPECT_GE(plain.samples[r * 64 + c], 252);
      }
      white += plain.samples[r * 64 + c] == 255;
    }
  }
  EXPECT_LE(offByOne, 3);
  EXPECT_GT(clipped, 0);
  EXPECT_GT(white, 0);  // white is still reachable
}

TEST_F(OffsetCli, SavedMasksAreTheLibrarysCroppedToTheImage) {
  writePng(dir() / "gray.png", scene(40, 36, 30));
  writePng(dir() / "colour.png", colourScene(40, 36, 30));
  fs::create_directory(dir() / "work");
  const CliRun r = run({"denoise", "gray.png", "colour.png", "--out-dir", "out", "--save-masks",
                        "masks", "--workdir", "work", "--levels", "2"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const ulv::mxArray maskh = matVariable(dir() / "masks" / "gray_masks.mat", "maskh");
  ASSERT_EQ(maskh.dims(), (ulv::Dims{36, 40, 2}));
  EXPECT_EQ(matVariable(dir() / "masks" / "gray_masks.mat", "maskv").dims(), maskh.dims());
  // The colour image's three channels, equal to the gray scene, stacked last.
  const ulv::mxArray colourMasks = matVariable(dir() / "masks" / "colour_masks.mat", "maskv");
  ASSERT_EQ(colourMasks.dims(), (ulv::Dims{36, 40, 2, 3}));
  // The library's own, of the last plane, with its one-pixel border.
  const ulv::mxArray raw = matVariable(dir() / "work" / "mascaras.mat", "maskv");
  ASSERT_EQ(raw.dims(), (ulv::Dims{38, 42, 2}));
  for (std::size_t k = 0; k < 2; ++k) {
    for (std::size_t c = 0; c < 40; ++c) {
      for (std::size_t row = 0; row < 36; ++row) {
        const double expected = raw.at((row + 1) + 38 * ((c + 1) + 42 * k));
        ASSERT_EQ(colourMasks.at(row + 36 * (c + 40 * (k + 2 * 2))), expected);
      }
    }
  }
  const Image8 montage = readImage8(dir() / "masks" / "colour_masks.png");
  EXPECT_EQ(montage.width, 2 * 40 + 4);
  EXPECT_EQ(montage.height, 6 * 36 + 5 * 4);
  EXPECT_TRUE(fs::exists(dir() / "masks" / "gray_masks.png"));
}

TEST_F(OffsetCli, MaskFilesNeverReplaceInputsOrEachOther) {
  writePng(dir() / "a.png", scene(32, 32, 30));
  fs::create_directory(dir() / "b");
  writePng(dir() / "b" / "a.png", scene(32, 32, 30));
  const CliRun shared =
      run({"denoise", "a.png", "b/a.png", "--out-dir", "out", "--save-masks", "m"});
  EXPECT_EQ(shared.exitCode, 2);
  EXPECT_THAT(shared.err, HasSubstr("would both"));
  writePng(dir() / "x_masks.png", scene(32, 32, 30));
  fs::copy_file(dir() / "a.png", dir() / "x.png");
  const CliRun input =
      run({"denoise", "x.png", "x_masks.png", "--out-dir", "out", "--save-masks", "."});
  EXPECT_NE(input.exitCode, 0);
  EXPECT_EQ(readImage8(dir() / "x_masks.png").samples, scene(32, 32, 30).samples);
}

}  // namespace
}  // namespace ulvcli::test
