// Bytes from files and the command line reach the terminal escaped: a crafted
// file or file name cannot send control sequences.
#include <gmock/gmock.h>

#include <fstream>

#include "cli_support.hpp"
#include "host/files/matfile.hpp"

namespace ulvcli::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr char kClearScreen[] = "\x1b[2J";

class EscapingCli : public CliTest {};

TEST_F(EscapingCli, APngChunkNameIsEscapedInTheErrorLineAlsoFromAWorker) {
  // An unknown critical chunk: the decoder quotes its name (libpng writes
  // bytes that are not letters as [XX]).
  std::ofstream(dir() / "evil.png", std::ios::binary)
      << pngFile({{"IHDR", grayPngHeader(8, 8, 8)}, {kClearScreen, "xx"}, {"IEND", ""}});
  writePng(dir() / "good.png", scene(32, 32, 30));

  const CliRun alone = run({"denoise", "evil.png", "-o", "out.png"});
  EXPECT_EQ(alone.exitCode, 1);
  EXPECT_THAT(alone.err, HasSubstr("evil.png: corrupt PNG ([1B][5B][32]J: invalid chunk type)"));
  EXPECT_THAT(alone.err, Not(HasSubstr("\x1b")));

  const CliRun batch = run({"denoise", "evil.png", "good.png", "--out-dir", "o", "-j", "2"});
  EXPECT_EQ(batch.exitCode, 1);
  EXPECT_THAT(batch.err, HasSubstr("([1B][5B][32]J: invalid chunk type)"));
  EXPECT_THAT(batch.err + batch.out, Not(HasSubstr("\x1b")));

  const CliRun call = run({"call", "touint", "evil.png"});
  EXPECT_EQ(call.exitCode, 1);
  EXPECT_THAT(call.err, HasSubstr("([1B][5B][32]J: invalid chunk type)"));
  EXPECT_THAT(call.err, Not(HasSubstr("\x1b")));
}

TEST_F(EscapingCli, PathsAndVariableNamesAreEscapedInErrorsWarningsAndReports) {
  const std::string title = "\x1b]0;owned\x07";
  fs::create_directory(dir() / ("empty" + title));
  writePng(dir() / ("in" + title + ".png"), scene(32, 32, 30));
  const CliRun denoise = run(
      {"denoise", "gone\x1b[31m.png", "empty" + title, "in" + title + ".png", "--out-dir", "o"});
  EXPECT_EQ(denoise.exitCode, 1);
  EXPECT_THAT(denoise.err, HasSubstr("Error: gone\\x1b[31m.png: no such file"));
  EXPECT_THAT(denoise.err, HasSubstr("no images in the directory \"empty\\x1b]0;owned\\x07\""));
  EXPECT_THAT(denoise.out, HasSubstr("in\\x1b]0;owned\\x07.png -> o/in\\x1b]0;owned\\x07.png"));
  EXPECT_THAT(denoise.err + denoise.out, Not(HasSubstr("\x1b")));

  ulv::saveVariables((dir() / "x.mat").string(), {{"x", ulv::mxArray::scalar(1)}});
  const CliRun usage = run({"call", "touint", "x.mat:y\x1b[2J"});
  EXPECT_EQ(usage.exitCode, 2);
  EXPECT_THAT(usage.err, HasSubstr("has no variable \"y\\x1b[2J\""));
  EXPECT_THAT(usage.err, Not(HasSubstr("\x1b")));
}

}  // namespace
}  // namespace ulvcli::test
