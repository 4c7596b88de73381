// Help, info, library lookup and the refusals of bad command lines.
#include <gmock/gmock.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "cli_support.hpp"

namespace ulvcli::test {
namespace {

using ::testing::HasSubstr;

class OptionsCli : public CliTest {};

TEST_F(OptionsCli, EveryCommandHasHelp) {
  for (std::vector<std::string> args : {std::vector<std::string>{"--help"},
                                        {"denoise", "--help"},
                                        {"call", "-h"},
                                        {"info", "--help"},
                                        {"help", "call"}}) {
    const CliRun r = run(args);
    EXPECT_EQ(r.exitCode, 0) << args.front();
    EXPECT_THAT(r.out, HasSubstr("Usage: ulvadern")) << args.front();
  }
  EXPECT_THAT(run({"denoise", "--help"}).out, HasSubstr("a precision of 8 bits"));
  EXPECT_THAT(run({"denoise", "--help"}).out, HasSubstr("--keep-offset"));
  const CliRun version = run({"-V"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, run({"--version"}).out);
  EXPECT_THAT(version.out, ::testing::StartsWith("ulvadern 1."));
}

TEST_F(OptionsCli, InfoShowsTheDescriptorAsTheHostReadsIt) {
  const CliRun r = run({"info"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("ulvadern 1."));
  EXPECT_THAT(r.out, HasSubstr("ulvadern       1 + varargin   1"));
  EXPECT_THAT(r.out, HasSubstr("invmaltrans2d  5              1"));
  EXPECT_THAT(r.out, HasSubstr("DWT_Ext_Mode (unbound)"));
  EXPECT_THAT(r.out, HasSubstr("100  MATLAB R11 native"));
  EXPECT_THAT(r.out, HasSubstr("101  not inlined"));
}

TEST_F(OptionsCli, TheLibraryIsTakenFromTheEnvironmentWhenSet) {
  const CliRun r = run({"info"}, {"ULVADERN_LIBRARY=/nonexistent/libulvadern.so"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_THAT(r.err, HasSubstr("Cannot load the library \"/nonexistent/libulvadern.so\""));
}

// Not beside the tool: beside libulvhost.so, which the copy still loads
// from the build folder through its search path.
TEST_F(OptionsCli, WithoutTheVariableTheLibraryBesideTheHostLibraryIsLoaded) {
  const fs::path copy = dir() / "elsewhere" / "ulvadern";
  fs::create_directories(copy.parent_path());
  fs::copy_file(ULV_CLI_PATH, copy);
  const std::string command = "ULVADERN_LIBRARY= '" + copy.string() + "' info 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  ASSERT_EQ(pclose(pipe), 0) << out;
  const fs::path host = fs::weakly_canonical(ULV_CLI_PATH).parent_path();
  EXPECT_THAT(out, HasSubstr("Library:    " + (host / "libulvadern.so").string()));
}

TEST_F(OptionsCli, BadCommandLinesAreRefusedWithUsageErrors) {
  writePng(dir() / "a.png", scene(20, 20, 10));
  writePng(dir() / "b.png", scene(20, 20, 10));
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"denoise", "a.png", "-o", "x.png", "--levels", "0"}, "--levels must be an integer from 1"},
      {{"denoise", "a.png", "-o", "x.png", "--levels", "2.5"}, "--levels must be an integer"},
      {{"denoise", "a.png", "-o", "x.png", "--gains", "1,,2"}, "--gains must be numbers"},
      {{"denoise", "a.png", "-o", "x.png", "--levels", "4", "--gains", "1,1"}, "at least 4 values"},
      {{"denoise", "a.png", "-o", "x.png", "--pot", "nan"}, "--pot must be a finite number"},
      {{"denoise", "a.png", "-o", "x.png", "--pot", "-inf"}, "--pot must be a finite number"},
      {{"denoise", "a.png", "-o", "x.png", "--pot", "0"},
       "--pot must be > 0: the power mean of the masks is undefined at 0"},
      {{"denoise", "a.png", "-o", "x.png", "--pot", "-0.5"}, "--pot must be > 0"},
      {{"denoise", "a.png", "-o", "x.png", "--gains", "1,inf,1"},
       "--gains must be a finite number"},
      {{"denoise", "a.png", "-o", "x.png", "--jobs", "0"}, "--jobs must be an integer"},
      {{"denoise", "a.png", "-o", "x.png", "--threads", "65"}, "--threads must be an integer"},
      {{"denoise", "a.png", "-o", "x.png", "--seed", "-3"}, "--seed must be a non-negative"},
      {{"denoise", "a.png", "-o", "x.png", "--pot"}, "option --pot needs a value"},
      {{"denoise", "a.png", "-o", "x.png", "--bogus"}, "unknown option --bogus"},
      {{"denoise", "a.png"}, "give either -o OUT"},
      {{"denoise", "a.png", "b.png", "-o", "x.png"}, "-o takes one input"},
      {{"denoise", "a.png", "--out-dir", "o", "--format", "gif"}, "--format must be"},
      {{"denoise", "a.png", "-o", "x.jpg", "--quality", "0"}, "--quality must be an integer"},
      {{"denoise", "a.png", "-o", "x.png", "--depth", "12"}, "--depth must be 8 or 16"},
      {{"denoise", "a.png", "-o", "x.png", "--max-pixels", "0"}, "--max-pixels must be"},
      {{"denoise", "-", "--out-dir", "o"}, "- (standard input) is the only input"},
      {{"denoise", "-", "a.png", "-o", "x.png"}, "- (standard input) is the only input"},
      {{"denoise", "a.png", "b.png", "--out-dir", "o", "--record-random", "r.mat"},
       "take one input"},
      {{"denoise", "a.png", "-o", "x.png", "--reference", "none.png"}, "is not a file"},
      {{"frobnicate"}, "unknown command"},
      {{"info", "extra"}, "info takes no arguments"},
      {{"call"}, "call needs a FUNCTION"},
      {{"call", "touint", "1", "--nargout", "x"}, "--nargout must be an integer"},
  };
  for (const auto& [args, message] : cases) {
    const CliRun r = run(args);
    EXPECT_EQ(r.exitCode, 2) << message << "\n" << r.err;
    EXPECT_THAT(r.err, HasSubstr(message));
  }
  const CliRun gif = run({"denoise", "a.png", "-o", "x.gif"});
  EXPECT_EQ(gif.exitCode, 2);
  EXPECT_THAT(gif.err, HasSubstr("cannot write images of type \".gif\""));
  EXPECT_THAT(run({"denoise", "a.png", "-o", "x.png", "--levels", "4"}).err,
              HasSubstr("too small for 4 levels"));
  EXPECT_FALSE(fs::exists(dir() / "x.png"));
}

}  // namespace
}  // namespace ulvcli::test
