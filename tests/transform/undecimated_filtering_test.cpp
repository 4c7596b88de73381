// The central blocks against the literal steps: mirror extension, the
// runtime's full conv2, the host's wkeep. They must agree bit for bit.
#include "kernels/undecimated_filtering.hpp"

#include <gtest/gtest.h>

#include "host/runtime/ops.hpp"
#include "support/mirror_reference.hpp"

namespace ulv {
namespace {

using test::extendByMirror;
using test::keepCentral;

struct Case {
  mxArray image;
  mxArray u, v;  // v filters the rows; u the columns (separable form only)
  std::size_t width;
};

std::vector<Case> cases() {
  std::vector<Case> all;
  for (std::size_t level = 1; level <= 4; ++level) {
    const std::size_t s = std::size_t{1} << (level - 1);
    const mxArray lo = test::dilated({0, 0.125, 0.375, 0.375, 0.125}, s);
    const mxArray kk = test::dilated({0.0078, 0.0547, 0.1719, -0.1719, -0.0547, -0.0078, 0}, s);
    all.push_back({test::randomArray({40, 37}, 10 + level, -50, 50), lo, lo, lo.numel()});
    all.push_back({test::randomArray({40, 37}, 20 + level, -50, 50), kk, lo, 0});
  }
  const mxArray odd = mxArray::row({0.3, 0, -1.7, 0.25, 0, 0, 2.1});
  const mxArray column = mlfCtranspose(mxArray::row({-0.5, 1.25, 0.75}));
  all.push_back({test::randomArray({9, 14}, 3, -1, 1), odd, column, 7});
  all.push_back({test::randomArray({7, 7}, 4, -1, 1), column, odd, 7});
  all.push_back({test::randomArray({5, 3}, 5, -1, 1), mxArray::row({2.5}), odd, 3});
  // A row filter reaching past every column: zeros beyond the image.
  all.push_back({test::randomArray({5, 3}, 6, -1, 1), column,
                 mxArray::row({1, -2, 0, 3, 0.5, 0, -1, 2, 0.25}), 0});
  // Columns of twice the column filter's reach and one more: no row, or one,
  // lies beyond the reach of both ends.
  for (const std::size_t rows : {6, 7}) {
    all.push_back({test::randomArray({rows, 5}, 7 + rows, -1, 1), mlfCtranspose(odd), odd, 5});
  }
  return all;
}

TEST(UndecimatedFiltering, CentralBlocksEqualCroppedFullConvolutions) {
  for (const Case& k : cases()) {
    const mxArray E = extendByMirror(k.image, k.width);
    const ExtendedImage view = mirrorExtension(k.image, k.width);
    const std::size_t rows = k.image.rows(), cols = k.image.cols();
    for (const mxArray* h : {&k.u, &k.v}) {
      const mxArray expected = keepCentral(mlfConv2(*h, E), rows, cols);
      const mxArray got = centralConv2(*h, view);
      for (std::size_t i = 0; i < got.numel(); ++i) ASSERT_EQ(got.at(i), expected.at(i)) << i;
    }
    const mxArray expected = keepCentral(mlfConv2(k.u, k.v, &E), rows, cols);
    const mxArray got = centralConv2(k.u, k.v, view);
    for (std::size_t i = 0; i < got.numel(); ++i) ASSERT_EQ(got.at(i), expected.at(i)) << i;
  }
}

}  // namespace
}  // namespace ulv
