// `ulvadern call`: each library function by name, with arguments written the
// way a host user writes them.
#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>

#include "cli_support.hpp"
#include "host/files/matfile.hpp"

namespace ulvcli::test {
namespace {

using ::testing::HasSubstr;

class CallCli : public CliTest {
 protected:
  // Runs the call writing out.mat and returns its variable `name`.
  ulv::mxArray callFor(const std::string& name, std::vector<std::string> args) {
    args.insert(args.begin(), "call");
    args.insert(args.end(), {"-o", "out.mat"});
    const CliRun r = run(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return matVariable(dir() / "out.mat", name);
  }
  void saveMat(const std::string& file, const std::string& name, const ulv::mxArray& value) {
    ulv::saveVariables((dir() / file).string(), {{name, value}});
  }
};

// A smooth test image.
ulv::mxArray waves(std::size_t rows, std::size_t cols) {
  ulv::mxArray a = ulv::mxArray::zeros({rows, cols});
  for (std::size_t k = 0; k < a.numel(); ++k) {
    a.mutableData()[k] = 120 + 50 * std::sin(double(k % rows) / 5) * std::cos(double(k / rows) / 7);
  }
  return a;
}

TEST_F(CallCli, TouintClipsAndConvertsALiteralMatrix) {
  const CliRun r = run({"call", "touint", "[-5 3.7, 300; 1 2 255]", "-o", "t.mat"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("y    uint8      2x3          min 0  max 255"));
  const ulv::mxArray y = matVariable(dir() / "t.mat", "y");
  EXPECT_EQ(std::vector<double>(y.data(), y.data() + 6),
            (std::vector<double>{0, 1, 4, 2, 255, 255}));
}

TEST_F(CallCli, OneLevelFiltersWithUnitTapsGiveTheInputBack) {
  saveMat("x.mat", "x", waves(12, 10));
  for (const char* name : {"ca", "ch", "cv"}) {
    const ulv::mxArray out = callFor(name, {"transfwav", "x.mat:x", "[1]", "[1]"});
    ASSERT_EQ(out.dims(), (ulv::Dims{12, 10})) << name;
    EXPECT_EQ(out.at(37), waves(12, 10).at(37)) << name;
  }
  const ulv::mxArray d = callFor("d", {"lixo", "[1 2 3 4 5 6 7 8]", "[1]", "[1]"});
  EXPECT_EQ(std::vector<double>(d.data(), d.data() + 8),
            (std::vector<double>{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(callFor("a", {"lixo", "[1 2 3 4 5 6 7 8]", "db2"}).dims(), (ulv::Dims{1, 8}));
}

TEST_F(CallCli, ForwardAndInverseTransformRoundTrip) {
  saveMat("x.mat", "x", waves(40, 36));
  const CliRun forward = run({"call", "maltrans2d", "x.mat", "0", "2", "-o", "m.mat"});
  ASSERT_EQ(forward.exitCode, 0) << forward.err;
  EXPECT_THAT(forward.out, HasSubstr("ca   double     40x36x3"));
  EXPECT_THAT(forward.out, HasSubstr("cv   double     40x36x3"));

  const ulv::mxArray x = callFor("x", {"invmaltrans2d", "m.mat:ca", "m.mat:ch", "m.mat:cv", "2"});
  ASSERT_EQ(x.classID(), ulv::mxUINT8_CLASS);
  ASSERT_EQ(x.dims(), (ulv::Dims{40, 36, 3}));
  // Page N+1 is the coarsest approximation plus N; page 1 the rebuilt image
  // plus N, close to the input away from the borders.
  const ulv::mxArray ca = matVariable(dir() / "m.mat", "ca");
  const std::size_t page = 40 * 36;
  for (std::size_t k = 0; k < page; ++k) {
    ASSERT_EQ(x.at(2 * page + k), std::clamp(std::round(ca.at(2 * page + k) + 2), 0.0, 255.0));
  }
  for (std::size_t c = 12; c < 24; ++c) {
    for (std::size_t r = 12; r < 28; ++r) {
      ASSERT_NEAR(x.at(r + 40 * c), waves(40, 36).at(r + 40 * c) + 2, 8.0);
    }
  }
}

TEST_F(CallCli, GaussfitReadsItsSampleFromTheWorkDirectory) {
  fs::create_directory(dir() / "work");
  saveMat("work/minimiza.mat", "vv", ulv::mxArray::row({0.5, -1, 2}));
  const ulv::mxArray y = callFor("y", {"gaussfit", "1", "2", "0.25", "--workdir", "work"});
  double expected = 0;
  for (double v : {0.5, -1.0, 2.0}) {
    expected -= std::log(1e-15 + 0.25 * std::exp(-v * v) + 0.75 * std::exp(-(v / 2) * (v / 2)) / 2);
  }
  EXPECT_NEAR(y.scalarValue(), expected, 1e-12);
  // Without --workdir the call runs in a new, private directory.
  saveMat("minimiza.mat", "vv", ulv::mxArray::row({0.5, -1, 2}));
  const CliRun noWorkdir = run({"call", "gaussfit", "1", "2", "0.25"});
  EXPECT_EQ(noWorkdir.exitCode, 1);
  EXPECT_THAT(noWorkdir.err, HasSubstr("name a folder that holds one with --workdir"));
}

TEST_F(CallCli, UlvadernByNameMatchesTheDenoiseCommandKeepingTheOffsetAndReplaysItsDraws) {
  writePng(dir() / "img.png", scene(32, 32, 30));
  const ulv::mxArray y = callFor("y", {"ulvadern", "img.png", "2", "--record-random", "r.mat"});
  ASSERT_EQ(run({"denoise", "img.png", "--levels", "2", "--keep-offset", "-o", "d.png"}).exitCode,
            0);
  const Image8 denoised = readImage8(dir() / "d.png");
  ASSERT_EQ(y.dims(), (ulv::Dims{32, 32}));
  for (std::size_t r = 0; r < 32; ++r) {
    for (std::size_t c = 0; c < 32; ++c) ASSERT_EQ(y.at(r + 32 * c), denoised.samples[r * 32 + c]);
  }
  const ulv::mxArray replayed =
      callFor("y", {"ulvadern", "img.png", "2", "--seed", "7", "--replay-random", "r.mat"});
  EXPECT_EQ(std::vector<double>(replayed.data(), replayed.data() + 1024),
            std::vector<double>(y.data(), y.data() + 1024));
}

TEST_F(CallCli, HostErrorsAndWarningsArePrintedAsTheHostPrintsThem) {
  const CliRun tooMany = run({"call", "touint", "1", "2"});
  EXPECT_EQ(tooMany.exitCode, 1);
  EXPECT_THAT(tooMany.err, HasSubstr("Error: "));
  EXPECT_THAT(tooMany.err, HasSubstr("more than the declared number of inputs"));
  EXPECT_FALSE(fs::exists(dir() / "out.mat"));

  const CliRun noOutput = run({"call", "ulvadern", "[1 2; 3 4]", "--nargout", "0"});
  EXPECT_EQ(noOutput.exitCode, 1);
  EXPECT_THAT(noOutput.err, HasSubstr("Error: *"));

  EXPECT_EQ(run({"call", "nosuch"}).exitCode, 2);
  EXPECT_EQ(run({"call", "touint", "missing.mat:x"}).exitCode, 1);
  EXPECT_EQ(run({"call", "touint", "missing.mat"}).exitCode, 2);
  saveMat("x.mat", "x", waves(2, 2));
  EXPECT_THAT(run({"call", "touint", "x.mat:nope"}).err, HasSubstr("has no variable \"nope\""));
  EXPECT_EQ(run({"call", "touint", "[1 2; 3]"}).exitCode, 2);
  EXPECT_EQ(run({"call", "touint", "x.mat:x", "-o", "x.mat"}).exitCode, 1);  // its own input
}

}  // namespace
}  // namespace ulvcli::test
