#include "ulvadern/random.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <thread>
#include <vector>

#include "host/numerics/xoshiro.hpp"
#include "host/runtime/ops.hpp"
#include "support/test_support.hpp"
#include "ulvadern/parallel.hpp"

namespace ulv {
namespace {

using test::hostErrorOf;

std::vector<double> valuesOf(const mxArray& a) {
  return {a.data(), a.data() + a.numel()};
}
mxArray n(double v) {
  return mxArray::scalar(v);
}

class RandomTest : public ::testing::Test {
 protected:
  void TearDown() override {
    setRandomRecorder(nullptr);
    setRandomReplayer(nullptr);
    seedRandom(kDefaultSeed);
  }
};

TEST_F(RandomTest, SeedDecidesTheSequence) {
  // Reference values of xoshiro256** seeded through splitmix64 with 0.
  seedRandom(0);
  EXPECT_EQ(valuesOf(mlfNRand({n(1), n(3)})),
            (std::vector<double>{0.601262999417905, 0.7477740925472399, 0.10301998939503643}));

  seedRandom(42);
  const mxArray uniform = mlfNRand({n(5)});
  const mxArray normal = mlfNRandn({n(1), n(3)});
  seedRandom(42);
  EXPECT_EQ(valuesOf(mlfNRand({n(5)})), valuesOf(uniform));
  EXPECT_EQ(valuesOf(mlfNRandn({n(1), n(3)})), valuesOf(normal));
  seedRandom(43);
  EXPECT_NE(valuesOf(mlfNRand({n(5)})), valuesOf(uniform));

  // Reseeding drops the second normal of a pair drawn before.
  seedRandom(7);
  const mxArray fresh = mlfNRandn({n(1), n(2)});
  mlfNRandn({n(1)});
  seedRandom(7);
  EXPECT_EQ(valuesOf(mlfNRandn({n(1), n(2)})), valuesOf(fresh));
}

TEST_F(RandomTest, JumpsLandWhereThatManyStepsDo) {
  const xoshiro::State start = {1, 2, 3, 0x8000000000000000ULL};
  xoshiro::State stepped = start;
  std::uint64_t steps = 0;
  for (const std::uint64_t n : {0ULL, 1ULL, 2ULL, 255ULL, 256ULL, 257ULL, 8192ULL, 100003ULL}) {
    for (; steps < n; ++steps) xoshiro::next(stepped);
    EXPECT_EQ(xoshiro::jumped(start, n), stepped) << n;
  }
}

// The positions of a long run of draws, made in parts side by side in lanes
// and threads, are rand's: the same draws, in order, the source left after them.
TEST_F(RandomTest, PositionsOfDrawsAtMostAThresholdAreRandsWhateverTheThreads) {
  const std::size_t count = 3 * 65536 + 12345;
  for (const unsigned threads : {1u, 2u, 3u}) {
    const ScopedWorkerThreads workers(threads);
    for (const double threshold : {0.002, 0.5, 0.0, 1.0}) {
      for (const std::size_t draws : {std::size_t{70}, count}) {
        seedRandom(99);
        std::vector<std::size_t> positions;
        ASSERT_TRUE(drawPositionsAtMost(draws, threshold, positions));
        const double after = mlfNRand({n(1)}).scalarValue();
        seedRandom(99);
        const mxArray rand = mlfNRand({n(static_cast<double>(draws)), n(1)});
        std::vector<std::size_t> expected;
        for (std::size_t k = 0; k < draws; ++k) {
          if (rand.data()[k] <= threshold) expected.push_back(k);
        }
        EXPECT_EQ(positions, expected)
            << threads << " threads, " << draws << " draws at most " << threshold;
        EXPECT_EQ(after, mlfNRand({n(1)}).scalarValue());
      }
    }
  }
}

TEST_F(RandomTest, NormalsAreThePolarMethodsPairsWhateverSizesTheyAreDrawnIn) {
  // The polar method on the uniforms above, with the C library's log.
  seedRandom(0);
  EXPECT_EQ(valuesOf(mlfNRandn({n(1), n(5)})),
            (std::vector<double>{0.5981026483626094, 1.4634599192204383, -0.895052553237992,
                                 -0.1880627660388744, -2.415606685712082}));

  // In pieces of odd and even sizes, across the batches of pairs, the spare
  // of an odd piece opening the next: the sequence of one large draw.
  seedRandom(5);
  const std::vector<double> whole = valuesOf(mlfNRandn({n(1), n(1700)}));
  seedRandom(5);
  std::vector<double> pieces;
  for (double size : {1.0, 2.0, 3.0, 511.0, 600.0, 0.0, 583.0}) {
    const std::vector<double> piece = valuesOf(mlfNRandn({n(1), n(size)}));
    pieces.insert(pieces.end(), piece.begin(), piece.end());
  }
  EXPECT_EQ(pieces, whole);
}

TEST_F(RandomTest, EachThreadHasItsOwnSourceFromTheDefaultSeed) {
  seedRandom(kDefaultSeed);
  const mxArray expected = mlfNRand({n(4)});
  seedRandom(99);
  mxArray other;
  std::thread([&] { other = mlfNRand({n(4)}); }).join();
  EXPECT_EQ(valuesOf(other), valuesOf(expected));
}

TEST_F(RandomTest, SizesFollowTheHostRules) {
  EXPECT_EQ(mlfNRand({}).dims(), (Dims{1, 1}));
  EXPECT_EQ(mlfNRand({n(3)}).dims(), (Dims{3, 3}));
  EXPECT_EQ(mlfNRandn({n(2), n(3), n(4)}).dims(), (Dims{2, 3, 4}));
  EXPECT_EQ(mlfNRand({mxArray::row({2, 3, 1})}).dims(), (Dims{2, 3}));
  EXPECT_EQ(mlfNRand({n(2), n(-1)}).dims(), (Dims{2, 0}));
  EXPECT_EQ(hostErrorOf([] { mlfNRand({n(2.5)}); }), "Size inputs must be integers.");
  EXPECT_EQ(mlfZeros({mxArray::row({2, 3, 1})}).dims(), (Dims{2, 3}))
      << "zeros takes the same sizes";
  EXPECT_NE(hostErrorOf([] { mlfNRand({mxArray::string("ab")}); }), "");
  EXPECT_NE(hostErrorOf([] { mlfNRand({n(2), mxArray::row({1, 2})}); }), "");
}

struct Moments {
  double mean = 0, variance = 0, fractionWithinOne = 0;
};

Moments momentsOf(const mxArray& a) {
  Moments m;
  const double count = a.numel();
  for (double x : valuesOf(a)) {
    m.mean += x / count;
    m.variance += x * x / count;
    m.fractionWithinOne += (std::abs(x) < 1) / count;
  }
  m.variance -= m.mean * m.mean;
  return m;
}

TEST_F(RandomTest, UniformAndNormalMatchTheirDistributions) {
  constexpr double count = 1e6;
  const mxArray u = mlfNRand({n(count), n(1)});
  const std::vector<double> values = valuesOf(u);
  for (double x : values) ASSERT_TRUE(x > 0 && x < 1) << x;
  const Moments uniform = momentsOf(u);
  EXPECT_NEAR(uniform.mean, 0.5, 5 * std::sqrt(1 / 12.0 / count));
  EXPECT_NEAR(uniform.variance, 1 / 12.0, 5 * std::sqrt((1 / 80.0 - 1 / 144.0) / count));

  const Moments normal = momentsOf(mlfNRandn({n(count), n(1)}));
  EXPECT_NEAR(normal.mean, 0, 5 / std::sqrt(count));
  EXPECT_NEAR(normal.variance, 1, 5 * std::sqrt(2 / count));
  const double p = std::erf(1 / std::sqrt(2.0));  // P(|x| < 1)
  EXPECT_NEAR(normal.fractionWithinOne, p, 5 * std::sqrt(p * (1 - p) / count));
}

TEST_F(RandomTest, RecordedDrawsReplayBitForBit) {
  std::vector<RandomDraw> recorded;
  setRandomRecorder([&](const RandomDraw& draw) { recorded.push_back(draw); });
  const mxArray normal = mlfNRandn({n(2), n(3)});
  const mxArray uniform = mlfNRand({n(4)});
  setRandomRecorder(nullptr);
  ASSERT_EQ(recorded.size(), 2u);
  EXPECT_EQ(recorded[0].kind, RandomKind::Normal);
  EXPECT_EQ(recorded[1].kind, RandomKind::Uniform);

  std::size_t next = 0;
  setRandomReplayer([&](RandomKind kind, const Dims&) {
    EXPECT_EQ(kind, recorded[next].kind);
    return recorded[next++].values;
  });
  seedRandom(12345);  // the generator's state must not matter
  EXPECT_EQ(valuesOf(mlfNRandn({n(2), n(3)})), valuesOf(normal));
  EXPECT_EQ(valuesOf(mlfNRand({n(4)})), valuesOf(uniform));

  next = 0;
  EXPECT_EQ(hostErrorOf([] { mlfNRandn({n(3)}); }),
            "The replayed random draw is 2x3, not the 3x3 requested.");
}

}  // namespace
}  // namespace ulv
