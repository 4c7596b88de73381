#include "host/files/matfile.hpp"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>

#include "support/test_support.hpp"

namespace ulv {
namespace {

namespace fs = std::filesystem;
using test::generate;
using test::hostErrorOf;

// Same class, size and bits of every element (NaN and -0 included).
void expectIdentical(const mxArray& expected, const mxArray& actual) {
  ASSERT_EQ(expected.classID(), actual.classID());
  ASSERT_EQ(expected.dims(), actual.dims());
  if (expected.isCell()) {
    for (std::size_t k = 0; k < expected.numel(); ++k) {
      expectIdentical(expected.cellAt(k), actual.cellAt(k));
    }
  } else if (!expected.isEmpty()) {
    EXPECT_EQ(0, std::memcmp(expected.data(), actual.data(), expected.numel() * sizeof(double)));
  }
}

mxArray text(const char* s) {
  return mxArray::string(s);
}

std::vector<std::string> filesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

class MatFileTest : public ::testing::Test {
 protected:
  test::ScopedWorkDir folder_;
};

TEST_F(MatFileTest, EveryClassRoundTripsExactly) {
  mxArray nested = mxArray::cell({2, 1});
  nested.mutableCell(0) = generate({3, 4, 2}, [](std::size_t k) { return k * 0.1 - 1; });
  nested.mutableCell(1) = mxArray::cell({0, 0});
  mxArray cell = mxArray::cell({1, 3});
  cell.mutableCell(0) = mxArray::fromVector({1, 2}, {7, 255}, mxUINT8_CLASS);
  cell.mutableCell(1) = text("in a cell");
  cell.mutableCell(2) = nested;
  const std::vector<std::pair<std::string, mxArray>> variables = {
      {"cube", generate({3, 4, 2}, [](std::size_t k) { return std::sqrt(k + 0.5); })},
      {"special", mxArray::row({NAN, INFINITY, -0.0, 1e-310, -1.7976931348623157e308})},
      {"bytes", mxArray::fromVector({2, 3}, {0, 1, 127, 128, 254, 255}, mxUINT8_CLASS)},
      {"truth", mxArray::fromVector({1, 3}, {1, 0, 1}, mxLOGICAL_CLASS)},
      {"wide", mclInitializeString(3, u"a\u263Az")},
      {"cells", cell},
      {"empty", mxArray::empty()},
      {"noRows", mxArray::zeros({0, 3})},
      {"emptyCube", mxArray::zeros({3, 0, 2})},
      {"noText", text("")},
      {"scalar", mxArray::scalar(-2.5)},
  };
  saveVariables("all", variables);
  const auto loaded = loadAllVariables("all.mat");
  ASSERT_EQ(loaded.size(), variables.size());
  for (std::size_t k = 0; k < loaded.size(); ++k) {
    SCOPED_TRACE(variables[k].first);
    EXPECT_EQ(loaded[k].first, variables[k].first);
    expectIdentical(variables[k].second, loaded[k].second);
  }
}

TEST_F(MatFileTest, FileNamesGetTheMatExtensionWhenTheyHaveNone) {
  EXPECT_EQ(matFileName("minimiza"), "minimiza.mat");
  EXPECT_EQ(matFileName("data.v1/minimiza"), "data.v1/minimiza.mat");
  EXPECT_EQ(matFileName("masks.bin"), "masks.bin");
  EXPECT_NE(hostErrorOf([] { matFileName(""); }), "");
  EXPECT_NE(hostErrorOf([] { matFileName("folder/"); }), "");
}

TEST_F(MatFileTest, SaveOverwritesAndConditionalLoadTakesOnlyStoredVariables) {
  const mxArray a = mxArray::scalar(1), b = mxArray::row({1, 2}), vv = mxArray::row({3, 4, 5});
  mlfSave(text("minimiza"), text("w"), {{"a", &a}, {"b", &b}});
  mlfSave(text("minimiza"), text("w"), {{"vv", &vv}});
  EXPECT_EQ(filesIn(folder_.path()), std::vector<std::string>{"minimiza.mat"});

  mxArray loadedVv, untouchedA = mxArray::scalar(7), absent;
  mclLoadConditional(text("minimiza"), {{"vv", &loadedVv}, {"a", &untouchedA}, {"x1", &absent}});
  expectIdentical(vv, loadedVv);
  expectIdentical(mxArray::scalar(7), untouchedA);
  EXPECT_TRUE(absent.isPlaceholder());
}

// Repeated loads of a small file are served from a cache of its parsed
// content, which must never hide a change to the file, whoever makes it.
TEST_F(MatFileTest, RepeatedLoadsAlwaysSeeTheFilesCurrentContent) {
  auto load = [](const char* variable = "vv") {
    mxArray value;
    mclLoadConditional(text("minimiza"), {{variable, &value}});
    return value;
  };
  const mxArray first = generate({10000, 1}, [](std::size_t k) { return k * 1e-4; });
  mlfSave(text("minimiza"), text("w"), {{"vv", &first}, {"w", &first}});
  expectIdentical(first, load());
  expectIdentical(first, load());

  // Rewritten in place, same size, one element changed.
  std::ifstream in("minimiza.mat", std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const double old = first.at(5000), changed = -1;
  const auto at = bytes.find(std::string(reinterpret_cast<const char*>(&old), sizeof old));
  ASSERT_NE(at, std::string::npos);
  bytes.replace(at, sizeof changed, reinterpret_cast<const char*>(&changed), sizeof changed);
  writeBytes("minimiza.mat", bytes);
  EXPECT_EQ(load().at(5000), -1);
  expectIdentical(first, load("w"));  // a variable not read before

  const mxArray second = mxArray::row({1, 2, 3});
  mlfSave(text("minimiza"), text("w"), {{"vv", &second}});
  expectIdentical(second, load());
  EXPECT_TRUE(load("w").isPlaceholder());

  fs::resize_file("minimiza.mat", fs::file_size("minimiza.mat") - 8);
  EXPECT_EQ(hostErrorOf([&] { load(); }),
            "Unable to read file 'minimiza.mat': variable 'vv' is damaged (the file ends inside "
            "it).");
  fs::remove("minimiza.mat");
  EXPECT_EQ(hostErrorOf([&] { load(); }),
            "Unable to read file 'minimiza.mat': No such file or directory.");
}

TEST_F(MatFileTest, UnreadableFilesAreHostErrorsAndNothingElse) {
  testing::internal::CaptureStderr();  // libmatio must not print its own complaints
  mxArray target;
  auto loadError = [&](const char* name) {
    return hostErrorOf([&] { mclLoadConditional(text(name), {{"vv", &target}}); });
  };
  EXPECT_EQ(loadError("minimiza"),
            "Unable to read file 'minimiza.mat': No such file or directory.");

  writeBytes("garbage.mat", std::string(4096, '\x5a'));
  writeBytes("empty.mat", "");
  EXPECT_EQ(loadError("garbage"), "Unable to read file 'garbage.mat': not a MAT-file.");
  EXPECT_EQ(loadError("empty"), "Unable to read file 'empty.mat': the file is empty.");

  const mxArray sample = generate({10000, 1}, [](std::size_t k) { return k * 1e-4; });
  saveVariables("cut", {{"vv", sample}});
  fs::resize_file("cut.mat", fs::file_size("cut.mat") / 2);
  EXPECT_EQ(loadError("cut"),
            "Unable to read file 'cut.mat': variable 'vv' is damaged (the file ends inside it).");

  fs::create_directory("folder.mat");
  EXPECT_EQ(loadError("folder"), "Unable to read file 'folder.mat': Is a directory.");
  EXPECT_TRUE(target.isPlaceholder());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(MatFileTest, FailedSaveKeepsTheOldFileAndLeavesNoTemporaryFile) {
  const mxArray old = mxArray::scalar(5), unassigned;
  mlfSave(text("keep"), text("w"), {{"x", &old}});
  auto saveError = [&](const char* file, const char* mode, const char* name, const mxArray* value) {
    return hostErrorOf([&] { mlfSave(text(file), text(mode), {{"x", &old}, {name, value}}); });
  };
  EXPECT_EQ(saveError("keep", "w", "y", &unassigned),
            "Cannot save variable 'y' to 'keep.mat': it holds no value (unassigned).");
  EXPECT_EQ(saveError("keep", "a", "y", &old),
            "Unsupported save mode 'a': only 'w' (overwrite) is supported.");
  EXPECT_NE(saveError("keep", "w", "1y", &old), "");
  EXPECT_NE(saveError("keep", "w", "x", &old), "");  // the same name twice

  fs::create_directory("occupied.mat");
  EXPECT_EQ(saveError("occupied", "w", "y", &old),
            "Unable to write file 'occupied.mat': Is a directory.");
  EXPECT_EQ(saveError("missing/file", "w", "y", &old),
            "Unable to write file 'missing/file.mat': No such file or directory.");

  EXPECT_EQ(filesIn(folder_.path()), (std::vector<std::string>{"keep.mat", "occupied.mat"}));
  mxArray x;
  mclLoadConditional(text("keep"), {{"x", &x}});
  expectIdentical(old, x);
}

// A host that removes temporaries after fatal signals hears of each one
// before it exists and until it is gone, whether the save succeeds or fails.
TEST_F(MatFileTest, TemporaryFilesAreAnnouncedBeforeTheyExistAndWithdrawnAfter) {
  std::vector<std::string> events;
  setTemporaryFileHooks({
      [&](const std::string& path) {
        events.push_back((fs::exists(path) ? "late " : "announce ") + path);
      },
      [&](const std::string& path) {
        events.push_back((fs::exists(path) ? "early " : "withdraw ") + path);
      },
  });
  const mxArray value = mxArray::scalar(5);
  mlfSave(text("saved"), text("w"), {{"x", &value}});
  fs::create_directory("occupied.mat");
  EXPECT_NE(hostErrorOf([&] { mlfSave(text("occupied"), text("w"), {{"x", &value}}); }), "");
  setTemporaryFileHooks({});

  ASSERT_EQ(events.size(), 4u);
  for (std::size_t k = 0; k < events.size(); k += 2) {
    const std::string path = events[k].substr(events[k].find(' ') + 1);
    EXPECT_EQ(events[k], "announce " + path);
    EXPECT_EQ(events[k + 1], "withdraw " + path);
    EXPECT_TRUE(path.ends_with(".tmp")) << path;
  }
  EXPECT_EQ(filesIn(folder_.path()), (std::vector<std::string>{"occupied.mat", "saved.mat"}));
}

// The host error that `save` raises in a child process whose files may not
// grow past `limit` bytes (`ulimit -f`, with SIGXFSZ ignored as the hosts do).
std::string errorUnderFileSizeLimit(rlim_t limit, const std::function<void()>& save) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return "no pipe";
  const pid_t child = fork();
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit fileSize{limit, limit};
    setrlimit(RLIMIT_FSIZE, &fileSize);
    const std::string error = hostErrorOf(save);
    const bool sent = write(pipeEnds[1], error.data(), error.size()) == ssize_t(error.size());
    _exit(sent ? 0 : 1);
  }
  close(pipeEnds[1]);
  std::string error;
  char buffer[256];
  for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) error.append(buffer, n);
  close(pipeEnds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? error : "the child failed";
}

std::string bytesOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// stdio writes that fail at a size limit go unreported by libmatio: the save
// must notice them all the same, wherever the limit cuts the file.
TEST_F(MatFileTest, ASizeLimitFailsTheSaveWholeAndKeepsTheOldFile) {
  const mxArray old = mxArray::scalar(5);
  const mxArray large = generate({100000, 1}, [](std::size_t k) { return k * 0.5; });
  saveVariables("keep", {{"x", old}});
  const std::string oldBytes = bytesOf("keep.mat");
  for (const rlim_t limit : {0, 100, 200, 4096, 65536, 500000}) {
    SCOPED_TRACE(limit);
    EXPECT_EQ(errorUnderFileSizeLimit(limit,
                                      [&] {
                                        saveVariables("keep", {{"x", large}});
                                      }),
              "Unable to write file 'keep.mat': File too large.");
    EXPECT_EQ(
        errorUnderFileSizeLimit(limit,
                                [&] {
                                  mlfSave(text("keep"), text("w"), {{"x", &old}, {"y", &large}});
                                }),
        "Unable to write file 'keep.mat': File too large.");
    EXPECT_EQ(bytesOf("keep.mat"), oldBytes);
    EXPECT_EQ(filesIn(folder_.path()), std::vector<std::string>{"keep.mat"});
  }
}

bool octaveInstalled() {
  return std::system("command -v octave-cli > /dev/null 2>&1") == 0;
}

// Standard output of an Octave command run in the current folder.
std::string octave(const std::string& code) {
  const std::string command = "octave-cli --norc --quiet --eval \"" + code + "\" 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::string output;
  char buffer[256];
  while (pipe && std::fgets(buffer, sizeof buffer, pipe.get()) != nullptr) output += buffer;
  return output;
}

TEST_F(MatFileTest, OctaveReadsOurFilesAndWeReadOctaves) {
  if (!octaveInstalled()) GTEST_SKIP() << "octave-cli is not installed";
  // Quarter steps keep every sum exact, whatever order Octave adds in.
  const mxArray cube = generate({2, 3, 4}, [](std::size_t k) { return k * 0.25 - 1.5; });
  const mxArray bytes = mxArray::fromVector({3, 2}, {0, 9, 200, 255, 17, 3}, mxUINT8_CLASS);
  saveVariables("shared", {{"cube", cube}, {"bytes", bytes}, {"name", text("ulvadern")}});
  EXPECT_EQ(octave("load('shared.mat'); printf('%d ', size(cube), sum(cube(:) .* (1:24)'), "
                   "size(bytes), sum(double(bytes(:)) .* (1:6)')); "
                   "printf('%s %s %s', class(cube), class(bytes), name);"),
            "2 3 4 700 3 2 1741 double uint8 ulvadern");

  octave(
      "z = reshape(1:24, 2, 3, 4) / 8; u = uint8([1 2; 3 250]); s = 'abc'; "
      "save('-v6', 'octave.mat', 'z', 'u', 's');");
  mxArray z, u, s;
  mclLoadConditional(text("octave"), {{"z", &z}, {"u", &u}, {"s", &s}});
  expectIdentical(generate({2, 3, 4}, [](std::size_t k) { return (k + 1) / 8.0; }), z);
  expectIdentical(mxArray::fromVector({2, 2}, {1, 3, 2, 250}, mxUINT8_CLASS), u);
  expectIdentical(text("abc"), s);
}

TEST(MatFileDirectory, EachThreadSavesAndLoadsInItsOwnHostDirectory) {
  test::ScopedWorkDir cwd;
  fs::create_directories("a");
  fs::create_directories("b");
  auto saveIn = [](const std::string& dir, double value) {
    ScopedHostDirectory scope(dir);
    const mxArray vv = mlfScalar(value);
    mlfSave(mxArray::string("minimiza"), mxArray::string("w"), {{"vv", &vv}});
  };
  std::thread first([&] { saveIn((cwd.path() / "a").string(), 1); });
  std::thread second([&] { saveIn((cwd.path() / "b").string(), 2); });
  first.join();
  second.join();
  EXPECT_FALSE(fs::exists("minimiza.mat"));
  ScopedHostDirectory scope("b");
  mxArray vv;
  mclLoadConditional(mxArray::string("minimiza"), {{"vv", &vv}});
  EXPECT_EQ(vv.scalarValue(), 2);
}

}  // namespace
}  // namespace ulv
