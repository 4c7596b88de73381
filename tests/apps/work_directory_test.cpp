// Runs of `ulvadern` that share a work directory, started together.
#include <gmock/gmock.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli_support.hpp"

namespace ulvcli::test {
namespace {

using WorkDirectoryCli = CliTest;

// The shell's exit status of `commands` run in dir().
int shell(const fs::path& dir, const std::string& commands) {
  const int status = std::system(("cd '" + dir.string() + "' && { " + commands + "; }").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string denoiseCommand(const std::string& input, const std::string& output,
                           const std::string& workdir) {
  return std::string("'") + ULV_CLI_PATH + "' denoise " + input + " -o " + output +
         " --seed 5 --quiet --workdir " + workdir + " 2>>" + output + ".err";
}

TEST_F(WorkDirectoryCli, TwoRunsSharingAWorkDirectoryGiveTheImagesOfSoloRuns) {
  writePng(dir() / "a.png", scene(128, 128, 30));
  writePng(dir() / "b.png", scene(96, 128, 60));
  fs::create_directory(dir() / "solo");
  fs::create_directory(dir() / "shared");
  ASSERT_EQ(shell(dir(), denoiseCommand("a.png", "solo_a.png", "solo") + " && " +
                             denoiseCommand("b.png", "solo_b.png", "solo")),
            0);
  // Both started before either waits for the other.
  ASSERT_EQ(shell(dir(), denoiseCommand("a.png", "shared_a.png", "shared") + " & a=$!; " +
                             denoiseCommand("b.png", "shared_b.png", "shared") +
                             " & b=$!; wait $a; status=$?; wait $b && [ $status = 0 ]"),
            0)
      << fileBytes(dir() / "shared_a.png.err") << fileBytes(dir() / "shared_b.png.err");
  EXPECT_TRUE(fileBytes(dir() / "shared_a.png") == fileBytes(dir() / "solo_a.png"));
  EXPECT_TRUE(fileBytes(dir() / "shared_b.png") == fileBytes(dir() / "solo_b.png"));
  // A wait, if there was one, was reported, and nothing else.
  for (const char* err : {"shared_a.png.err", "shared_b.png.err"}) {
    const std::string text = fileBytes(dir() / err);
    EXPECT_TRUE(text.empty() ||
                text.find("Waiting for another call that uses the work directory") !=
                    std::string::npos)
        << text;
  }
}

// The private work directory keeps the library's files in memory; a named one
// gets them on the disk. One thread or the default (every core), the same
// image and masks either way.
TEST_F(WorkDirectoryCli, InMemoryOrOnDiskAndAnyThreadCountGiveTheSameImageAndMasks) {
  writePng(dir() / "a.png", scene(96, 80, 30));
  const std::vector<std::vector<std::string>> runs = {
      {"--workdir", "work", "-t", "1"}, {}, {"-t", "1"}, {"-t", "3"}, {"--workdir", "work"}};
  for (std::size_t k = 0; k < runs.size(); ++k) {
    std::vector<std::string> args = {"denoise",      "a.png",
                                     "-o",           "out" + std::to_string(k) + ".png",
                                     "--save-masks", "masks" + std::to_string(k),
                                     "--quiet"};
    args.insert(args.end(), runs[k].begin(), runs[k].end());
    const CliRun r = run(args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    if (k == 0) continue;
    EXPECT_TRUE(fileBytes(dir() / ("out" + std::to_string(k) + ".png")) ==
                fileBytes(dir() / "out0.png"))
        << k;
    for (const char* name : {"maskh", "maskv"}) {
      const ulv::mxArray expected = matVariable(dir() / "masks0" / "a_masks.mat", name);
      const ulv::mxArray got =
          matVariable(dir() / ("masks" + std::to_string(k)) / "a_masks.mat", name);
      ASSERT_EQ(got.dims(), expected.dims());
      EXPECT_TRUE(std::equal(got.data(), got.data() + got.numel(), expected.data())) << k;
    }
  }
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(dir() / "work")) {
    left.push_back(entry.path().filename());
  }
  EXPECT_THAT(left, ::testing::UnorderedElementsAre("minimiza.mat", "mascaras.mat"));
}

}  // namespace
}  // namespace ulvcli::test
