// Tasks of one call run side by side leave what running them in task order
// leaves: each sees its own files, the last one's content stays, warnings
// come in task order, and the first failure in task order wins.
#include "host/loader/call_tasks.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "host/files/matfile.hpp"
#include "support/test_support.hpp"
#include "ulvadern/errors.hpp"
#include "ulvadern/random.hpp"
#include "ulvadern/work_directory_store.hpp"

namespace ulv {
namespace {

using test::hostErrorOf;

mxArray text(const char* s) {
  return mxArray::string(s);
}

void saveSample(double value) {
  const mxArray v = mxArray::scalar(value);
  mlfSave(text("minimiza"), text("w"), {{"vv", &v}});
}

double loadSample() {
  mxArray v;
  mclLoadConditional(text("minimiza"), {{"vv", &v}});
  return v.scalarValue();
}

// Saves `first`, lets the other tasks save theirs, then reads its own back.
std::function<void()> ownSample(double first, double last, std::vector<double>& seen) {
  return [first, last, &seen] {
    saveSample(first);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    seen.push_back(loadSample());
    saveSample(last);
  };
}

class CallTasksTest : public ::testing::Test {
 protected:
  test::ScopedWorkDir folder_;
  std::vector<std::string> warnings_;
  ScopedThreadWarnings capture_{[this](std::string_view text) { warnings_.emplace_back(text); }};
};

TEST_F(CallTasksTest, EachTaskSeesItsOwnFilesAndTheLastOneInTaskOrderStays) {
  for (const bool inMemory : {false, true}) {
    SCOPED_TRACE(inMemory ? "in memory" : "on disk");
    std::filesystem::remove("minimiza.mat");
    std::optional<ScopedMemoryWorkDirectory> memory;
    if (inMemory) memory.emplace();
    std::vector<double> first, second;
    runTasksInOrder({ownSample(1, 2, first), ownSample(3, 4, second)}, 1);
    EXPECT_EQ(first, std::vector<double>{1});
    EXPECT_EQ(second, std::vector<double>{3});
    EXPECT_EQ(loadSample(), 4);
    EXPECT_EQ(std::filesystem::exists("minimiza.mat"), !inMemory);
  }
}

TEST_F(CallTasksTest, WarningsComeInTaskOrderAndTheFirstFailureWins) {
  saveSample(0);
  const auto failing = [](const char* warning, const char* error, double sample) {
    return [=] {
      hostWarning(warning);
      saveSample(sample);
      if (error != nullptr) hostError(error);
    };
  };
  const std::string error = hostErrorOf([&] {
    runTasksInOrder({failing("a", nullptr, 1), failing("b", "second failed", 2),
                     failing("c", "third failed", 3)},
                    1);
  });
  EXPECT_EQ(error, "second failed");
  EXPECT_EQ(warnings_, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(loadSample(), 2);  // as far as a run in order got
}

TEST_F(CallTasksTest, ATaskOnAThreadOfItsOwnCannotDrawRandomNumbers) {
  const std::string error = hostErrorOf([] {
    runTasksInOrder({[] {}, [] { mlfNRand({mxArray::scalar(2)}); }}, 1);
  });
  EXPECT_NE(error, "");
}

}  // namespace
}  // namespace ulv
