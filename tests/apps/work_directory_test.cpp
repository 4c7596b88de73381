// Runs of `ulvadern` that share a work directory, started together.
#include <gmock/gmock.h>
#include <sys/wait.h>

#include <cstdlib>

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

}  // namespace
}  // namespace ulvcli::test
