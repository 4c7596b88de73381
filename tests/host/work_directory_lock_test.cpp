#include "ulvadern/work_directory_lock.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <optional>
#include <thread>

#include "host/files/matfile.hpp"
#include "support/test_support.hpp"
#include "ulvadern/random.hpp"

namespace ulv {
namespace {

using test::lockedElsewhere;

void saveOne(const std::string& file) {
  const mxArray value = mxArray::scalar(1);
  mlfSave(mxArray::string(file.c_str()), mxArray::string("w"), {{"v", &value}});
}

// Runs `work` on a thread of its own and collects that thread's warnings. The
// lock warns just before it waits, so the first warning says "now waiting".
class Contender {
 public:
  explicit Contender(std::function<void()> work)
      : thread_([this, work = std::move(work)] {
          const ScopedThreadWarnings capture([this](std::string_view text) {
            messages_.emplace_back(text);
            if (messages_.size() == 1) waiting_.set_value();
          });
          work();
        }) {}
  // False when it never waited (bounded only so that a fault cannot hang the suite).
  bool awaitWaiting() {
    return waitingSeen_.wait_for(std::chrono::minutes(2)) == std::future_status::ready;
  }
  std::vector<std::string> finish() {
    thread_.join();
    return messages_;
  }

 private:
  std::vector<std::string> messages_;
  std::promise<void> waiting_;
  std::future<void> waitingSeen_ = waiting_.get_future();
  std::thread thread_;  // last: starts once the rest is ready
};

class WorkDirectoryLockTest : public test::LibraryTest {
 protected:
  test::ScopedWorkDir folder_;
  std::string dir() const { return folder_.path().string(); }
};

TEST_F(WorkDirectoryLockTest, NestedCallsOnOneThreadShareOneHoldUntilTheOutermostEnds) {
  {
    const WorkDirectoryCall outer;
    const WorkDirectoryAccess first("");
    {
      const WorkDirectoryCall inner;
      const WorkDirectoryAccess sameDirectoryOtherName(dir() + "/.");  // must not wait for itself
    }
    EXPECT_TRUE(lockedElsewhere(dir()));
  }
  EXPECT_FALSE(lockedElsewhere(dir()));
  {
    const WorkDirectoryAccess outsideAnyCall(dir());
    EXPECT_TRUE(lockedElsewhere(dir()));
  }
  EXPECT_FALSE(lockedElsewhere(dir()));
}

TEST_F(WorkDirectoryLockTest, ACallEndedByAnErrorReleasesTheLock) {
  EXPECT_NE(test::hostErrorOf([&] {
              const WorkDirectoryCall call;
              saveOne("first");
              hostError("the call fails after its save");
            }),
            "");
  EXPECT_FALSE(lockedElsewhere(dir()));
}

TEST_F(WorkDirectoryLockTest, ADirectoryThatCannotBeOpenedIsLeftToTheSaveToReport) {
  const std::string error = test::hostErrorOf([&] {
    const WorkDirectoryCall call;
    const ScopedHostDirectory missing(dir() + "/missing");
    saveOne("a");
  });
  EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
  EXPECT_EQ(error.find("lock"), std::string::npos) << error;
}

// A directory that may be written but not read cannot be locked; using it
// unlocked would let two calls share its files. Checked as an unprivileged
// user (root reads every directory).
TEST_F(WorkDirectoryLockTest, ADirectoryThatMayBeWrittenButNotReadIsRefused) {
  const std::string shared = dir() + "/write-only";
  ASSERT_EQ(::mkdir(shared.c_str(), 0300), 0);
  constexpr uid_t kNobody = 65534;
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(shared.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(::chmod(dir().c_str(), 0711), 0);  // the way in, for nobody
  }
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) ::_exit(3);
    const std::string error = test::hostErrorOf([&] {
      const WorkDirectoryCall call;
      const ScopedHostDirectory inside(shared);
      saveOne("a");
    });
    const bool refused = error.find("Cannot lock the work directory") != std::string::npos &&
                         error.find("Permission denied") != std::string::npos;
    ::_exit(refused ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_FALSE(std::filesystem::exists(shared + "/a.mat"));
}

TEST_F(WorkDirectoryLockTest, ALibraryCallWaitsForAnotherThreadsHoldAndSaysSoOnce) {
  const mxArray image = test::generate({32, 32}, [](std::size_t k) { return (k * 37) % 251; });
  auto denoise = [&] {
    seedRandom(7);
    return call("ulvadern", 1,
                {image, mxArray::scalar(3), mxArray::row({1, 1, 1}), mxArray::scalar(0.3)})[0];
  };
  std::optional<WorkDirectoryAccess> held(std::in_place, "");
  std::atomic<bool> released{false};
  mxArray shared;
  Contender contender([&] {
    const ScopedHostDirectory sameDirectory(dir());
    // A function that touches no file does not wait.
    call("touint", 1, {mxArray::scalar(3)});
    EXPECT_FALSE(released);
    shared = denoise();
    EXPECT_TRUE(released);
  });
  EXPECT_TRUE(contender.awaitWaiting());
  released = true;
  held.reset();
  const std::vector<std::string> messages = contender.finish();
  // The first and only report of the wait (the library may warn of its own).
  const std::string wait =
      "Waiting for another call that uses the work directory \"" + dir() + "\".";
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages[0], wait);
  EXPECT_EQ(std::count(messages.begin(), messages.end(), wait), 1);
  test::expectSameBits(shared, denoise());
}

TEST_F(WorkDirectoryLockTest, AProcessWaitsForAnotherAndTheLockDiesWithItsHolder) {
  const std::string directory = dir();
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t holder = ::fork();
  if (holder == 0) {
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0 || ::flock(fd, LOCK_EX) != 0 || ::write(ready[1], "x", 1) != 1) ::_exit(1);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  char byte = 0;
  const bool holding = ::read(ready[0], &byte, 1) == 1;
  ::close(ready[0]);
  std::vector<std::string> messages;
  if (holding) {
    const ScopedThreadWarnings capture([&](std::string_view text) {
      messages.emplace_back(text);
      ::kill(holder, SIGKILL);
    });
    saveOne("after");  // outside any call: locks for the save alone
  }
  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
  ASSERT_TRUE(holding);
  EXPECT_EQ(messages.size(), 1u);
  EXPECT_TRUE(std::filesystem::exists("after.mat"));
  EXPECT_FALSE(lockedElsewhere(directory));
}

}  // namespace
}  // namespace ulv
