// Watching and stopping a denoising call at the host's step boundaries.
#include "host/runtime/cancellation.hpp"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

#include "support/test_support.hpp"
#include "ulvadern/random.hpp"

namespace ulv {
namespace {

class CancellationTest : public test::LibraryTest {
 protected:
  static mxArray noisyImage() {
    std::mt19937_64 engine(3);
    std::normal_distribution<double> noise(0, 20);
    return test::generate({40, 44},
                          [&](std::size_t k) { return 100 + (k % 40 > 20) * 60 + noise(engine); });
  }
  static mxArray denoise(const mxArray& image) {
    seedRandom(11);
    return call("ulvadern", 1, {image, mlfScalar(2)})[0];
  }
  test::ScopedWorkDir dir_;
  test::WarningCapture fitsThatStopEarly_;
};

TEST_F(CancellationTest, AWatchSeesTheStepsAndLeavesTheResultAsItIs) {
  const mxArray image = noisyImage();
  const mxArray unwatched = denoise(image);
  CancelFlag flag;
  std::map<std::string, int> steps;
  mxArray watched;
  {
    const StepWatch watch(flag, [&](std::string_view step) { ++steps[std::string(step)]; });
    watched = denoise(image);
  }
  test::expectSameBits(watched, unwatched);
  EXPECT_EQ(steps["fmincon"], 4);  // two levels, two orientations
  EXPECT_EQ(steps["save"], 5);     // each fit's sample, then the masks
  EXPECT_GT(steps["gaussfit"], 4);
  EXPECT_GT(steps["element-wise"], 0);
}

TEST_F(CancellationTest, ARaisedFlagEndsTheCallAtTheNextStepAndLaterCallsAreUnharmed) {
  const mxArray image = noisyImage();
  const mxArray before = denoise(image);
  CancelFlag flag;
  int fits = 0;
  {
    const StepWatch watch(flag, [&](std::string_view step) {
      if (step == "fmincon" && ++fits == 2) flag.raise();
    });
    EXPECT_THROW(denoise(image), CallCancelled);
  }
  EXPECT_EQ(fits, 2);
  test::expectSameBits(denoise(image), before);
}

TEST_F(CancellationTest, WatchesNestAndOnlyTheInnermostOneCounts) {
  CancelFlag outerFlag, innerFlag;
  int outerSteps = 0;
  const StepWatch outer(outerFlag, [&](std::string_view) { ++outerSteps; });
  {
    const StepWatch inner(innerFlag);
    outerFlag.raise();
    EXPECT_NO_THROW(checkpoint("inner"));
    innerFlag.raise();
    EXPECT_THROW(checkpoint("inner"), CallCancelled);
  }
  EXPECT_EQ(outerSteps, 0);
  EXPECT_THROW(checkpoint("outer"), CallCancelled);
  EXPECT_EQ(outerSteps, 1);
}

}  // namespace
}  // namespace ulv
