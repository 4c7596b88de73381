// Writes that fail: a full disk (a shim that fails chosen writes, or a small
// tmpfs where one can be mounted) and a file-size limit, at every MAT-file the
// tool or the library writes. Whatever fails, the tool must exit non-zero,
// leave the old file as it was, leave no temporary file and write no image.
#include <gmock/gmock.h>
#include <sys/mount.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "cli_support.hpp"

namespace ulvcli::test {
namespace {

using ::testing::HasSubstr;

const char* const kOld = "OLD\n";

class WriteFaults : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    writePng(dir() / "in.png", scene(40, 36, 20));
    fs::create_directory(dir() / "work");
  }

  // Runs the tool with stdio writes to files whose names hold `files` failing
  // from the `after`-th on (`once`: only that one) with `error`.
  CliRun runFailing(const std::vector<std::string>& args, const std::string& files, int after,
                    int error = ENOSPC, bool once = false) const {
    // The shim is loaded before the sanitizers' runtime in sanitized builds.
    const char* asan = std::getenv("ASAN_OPTIONS");
    std::vector<std::string> env{
        "LD_PRELOAD=" ULV_WRITE_FAULTS,
        "ULV_FAIL_FILES=" + files,
        "ULV_FAIL_AFTER=" + std::to_string(after),
        "ULV_FAIL_ERRNO=" + std::to_string(error),
        "ASAN_OPTIONS=" + std::string(asan ? asan : "") + ":verify_asan_link_order=0",
    };
    if (once) env.push_back("ULV_FAIL_ONCE=1");
    return run(args, env);
  }

  // Runs the tool through bash under `ulimit -f kib`, SIGXFSZ ignored.
  CliRun runLimited(int kib, const std::string& args) const {
    const std::string command = "cd '" + dir().string() + "' && /bin/bash -c \"trap '' XFSZ; " +
                                "ulimit -f " + std::to_string(kib) + "; exec " ULV_CLI_PATH " " +
                                args + "\" > .out 2> .err";
    const int status = std::system(command.c_str());
    CliRun r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, fileBytes(dir() / ".out"),
             fileBytes(dir() / ".err")};
    fs::remove(dir() / ".out");
    fs::remove(dir() / ".err");
    return r;
  }

  void putOld(const fs::path& file) const { std::ofstream(file, std::ios::binary) << kOld; }

  // A failed run: its reason and file named, `kept` as it was, nothing
  // half-written anywhere, no image.
  void expectCleanFailure(const CliRun& r, const std::string& reason, const std::string& file,
                          const fs::path& kept) const {
    expectFailureNaming(r, reason, file);
    EXPECT_TRUE(fileBytes(kept) == kOld) << kept << " was changed";
  }

  void expectFailureNaming(const CliRun& r, const std::string& reason,
                           const std::string& file) const {
    EXPECT_NE(r.exitCode, 0);
    EXPECT_THAT(r.err, HasSubstr(file));
    EXPECT_THAT(r.err, HasSubstr(reason));
    EXPECT_FALSE(fs::exists(dir() / "out.png"));
    for (const auto& entry : fs::recursive_directory_iterator(dir())) {
      EXPECT_THAT(entry.path().filename().string(), ::testing::Not(HasSubstr("tmp")))
          << "left behind: " << entry.path();
    }
  }
};

const std::vector<std::string> kDenoise = {"denoise", "in.png",    "-o",
                                           "out.png", "--workdir", "work"};

// The library writes "minimiza" before every fit and "mascaras" once; the
// shim counts every stdio write to the chosen file, so these cut the first
// save at its header, its variable's header and its data.
TEST_F(WriteFaults, EverySaveOfTheLibraryFailsWholeOnAFullDisk) {
  for (const std::string file : {"minimiza", "mascaras"}) {
    for (const int after : {0, 3, 9}) {
      SCOPED_TRACE(file + " after " + std::to_string(after));
      fs::remove_all(dir() / "work");
      fs::create_directory(dir() / "work");
      putOld(dir() / "work" / (file + ".mat"));
      expectCleanFailure(runFailing(kDenoise, file, after), "No space left on device",
                         file + ".mat", dir() / "work" / (file + ".mat"));
    }
  }
  // A later save fails: the sample of the fit before it stays whole. (One
  // thread: with more, the fits side by side keep their samples in memory
  // and only the last one is saved.)
  std::vector<std::string> oneThread = kDenoise;
  oneThread.insert(oneThread.end(), {"-t", "1"});
  expectFailureNaming(runFailing(oneThread, "minimiza", 40), "No space left on device",
                      "minimiza.mat");
  EXPECT_GT(matVariable(dir() / "work" / "minimiza.mat", "vv").numel(), 100u);
}

// One write lost while those around it succeed leaves a hole, not a short
// file: only reading the file back finds it.
TEST_F(WriteFaults, ALostWriteInTheMiddleIsFound) {
  putOld(dir() / "work" / "minimiza.mat");
  expectCleanFailure(runFailing(kDenoise, "minimiza", 4, EIO, true),
                     "the data could not be written whole", "minimiza.mat",
                     dir() / "work" / "minimiza.mat");
  putOld(dir() / "res.mat");
  const CliRun r =
      runFailing({"call", "maltrans2d", "in.png", "[]", "2", "-o", "res.mat"}, "res", 5, EIO, true);
  expectCleanFailure(r, "the data could not be written whole", "res", dir() / "res.mat");
}

TEST_F(WriteFaults, CallOutputsFailWholeAndKeepTheOldFile) {
  for (const int after : {0, 2, 6}) {
    SCOPED_TRACE(after);
    putOld(dir() / "res.mat");
    const CliRun r = runFailing({"call", "maltrans2d", "in.png", "[]", "2", "-o", "res.mat"}, "res",
                                after, EFBIG);
    expectCleanFailure(r, "File too large", "res.mat'", dir() / "res.mat");
  }
}

TEST_F(WriteFaults, AFileSizeLimitFailsEveryWrite) {
  putOld(dir() / "res.mat");
  expectCleanFailure(runLimited(8, "call maltrans2d in.png [] 2 -o res.mat"), "File too large",
                     "res.mat'", dir() / "res.mat");
  putOld(dir() / "work" / "minimiza.mat");
  expectCleanFailure(runLimited(4, "denoise in.png -o out.png --workdir work"), "File too large",
                     "minimiza.mat", dir() / "work" / "minimiza.mat");
}

// A really full file system, where one can be mounted (root, and a container
// that allows it); skipped elsewhere, where the shim stands in for it.
class FullFileSystem : public WriteFaults {
 protected:
  void SetUp() override {
    WriteFaults::SetUp();
    full_ = dir() / "full";
    fs::create_directory(full_);
    if (mount("tmpfs", full_.c_str(), "tmpfs", 0, "size=8k") != 0) {
      GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
    }
    mounted_ = true;
  }
  void TearDown() override {
    if (mounted_) umount(full_.c_str());
    WriteFaults::TearDown();
  }
  fs::path full_;
  bool mounted_ = false;
};

TEST_F(FullFileSystem, SavesSayNoSpaceAndKeepTheOldFiles) {
  putOld(full_ / "res.mat");
  expectCleanFailure(run({"call", "maltrans2d", "in.png", "[]", "2", "-o", "full/res.mat"}),
                     "No space left on device", "res", full_ / "res.mat");
  putOld(full_ / "minimiza.mat");
  expectCleanFailure(run({"denoise", "in.png", "-o", "out.png", "--workdir", "full"}),
                     "No space left on device", "minimiza.mat", full_ / "minimiza.mat");
}

}  // namespace
}  // namespace ulvcli::test
