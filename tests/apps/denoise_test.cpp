// `ulvadern denoise` end to end: files in, files out, as a user runs it.
#include <gmock/gmock.h>
#include <sys/stat.h>

#include <fstream>
#include <future>
#include <span>

#include "cli_support.hpp"
#include "host/files/matfile.hpp"

namespace ulvcli::test {
namespace {

using ::testing::HasSubstr;

class DenoiseCli : public CliTest {
 protected:
  // A 64x64 noisy scene with its clean version next to it (NAME_noisy / NAME).
  void writeNoisyPair(const std::string& name) {
    writePng(dir() / (name + ".png"), scene(64, 64, 0));
    writePng(dir() / (name + "_noisy.png"), scene(64, 64, 40));
  }
};

TEST_F(DenoiseCli, SingleFileRemovesNoiseAndReportsPsnrAgainstTheCleanNeighbour) {
  writeNoisyPair("square");
  fs::create_directory(dir() / "work");
  const CliRun r = run({"denoise", "square_noisy.png", "-o", "out.png", "--workdir", "work"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("square_noisy.png -> out.png  64x64 gray"));
  EXPECT_THAT(r.out, HasSubstr("(reference square.png)"));
  EXPECT_THAT(r.out, HasSubstr("1 of 1 image denoised"));

  const Image8 clean = readImage8(dir() / "square.png");
  const Image8 out = readImage8(dir() / "out.png");
  ASSERT_EQ(out.channels, 1);
  EXPECT_GT(psnr8(out, clean), psnr8(readImage8(dir() / "square_noisy.png"), clean) + 3);
  // The library's MAT-files went to the work directory, not the current one.
  EXPECT_TRUE(fs::exists(dir() / "work" / "mascaras.mat"));
  EXPECT_FALSE(fs::exists(dir() / "mascaras.mat"));
}

TEST_F(DenoiseCli, ColourChannelsAreDenoisedAloneFromTheSameSeedAndAlphaIsKept) {
  writePng(dir() / "gray.png", scene(48, 40, 30));
  writePng(dir() / "colour.png", colourScene(48, 40, 30));
  ASSERT_EQ(run({"denoise", "gray.png", "-o", "gray_out.png"}).exitCode, 0);
  const CliRun r = run({"denoise", "colour.png", "-o", "colour_out.bmp"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("48x40 colour"));

  const Image8 gray = readImage8(dir() / "gray_out.png");
  const Image8 colour = readImage8(dir() / "colour_out.bmp");
  const Image8 input = colourScene(48, 40, 30);
  ASSERT_EQ(colour.channels, 4);
  for (std::size_t p = 0; p < gray.samples.size(); ++p) {
    for (int c = 0; c < 3; ++c) ASSERT_EQ(colour.samples[4 * p + c], gray.samples[p]) << p;
    ASSERT_EQ(colour.samples[4 * p + 3], input.samples[4 * p + 3]);
  }

  ASSERT_EQ(run({"denoise", "colour.png", "--luma", "-o", "luma.pgm"}).exitCode, 0);
  EXPECT_EQ(readImage8(dir() / "luma.pgm").samples, gray.samples);
}

// The library works on 8 bits: a 16-bit output is the 8-bit result times 257.
TEST_F(DenoiseCli, SixteenBitImagesComeBackSixteenBitUnlessDepth8IsAsked) {
  const Image8 gray = scene(40, 40, 30);
  writePng(dir() / "eight.png", gray);
  writePng16(dir() / "sixteen.png", gray);
  ASSERT_EQ(run({"denoise", "eight.png", "-o", "a.png"}).exitCode, 0);
  for (const char* name : {"b.png", "b.tif", "b.pgm"}) {
    const CliRun r = run({"denoise", "sixteen.png", "-o", name});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Image eight = loadImage(dir() / "a.png");
    const Image sixteen = loadImage(dir() / name);
    ASSERT_EQ(sixteen.type, SampleType::U16) << name;
    for (std::size_t k = 0; k < eight.samples.size(); ++k) {
      ASSERT_EQ(sixteen.samples[k], eight.samples[k] * 257) << name << " " << k;
    }
  }
  ASSERT_EQ(run({"denoise", "sixteen.png", "--depth", "8", "-o", "c.png"}).exitCode, 0);
  EXPECT_TRUE(fileBytes(dir() / "a.png") == fileBytes(dir() / "c.png"));
}

TEST_F(DenoiseCli, BatchFinishesTheGoodFilesAndFailsForTheCorruptOne) {
  fs::create_directory(dir() / "in");
  writePng(dir() / "in" / "a.png", scene(40, 40, 30));
  writePng(dir() / "in" / "c.png", colourScene(40, 36, 20));
  std::ofstream(dir() / "in" / "b.png") << "not an image";
  std::ofstream(dir() / "in" / "notes.txt") << "skipped";

  const CliRun serial = run({"denoise", "in", "--out-dir", "serial"});
  EXPECT_EQ(serial.exitCode, 1);
  EXPECT_THAT(serial.err, HasSubstr("in/b.png: not a PNG, JPEG, TIFF, PGM/PPM or BMP image"));
  EXPECT_THAT(serial.out, HasSubstr("2 of 3 images denoised, 1 failed"));

  const CliRun parallel =
      run({"denoise", "in", "--out-dir", "parallel", "--jobs", "3", "--threads", "2", "--quiet"});
  EXPECT_EQ(parallel.exitCode, 1);
  EXPECT_EQ(parallel.out, "");
  for (const char* name : {"a.png", "c.png"}) {
    EXPECT_TRUE(fileBytes(dir() / "serial" / name) == fileBytes(dir() / "parallel" / name)) << name;
  }
  EXPECT_FALSE(fs::exists(dir() / "parallel" / "b.png"));
  // The library's files and the worker directories went to private folders.
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(dir())) left.push_back(entry.path().filename());
  EXPECT_THAT(left, ::testing::UnorderedElementsAre("in", "serial", "parallel"));
}

// A chunk whose length claims far more than the file holds is refused as
// truncated, without allocating for it.
TEST_F(DenoiseCli, AChunkClaimingGigabytesInATinyFileIsRefusedUnallocated) {
  std::ofstream(dir() / "claims.png", std::ios::binary)
      << pngFile({{"IHDR", grayPngHeader(4, 3, 8)}})
      << std::string("\x6d\x00\x00\x17IDATx\x9c", 10);
  const CliRun r = run({"denoise", "claims.png", "-o", "out.png"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_THAT(r.err, HasSubstr("claims.png: truncated PNG"));
  EXPECT_FALSE(fs::exists(dir() / "out.png"));
}

// A header number of ten digits is refused; leading zeros and comments are not.
TEST_F(DenoiseCli, PgmHeaderNumbersTooLongForTheDecoderAreRefused) {
  std::ofstream(dir() / "wide.pgm", std::ios::binary) << "P5\n# note\n4 3999999999999\n255\n";
  std::ofstream(dir() / "ok.pgm", std::ios::binary) << "P5 # comment\n000000004 3\n255\n"
                                                    << std::string(12, '\x80');
  const CliRun wide = run({"denoise", "wide.pgm", "-o", "wide.png"});
  EXPECT_EQ(wide.exitCode, 1);
  EXPECT_THAT(wide.err,
              HasSubstr("wide.pgm: corrupt PGM/PPM header (its height has more than 9 digits)"));
  const CliRun ok = run({"call", "touint", "ok.pgm"});
  EXPECT_EQ(ok.exitCode, 0) << ok.err;
  EXPECT_THAT(ok.out, HasSubstr("3x4"));
}

// Outputs are written through links and into FIFOs, never renamed over them.
TEST_F(DenoiseCli, LinksStayLinksFifosReceiveTheImageDirectoriesAreRefused) {
  writePng(dir() / "in.png", scene(40, 40, 20));
  ASSERT_EQ(run({"denoise", "in.png", "-o", "plain.png"}).exitCode, 0);
  fs::create_directory(dir() / "real");
  std::ofstream(dir() / "real" / "old.png") << "old";
  fs::create_symlink("real/old.png", dir() / "link.png");
  fs::create_symlink("real/new.png", dir() / "dangling.png");
  for (const char* link : {"link.png", "dangling.png"}) {
    const CliRun r = run({"denoise", "in.png", "-o", link});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(dir() / link)) << link;
  }
  EXPECT_TRUE(fileBytes(dir() / "real" / "old.png") == fileBytes(dir() / "plain.png"));
  EXPECT_TRUE(fileBytes(dir() / "real" / "new.png") == fileBytes(dir() / "plain.png"));

  ASSERT_EQ(mkfifo((dir() / "pipe.png").c_str(), 0600), 0);
  auto received = std::async(std::launch::async, [&] { return fileBytes(dir() / "pipe.png"); });
  const CliRun piped = run({"denoise", "in.png", "-o", "pipe.png"});
  EXPECT_EQ(piped.exitCode, 0) << piped.err;
  EXPECT_TRUE(received.get() == fileBytes(dir() / "plain.png"));
  EXPECT_TRUE(fs::is_fifo(dir() / "pipe.png"));

  fs::create_directory(dir() / "folder.png");
  const CliRun folder = run({"denoise", "in.png", "-o", "folder.png"});
  EXPECT_EQ(folder.exitCode, 1);
  EXPECT_THAT(folder.err, HasSubstr("folder.png\": it is a directory"));
  EXPECT_TRUE(fs::is_directory(dir() / "folder.png"));
}

TEST_F(DenoiseCli, WithoutWorkdirTheLibraryFilesGoToAPrivateFolderRemovedOnEveryPath) {
  writePng(dir() / "a.png", scene(40, 40, 30));
  writePng(dir() / "b.png", scene(40, 36, 20));
  std::ofstream(dir() / "bad.png") << "not an image";
  fs::create_directories(dir() / "tmp");
  fs::create_directories(dir() / "readonly");
  fs::permissions(dir() / "readonly", fs::perms::owner_read | fs::perms::owner_exec);
  const std::vector<std::string> env = {"TMPDIR=" + (dir() / "tmp").string()};
  const auto runThere = [&](const std::vector<std::string>& args) {
    return finish(start(args, env, dir() / "readonly"));
  };

  const CliRun one = runThere({"denoise", "../a.png", "-o", "../one.png"});
  EXPECT_EQ(one.exitCode, 0) << one.err;
  const CliRun two =
      runThere({"denoise", "../a.png", "../b.png", "--out-dir", "../two", "-j", "2"});
  EXPECT_EQ(two.exitCode, 0) << two.err;
  EXPECT_EQ(runThere({"denoise", "../bad.png", "-o", "../bad_out.png"}).exitCode, 1);
  EXPECT_EQ(runThere({"call", "touint", "[1 2]"}).exitCode, 0);
  EXPECT_TRUE(fileBytes(dir() / "one.png") == fileBytes(dir() / "two" / "a.png"));
  EXPECT_TRUE(fs::is_empty(dir() / "readonly"));
  EXPECT_TRUE(fs::is_empty(dir() / "tmp"));
  fs::permissions(dir() / "readonly", fs::perms::owner_all);

  const CliRun noTmp =
      run({"denoise", "a.png", "-o", "c.png"}, {"TMPDIR=" + (dir() / "missing").string()});
  EXPECT_EQ(noTmp.exitCode, 1);
  EXPECT_THAT(noTmp.err, HasSubstr("cannot create a private work directory in"));
  EXPECT_THAT(noTmp.err, HasSubstr("--workdir"));
  EXPECT_FALSE(fs::exists(dir() / "c.png"));
}

TEST_F(DenoiseCli, AFileSizeLimitFailsTheWriteInsteadOfKillingTheProcessOrItsWorkers) {
  writePng(dir() / "a.png", scene(256, 256, 40));
  writePng(dir() / "b.png", scene(256, 256, 30));
  std::ofstream(dir() / "out.png") << "OLD";
  fs::create_directory(dir() / "outs");
  limitFileSize(std::min(fs::file_size(dir() / "a.png"), fs::file_size(dir() / "b.png")) / 2);

  // In a named work directory, where the library's files reach the disk.
  const CliRun serial = run({"denoise", "a.png", "-o", "out.png", "--workdir", "work"});
  // Whichever write fails first (the library's or the output's), it is an error.
  EXPECT_EQ(serial.exitCode, 1);
  EXPECT_THAT(serial.err, HasSubstr("Error: a.png: "));
  EXPECT_EQ(fileBytes(dir() / "out.png"), "OLD");

  const CliRun parallel =
      run({"denoise", "a.png", "b.png", "--out-dir", "outs", "-j", "2", "--workdir", "work"});
  EXPECT_EQ(parallel.exitCode, 1);
  EXPECT_THAT(parallel.err, HasSubstr("Error: a.png: "));
  EXPECT_THAT(parallel.err, HasSubstr("Error: b.png: "));
  EXPECT_THAT(parallel.err, ::testing::Not(HasSubstr("signal")));
  EXPECT_TRUE(fs::is_empty(dir() / "outs"));
  for (const auto& entry : fs::directory_iterator(dir())) {
    EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
  }
}

// Parameters that used to give a black image with exit 0 now fail, saying why.
TEST_F(DenoiseCli, ParametersWithoutAMeaningfulImageFailClearly) {
  writePng(dir() / "a.png", scene(40, 40, 30));
  const CliRun huge = run({"denoise", "a.png", "-o", "x.png", "--gains", "1e308,1e308,1e308"});
  EXPECT_EQ(huge.exitCode, 1);
  EXPECT_THAT(huge.err, HasSubstr("weighted details of level 3 overflow: mult(3) = 1e+308"));
  EXPECT_FALSE(fs::exists(dir() / "x.png"));
  const CliRun nanPot = run({"call", "ulvadern", "a.png", "3", "[1 1 1]", "NaN"});
  EXPECT_EQ(nanPot.exitCode, 1);
  EXPECT_THAT(nanPot.err, HasSubstr("pot, the exponent of the mask fusion, must be a finite real "
                                    "scalar (got NaN)"));
  for (const char* levels : {"Inf", "2147483648", "64"}) {
    const CliRun r = run({"call", "ulvadern", "a.png", levels});
    EXPECT_EQ(r.exitCode, 1) << levels;
    EXPECT_THAT(r.err, HasSubstr("Error: ulvadern: ")) << levels;
    EXPECT_THAT(r.err, ::testing::Not(HasSubstr("-2147483648"))) << levels;
  }
}

TEST_F(DenoiseCli, InputsAreNeverOverwritten) {
  writePng(dir() / "a.png", scene(40, 40, 30));
  const std::string before = fileBytes(dir() / "a.png");
  const CliRun same = run({"denoise", "a.png", "-o", "./a.png"});
  EXPECT_EQ(same.exitCode, 2);
  EXPECT_THAT(same.err, HasSubstr("refusing to overwrite the input"));
  EXPECT_EQ(run({"denoise", "a.png", "--out-dir", "."}).exitCode, 2);
  fs::create_hard_link(dir() / "a.png", dir() / "link.png");
  EXPECT_EQ(run({"denoise", "a.png", "-o", "link.png"}).exitCode, 2);
  EXPECT_TRUE(fileBytes(dir() / "a.png") == before);
}

TEST_F(DenoiseCli, ReplayingRecordedDrawsReproducesTheOutputWhateverTheSeed) {
  writePng(dir() / "a.png", scene(40, 40, 30));
  writePng(dir() / "small.png", scene(30, 30, 30));
  // Named files are taken from the current directory, not the work directory.
  ASSERT_EQ(run({"denoise", "a.png", "-o", "first.png", "--record-random", "draws.mat", "--workdir",
                 "work"})
                .exitCode,
            0);
  EXPECT_EQ(matVariable(dir() / "draws.mat", "randn_1").dims(), (ulv::Dims{40, 40}));
  EXPECT_EQ(matVariable(dir() / "draws.mat", "rand_1").classID(), ulv::mxDOUBLE_CLASS);

  const CliRun replay =
      run({"denoise", "a.png", "-o", "again.png", "--seed", "99", "--replay-random", "draws.mat"});
  ASSERT_EQ(replay.exitCode, 0) << replay.err;
  EXPECT_TRUE(fileBytes(dir() / "first.png") == fileBytes(dir() / "again.png"));
  // The replayed draws are the ones used: a stronger perturbation shows.
  auto draws = ulv::loadAllVariables((dir() / "draws.mat").string());
  for (double& v : std::span(draws.front().second.mutableData(), 1600)) v *= 20000;
  ulv::saveVariables((dir() / "loud.mat").string(), draws);
  ASSERT_EQ(run({"denoise", "a.png", "-o", "loud.png", "--replay-random", "loud.mat"}).exitCode, 0);
  EXPECT_FALSE(fileBytes(dir() / "first.png") == fileBytes(dir() / "loud.png"));

  const CliRun mismatch =
      run({"denoise", "small.png", "-o", "s.png", "--replay-random", "draws.mat"});
  EXPECT_EQ(mismatch.exitCode, 1);
  EXPECT_THAT(mismatch.err, HasSubstr("variable \"randn_1\""));
  EXPECT_THAT(mismatch.err, HasSubstr("asks for a 30x30 double array"));
  EXPECT_FALSE(fs::exists(dir() / "s.png"));
}

}  // namespace
}  // namespace ulvcli::test
