// The image planes as the host's matrices: rows of the image are rows of the
// matrix, whatever the shape; the values are splitPlanes' to the bit, and
// the way back restores the samples.
#include "image_planes.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace ulvcli {
namespace {

Image patterned(int width, int height, int channels, SampleType type, double modulus) {
  Image image = blankImage(width, height, channels, type);
  for (std::size_t s = 0; s < image.samples.size(); ++s) {
    image.samples[s] = static_cast<double>((s * 7919) % static_cast<std::size_t>(modulus));
  }
  return image;
}

TEST(ImagePlanes, MatricesKeepImageRowsAsRowsForShapesAcrossTilesAndBack) {
  // Wider, taller, thinner than a tile, and sides that are not multiples of it.
  for (const auto& [width, height] : {std::pair{1, 1}, {70, 33}, {33, 70}, {1, 97}, {97, 1}}) {
    const Image image = patterned(width, height, 1, SampleType::U8, 256);
    const ulv::mxArray matrix = planeMatrix(image, 0, false);
    ASSERT_EQ(matrix.rows(), static_cast<std::size_t>(height));
    ASSERT_EQ(matrix.cols(), static_cast<std::size_t>(width));
    for (int r = 0; r < height; ++r) {
      for (int c = 0; c < width; ++c) {
        ASSERT_EQ(matrix.at(static_cast<std::size_t>(c) * height + r),
                  image.samples[static_cast<std::size_t>(r) * width + c])
            << width << "x" << height << " at row " << r << ", column " << c;
      }
    }
    Image back = blankImage(width, height, 1, SampleType::U8);
    setPlane(back, 0, matrix);
    EXPECT_EQ(back.samples, image.samples) << width << "x" << height;
  }
}

TEST(ImagePlanes, ColourAlphaAndLumaAsSplitPlanesGivesThem) {
  const Image image = patterned(45, 38, 4, SampleType::U16, 65536);
  for (const bool luma : {false, true}) {
    const Planes planes = splitPlanes(image, luma);
    ASSERT_EQ(colourPlaneCount(image, luma), planes.colour.size());
    for (std::size_t p = 0; p < planes.colour.size(); ++p) {
      const ulv::mxArray matrix = planeMatrix(image, p, luma);
      for (std::size_t r = 0; r < 38; ++r) {
        for (std::size_t c = 0; c < 45; ++c) {
          ASSERT_EQ(matrix.at(c * 38 + r), planes.colour[p][r * 45 + c]) << luma << " " << p;
        }
      }
    }
  }
  EXPECT_TRUE(hasAlpha(image));
  Image back = blankImage(45, 38, 4, SampleType::U16);
  for (std::size_t p = 0; p < 3; ++p) setPlane(back, p, planeMatrix(image, p, false));
  copyAlpha(image, back);
  for (std::size_t s = 0; s < image.samples.size(); ++s) {
    ASSERT_NEAR(back.samples[s], image.samples[s], 1e-9) << s;
  }
  // Values beyond 0..255 are clipped on the way out.
  Image clipped = blankImage(2, 1, 1, SampleType::U8);
  setPlane(clipped, 0, ulv::mxArray::fromVector({1, 2}, {-3, 300}));
  EXPECT_EQ(clipped.samples, (std::vector<double>{0, 255}));
}

}  // namespace
}  // namespace ulvcli
