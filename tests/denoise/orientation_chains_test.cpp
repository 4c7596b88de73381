// The two orientations' fits side by side (threads >= 2) against one after
// the other: the same draws in the same order, the same image and the same
// files, for any thread count, with the work directory on disk or in memory.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "host/files/matfile.hpp"
#include "host/runtime/ops.hpp"
#include "support/test_support.hpp"
#include "ulvadern/parallel.hpp"
#include "ulvadern/random.hpp"
#include "ulvadern/work_directory_store.hpp"

namespace ulv {
namespace {

using Variables = std::vector<std::pair<std::string, mxArray>>;

struct Outcome {
  mxArray image;
  std::vector<RandomDraw> draws;
  Variables sample, masks;
};

void expectSame(const Variables& expected, const Variables& actual) {
  ASSERT_EQ(expected.size(), actual.size());
  for (std::size_t k = 0; k < expected.size(); ++k) {
    EXPECT_EQ(expected[k].first, actual[k].first);
    test::expectSameBits(expected[k].second, actual[k].second);
  }
}

class OrientationChainsTest : public test::LibraryTest {
 protected:
  // An odd-sized 8-bit image with edges in both directions and noise.
  static mxArray noisyImage() {
    return mlfUint8(test::generate({131, 97}, [](std::size_t k) {
      const std::size_t r = k % 131, c = k / 131;
      const double object = (r > 40 && r < 100 ? 120.0 : 0.0) + (c > 30 ? 60.0 : 0.0);
      return 30 + object + static_cast<double>((k * 7919) % 37) - 18;
    }));
  }

  static Outcome denoise(unsigned threads, bool inMemory, bool record) {
    const ScopedWorkerThreads workers(threads);
    std::optional<ScopedMemoryWorkDirectory> memory;
    if (inMemory) memory.emplace();
    Outcome run;
    if (record) setRandomRecorder([&run](const RandomDraw& draw) { run.draws.push_back(draw); });
    seedRandom(11);
    run.image = call("ulvadern", 1, {noisyImage(), mxArray::scalar(4)})[0];
    setRandomRecorder(nullptr);
    run.sample = loadAllVariables("minimiza.mat");
    run.masks = loadAllVariables("mascaras.mat");
    return run;
  }

  test::ScopedWorkDir dir_;
};

TEST_F(OrientationChainsTest, SideBySideGivesTheDrawsImageAndFilesOfOneAfterTheOther) {
  const Outcome sequential = denoise(1, false, true);
  ASSERT_EQ(sequential.draws.size(), 1u + 2 * 4);  // the perturbation, then 4 levels twice
  for (const unsigned threads : {2u, 4u}) {
    SCOPED_TRACE(threads);
    const Outcome sideBySide = denoise(threads, false, true);
    ASSERT_EQ(sideBySide.draws.size(), sequential.draws.size());
    for (std::size_t k = 0; k < sequential.draws.size(); ++k) {
      EXPECT_EQ(sideBySide.draws[k].kind, sequential.draws[k].kind);
      test::expectSameBits(sequential.draws[k].values, sideBySide.draws[k].values);
    }
    test::expectSameBits(sequential.image, sideBySide.image);
    expectSame(sequential.sample, sideBySide.sample);
    expectSame(sequential.masks, sideBySide.masks);
  }
}

TEST_F(OrientationChainsTest, DrawnDirectlyAndInMemoryTheSameForAnyThreadCount) {
  const Outcome reference = denoise(1, false, false);
  for (const bool inMemory : {false, true}) {
    for (const unsigned threads : {1u, 2u, 4u}) {
      SCOPED_TRACE(std::to_string(threads) + (inMemory ? " threads, in memory" : " threads"));
      const Outcome run = denoise(threads, inMemory, false);
      test::expectSameBits(reference.image, run.image);
      expectSame(reference.sample, run.sample);
      expectSame(reference.masks, run.masks);
    }
  }
}

}  // namespace
}  // namespace ulv
