// The denoiser with every fast path and the default minimiser settings against
// the runtime operations and the tight fit, on the bundled sample image: the
// images may differ only where a vectorised function's last bit tips a
// rounding, by 1 and in at most 0.01 % of the pixels.
#include "host/runtime/fast_paths.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "host/numerics/minimiser.hpp"
#include "host/runtime/ops.hpp"
#include "image_io.hpp"
#include "support/test_support.hpp"
#include "ulvadern/parallel.hpp"
#include "ulvadern/random.hpp"

namespace ulv {
namespace {

mxArray readGray(const std::string& path) {
  const ulvcli::Image image = ulvcli::loadImage(path);
  const auto rows = static_cast<std::size_t>(image.height);
  const auto cols = static_cast<std::size_t>(image.width);
  mxArray gray = mxArray::zeros({rows, cols});
  for (std::size_t r = 0; r < rows; ++r) {
    for (std::size_t c = 0; c < cols; ++c) {
      gray.mutableData()[c * rows + r] = image.samples[(r * cols + c) * image.channels];
    }
  }
  return gray;
}

class FastPathsTest : public test::LibraryTest {
 protected:
  static mxArray denoise(const mxArray& image) {
    seedRandom(7);
    return call("ulvadern", 1, {image})[0];
  }
  test::ScopedWorkDir dir_;
};

TEST_F(FastPathsTest, SampleImageAsTheStraightforwardComputationGivesIt) {
  const mxArray noisy = readGray(std::string(ULV_SOURCE_DIR) + "/samples/camera_noisy.png");
  ASSERT_EQ(noisy.numel(), 512u * 512u);
  const mxArray fast = denoise(noisy);
  mxArray reference;
  {
    ScopedFastPaths off(false);
    ScopedMinimiserSettings tight(MinimiserSettings::tight());
    reference = denoise(noisy);
  }
  ASSERT_EQ(fast.dims(), reference.dims());
  std::size_t differing = 0;
  for (std::size_t k = 0; k < fast.numel(); ++k) {
    if (fast.at(k) == reference.at(k)) continue;
    ++differing;
    EXPECT_EQ(std::abs(fast.at(k) - reference.at(k)), 1) << "pixel " << k;
  }
  EXPECT_LE(differing, fast.numel() / 10000);
  RecordProperty("pixels_off_by_one", std::to_string(differing));
}

// An 8-bit image of odd size, the fit held to the same (tight) settings on
// both sides: the fast paths alone, which give the same image here.
TEST_F(FastPathsTest, EightBitOddSizedImageAlike) {
  const mxArray noisy = mlfUint8(test::generate({83, 61}, [](std::size_t k) {
    const std::size_t r = k % 83, c = k / 83;
    return (r > 20 && c > 25 ? 170.0 : 60.0) + static_cast<double>((k * 7919) % 41) - 20;
  }));
  ScopedMinimiserSettings tight(MinimiserSettings::tight());
  const mxArray fast = denoise(noisy);
  mxArray reference;
  {
    ScopedFastPaths off(false);
    reference = denoise(noisy);
  }
  test::expectSameBits(fast, reference);
}

// The element-wise steps spread over threads compute every element as one
// thread does: the same image to the bit, and the same 8-bit transform
// round trip, with 3 threads (uneven ranges) as with 1.
TEST_F(FastPathsTest, ThreadsGiveTheSameImageAsOneThread) {
  const mxArray noisy = readGray(std::string(ULV_SOURCE_DIR) + "/samples/camera_noisy.png");
  const mxArray single = denoise(noisy);
  const mxArray N = mlfScalar(3);
  const std::vector<mxArray> stacks = call("maltrans2d", 3, {noisy, mxArray(), N});
  const mxArray roundTrip = call("invmaltrans2d", 1, {stacks[0], stacks[1], stacks[2], N})[0];
  ScopedWorkerThreads threads(3);
  test::expectSameBits(denoise(noisy), single);
  const std::vector<mxArray> threaded = call("maltrans2d", 3, {noisy, mxArray(), N});
  for (std::size_t k = 0; k < 3; ++k) test::expectSameBits(threaded[k], stacks[k]);
  test::expectSameBits(call("invmaltrans2d", 1, {threaded[0], threaded[1], threaded[2], N})[0],
                       roundTrip);
}

}  // namespace
}  // namespace ulv
