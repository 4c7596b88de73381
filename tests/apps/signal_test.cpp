// Stopping `ulvadern denoise` while it works: on SIGINT, SIGTERM, SIGHUP or
// SIGPIPE it stops its workers, removes every temporary file and folder, keeps
// the outputs that were complete and exits with 128 + the signal. Workers end
// with their parent even when it is killed outright.
#include <gmock/gmock.h>
#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <thread>

#include "cli_support.hpp"

namespace ulvcli::test {
namespace {

constexpr int kImages = 10;

struct ProcessId {
  pid_t pid = 0;
  unsigned long long startTime = 0;  // tells a reused id apart
};

struct ProcessStat {
  char state = '?';
  pid_t parent = 0;
  unsigned long long startTime = 0;
};

std::optional<ProcessStat> readStat(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!std::getline(file, text)) return std::nullopt;
  // "pid (comm) state ppid ..."; comm may hold spaces and parentheses.
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  ProcessStat stat;
  fields >> stat.state >> stat.parent;
  std::string skipped;
  for (int field = 5; field < 22; ++field) fields >> skipped;
  fields >> stat.startTime;
  return stat;
}

std::vector<ProcessId> childrenOf(pid_t parent) {
  std::vector<ProcessId> children;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const auto stat = readStat(std::stoi(name));
    if (stat && stat->parent == parent && stat->state != 'Z') {
      children.push_back({std::stoi(name), stat->startTime});
    }
  }
  return children;
}

bool running(const ProcessId& process) {
  const auto stat = readStat(process.pid);
  return stat && stat->startTime == process.startTime && stat->state != 'Z';
}

// Polls until done() holds; false when it still does not after a minute.
bool eventually(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

std::vector<std::string> namesIn(const fs::path& directory) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::recursive_directory_iterator(directory, error)) {
    names.push_back(entry.path().lexically_relative(directory));
  }
  return names;
}

class StoppedBatch : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    fs::create_directories(dir() / "in");
    fs::create_directories(dir() / "tmp");
    writePng(dir() / "in" / "img0.png", scene(768, 768, 30));
    for (int k = 1; k < kImages; ++k) {
      fs::copy_file(dir() / "in" / "img0.png", dir() / "in" / ("img" + std::to_string(k) + ".png"));
    }
  }

  // Starts the batch, waits for its first output, records the workers and
  // sends `sig`.
  CliRun stopAfterFirstOutput(int sig, std::vector<std::string> options) {
    std::vector<std::string> args = {"denoise", "in", "--out-dir", "out"};
    args.insert(args.end(), options.begin(), options.end());
    const pid_t pid = start(args, {"TMPDIR=" + (dir() / "tmp").string()});
    EXPECT_TRUE(eventually([this] { return !outputs().empty(); }));
    workers_ = childrenOf(pid);
    kill(pid, sig);
    return finish(pid);
  }

  std::vector<std::string> outputs() const {
    std::vector<std::string> names;
    for (const std::string& name : namesIn(dir() / "out")) {
      if (name.front() != '.') names.push_back(name);
    }
    return names;
  }

  // Only whole outputs, and not all of them: the run was stopped.
  void expectOnlyCompleteOutputs() {
    ASSERT_EQ(
        run({"denoise", "in/img0.png", "-o", "reference.png", "--workdir", "refwork"}).exitCode, 0);
    const std::string reference = fileBytes(dir() / "reference.png");
    const std::vector<std::string> all = namesIn(dir() / "out");
    EXPECT_EQ(all, outputs()) << "a temporary file was left";
    EXPECT_LT(all.size(), static_cast<std::size_t>(kImages));
    for (const std::string& name : all) {
      EXPECT_TRUE(fileBytes(dir() / "out" / name) == reference) << name;
    }
  }

  const std::vector<ProcessId>& workers() const { return workers_; }

 private:
  std::vector<ProcessId> workers_;
};

TEST_F(StoppedBatch, SigtermStopsTheWorkersAndRemovesThePrivateWorkDirectory) {
  const CliRun r = stopAfterFirstOutput(SIGTERM, {"-j", "2"});
  EXPECT_EQ(r.exitCode, 128 + SIGTERM) << r.err;
  ASSERT_EQ(workers().size(), 2u);
  // Waited for before the parent exited: none may write after it.
  for (const ProcessId& worker : workers()) EXPECT_FALSE(running(worker)) << worker.pid;
  EXPECT_THAT(namesIn(dir() / "tmp"), ::testing::IsEmpty());
  expectOnlyCompleteOutputs();
}

TEST_F(StoppedBatch, SigintKeepsANamedWorkDirectoryButNotTheWorkerFolders) {
  const CliRun r = stopAfterFirstOutput(SIGINT, {"-j", "2", "--workdir", "work"});
  EXPECT_EQ(r.exitCode, 128 + SIGINT) << r.err;
  ASSERT_EQ(workers().size(), 2u);
  for (const ProcessId& worker : workers()) EXPECT_FALSE(running(worker)) << worker.pid;
  EXPECT_TRUE(fs::is_directory(dir() / "work"));
  for (const std::string& name : namesIn(dir() / "work")) {
    EXPECT_THAT(name, ::testing::Not(::testing::StartsWith("ulvadern-worker-")));
  }
  expectOnlyCompleteOutputs();
}

TEST_F(StoppedBatch, SighupOfASerialRunRemovesItsTemporaries) {
  const CliRun r = stopAfterFirstOutput(SIGHUP, {});
  EXPECT_EQ(r.exitCode, 128 + SIGHUP) << r.err;
  EXPECT_THAT(namesIn(dir() / "tmp"), ::testing::IsEmpty());
  expectOnlyCompleteOutputs();
}

TEST_F(StoppedBatch, SigpipeOfAClosedOutputCleansUpLikeTheOthers) {
  const CliRun r = stopAfterFirstOutput(SIGPIPE, {"-j", "2"});
  EXPECT_EQ(r.exitCode, 128 + SIGPIPE) << r.err;
  for (const ProcessId& worker : workers()) EXPECT_FALSE(running(worker)) << worker.pid;
  EXPECT_THAT(namesIn(dir() / "tmp"), ::testing::IsEmpty());
  expectOnlyCompleteOutputs();
}

TEST_F(StoppedBatch, WorkersEndWithTheirParentWhenItIsKilled) {
  const CliRun r = stopAfterFirstOutput(SIGKILL, {"-j", "2"});
  EXPECT_EQ(r.exitCode, 128 + SIGKILL);
  ASSERT_EQ(workers().size(), 2u);
  for (const ProcessId& worker : workers()) {
    EXPECT_TRUE(eventually([&worker] { return !running(worker); })) << worker.pid;
  }
  // The killed parent leaves its (empty) private directory; each worker
  // removed its own folder and its half-written output.
  for (const std::string& name : namesIn(dir() / "tmp")) {
    EXPECT_THAT(name, ::testing::Not(::testing::HasSubstr("ulvadern-worker-")));
  }
  expectOnlyCompleteOutputs();
}

}  // namespace
}  // namespace ulvcli::test
