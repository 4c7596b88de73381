// The image planes as the host's matrices: rows of the image are rows of the
// matrix, whatever the shape, and the way back restores the plane.
#include "image_planes.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace ulvcli {
namespace {

TEST(ImagePlanes, MatricesKeepImageRowsAsRowsForShapesAcrossTilesAndBack) {
  // Wider, taller, thinner than a tile, and sides that are not multiples of it.
  for (const auto& [width, height] : {std::pair{1, 1}, {70, 33}, {33, 70}, {1, 97}, {97, 1}}) {
    std::vector<double> plane(static_cast<std::size_t>(width) * height);
    for (std::size_t p = 0; p < plane.size(); ++p) plane[p] = static_cast<double>(p);
    const ulv::mxArray matrix = planeToMatrix(plane, width, height);
    ASSERT_EQ(matrix.rows(), static_cast<std::size_t>(height));
    ASSERT_EQ(matrix.cols(), static_cast<std::size_t>(width));
    for (int r = 0; r < height; ++r) {
      for (int c = 0; c < width; ++c) {
        ASSERT_EQ(matrix.at(static_cast<std::size_t>(c) * height + r),
                  plane[static_cast<std::size_t>(r) * width + c])
            << width << "x" << height << " at row " << r << ", column " << c;
      }
    }
    EXPECT_EQ(matrixToPlane(matrix), plane) << width << "x" << height;
  }
}

}  // namespace
}  // namespace ulvcli
