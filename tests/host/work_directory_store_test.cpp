// The work directory's in-memory store against the files it stands for: what
// a load gives, the errors, where files still reach the disk, and the lock.
#include "ulvadern/work_directory_store.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "host/files/matfile.hpp"
#include "support/test_support.hpp"
#include "ulvadern/work_directory_lock.hpp"

namespace ulv {
namespace {

namespace fs = std::filesystem;
using test::hostErrorOf;
using test::lockedElsewhere;
using Variables = std::vector<std::pair<std::string, mxArray>>;

mxArray text(const char* s) {
  return mxArray::string(s);
}

void save(const char* file, const Variables& variables) {
  std::vector<std::pair<std::string, const mxArray*>> refs;
  for (const auto& [name, value] : variables) refs.emplace_back(name, &value);
  mlfSave(text(file), text("w"), refs);
}

// Every target as a conditional load leaves it: absent ones stay placeholders.
Variables loadNamed(const char* file, const std::vector<std::string>& names) {
  Variables loaded;
  for (const std::string& name : names) loaded.emplace_back(name, mxArray());
  std::vector<std::pair<std::string, mxArray*>> targets;
  for (auto& [name, value] : loaded) targets.emplace_back(name, &value);
  mclLoadConditional(text(file), targets);
  return loaded;
}

void expectIdentical(const mxArray& expected, const mxArray& actual) {
  ASSERT_EQ(expected.classID(), actual.classID());
  ASSERT_EQ(expected.dims(), actual.dims());
  if (!expected.isEmpty() && !expected.isCell()) {
    EXPECT_EQ(0, std::memcmp(expected.data(), actual.data(), expected.numel() * sizeof(double)));
  }
}

const Variables& everyStorableClass() {
  static const Variables variables = {
      {"vv", test::generate({1000, 1}, [](std::size_t k) { return std::sin(k * 0.1); })},
      {"special", mxArray::row({NAN, INFINITY, -0.0, 1e-310})},
      {"bytes", mxArray::fromVector({2, 2}, {0, 1, 254, 255}, mxUINT8_CLASS)},
      {"truth", mxArray::fromVector({1, 3}, {1, 0, 1}, mxLOGICAL_CLASS)},
      {"wide", mclInitializeString(3, u"a\u263Az")},
      {"noRows", mxArray::zeros({0, 3})},
      {"emptyCube", mxArray::zeros({3, 0, 2})},
      {"cube", test::generate({3, 4, 2}, [](std::size_t k) { return k - 7.5; })},
  };
  return variables;
}

std::vector<std::string> namesOf(const Variables& variables) {
  std::vector<std::string> names;
  for (const auto& variable : variables) names.push_back(variable.first);
  names.emplace_back("absent");
  return names;
}

class WorkDirectoryStoreTest : public ::testing::Test {
 protected:
  test::ScopedWorkDir folder_;
  bool onDisk(const char* file) const { return fs::exists(folder_.path() / file); }
};

TEST_F(WorkDirectoryStoreTest, LoadsGiveWhatTheFileGivesWithoutTouchingTheDisk) {
  const Variables& variables = everyStorableClass();
  save("fromfile", variables);
  const Variables fromFile = loadNamed("fromfile", namesOf(variables));
  const ScopedMemoryWorkDirectory memory;
  save("minimiza", variables);
  EXPECT_FALSE(onDisk("minimiza.mat"));
  const Variables fromMemory = loadNamed("minimiza", namesOf(variables));
  ASSERT_EQ(fromMemory.size(), fromFile.size());
  for (std::size_t k = 0; k < fromFile.size(); ++k) {
    SCOPED_TRACE(fromFile[k].first);
    expectIdentical(fromFile[k].second, fromMemory[k].second);
  }
  // The same storage: neither serialised nor copied.
  EXPECT_TRUE(fromMemory[0].second.sharesStorageWith(variables[0].second));
  const auto all = loadAllVariables("minimiza.mat");
  ASSERT_EQ(all.size(), variables.size());
  for (std::size_t k = 0; k < all.size(); ++k) {
    EXPECT_EQ(all[k].first, variables[k].first);
    expectIdentical(variables[k].second, all[k].second);
  }
  // A file saved before the store was on is still read from the disk.
  expectIdentical(variables[0].second, loadNamed("fromfile", {"vv"})[0].second);
}

TEST_F(WorkDirectoryStoreTest, ErrorsAreTheFilesOwn) {
  const mxArray value = mxArray::scalar(1), unassigned;
  const auto errorsOf = [&] {
    return std::vector<std::string>{
        hostErrorOf([] { loadNamed("nothere", {"vv"}); }),
        hostErrorOf([] { loadAllVariables("nothere"); }),
        hostErrorOf([&] {
          mlfSave(text("bad"), text("w"), {{"1x", &value}});
        }),
        hostErrorOf([&] {
          mlfSave(text("bad"), text("w"), {{"x", &value}, {"x", &value}});
        }),
        hostErrorOf([&] {
          mlfSave(text("bad"), text("w"), {{"x", &unassigned}});
        }),
        hostErrorOf([&] {
          mlfSave(text("bad"), text("a"), {{"x", &value}});
        }),
    };
  };
  const std::vector<std::string> onDiskErrors = errorsOf();
  const ScopedMemoryWorkDirectory memory;
  const std::vector<std::string> inMemoryErrors = errorsOf();
  EXPECT_EQ(inMemoryErrors, onDiskErrors);
  for (const std::string& error : inMemoryErrors) EXPECT_NE(error, "");
  // A failed save leaves what the store held.
  save("bad", {{"x", value}});
  EXPECT_NE(hostErrorOf([&] { mlfSave(text("bad"), text("w"), {{"1x", &value}}); }), "");
  expectIdentical(value, loadNamed("bad", {"x"})[0].second);
}

TEST_F(WorkDirectoryStoreTest, FilesReachTheDiskOutsideTheStoresReach) {
  const mxArray value = mxArray::scalar(3);
  fs::create_directory("sub");
  mxArray cell = mxArray::cell({1, 1});
  cell.mutableCell(0) = mxArray::empty();
  {
    const ScopedMemoryWorkDirectory memory({"mascaras"});
    save("kept", {{"v", value}});
    save("sub/minimiza", {{"v", value}});  // another directory
    save("cells", {{"v", value}});         // first in memory ...
    save("cells", {{"c", cell}});          // ... then a cell, which the file stores its way
    save("mascaras", {{"maskh", value}});  // unread: checked, then dropped
    EXPECT_NE(hostErrorOf([] { loadNamed("mascaras", {"maskh"}); }), "");
    EXPECT_TRUE(loadNamed("cells", {"v"})[0].second.isPlaceholder());
    {
      // Another host directory is another work directory.
      const ScopedHostDirectory elsewhere((folder_.path() / "sub").string());
      save("other", {{"v", value}});
    }
    EXPECT_FALSE(onDisk("kept.mat"));
  }
  EXPECT_TRUE(onDisk("sub/minimiza.mat"));
  EXPECT_TRUE(onDisk("cells.mat"));
  EXPECT_TRUE(onDisk("sub/other.mat"));
  EXPECT_FALSE(onDisk("mascaras.mat"));
  // Gone with the scope.
  EXPECT_NE(hostErrorOf([] { loadNamed("kept", {"v"}); }), "");
}

TEST_F(WorkDirectoryStoreTest, AHostDirectorysFilesAreServedByTheirFullPath) {
  const mxArray value = mxArray::scalar(5);
  const std::string directory = folder_.path().string();
  const ScopedHostDirectory host(directory);
  const ScopedMemoryWorkDirectory memory;
  save("mascaras", {{"maskh", value}});
  EXPECT_FALSE(onDisk("mascaras.mat"));
  expectIdentical(value, loadAllVariables(directory + "/mascaras.mat").at(0).second);
}

TEST_F(WorkDirectoryStoreTest, SavesAndLoadsInMemoryStillHoldTheDirectorysLock) {
  const ScopedMemoryWorkDirectory memory;
  {
    const WorkDirectoryCall call;
    save("minimiza", {{"v", mxArray::scalar(1)}});
    EXPECT_TRUE(lockedElsewhere(folder_.path().string()));
    loadNamed("minimiza", {"v"});
    EXPECT_TRUE(lockedElsewhere(folder_.path().string()));
  }
  EXPECT_FALSE(lockedElsewhere(folder_.path().string()));
}

}  // namespace
}  // namespace ulv
