// The removal the signal handler uses: whole folders, links not followed.
#include <gtest/gtest.h>

#include <fstream>

#include "cli_support.hpp"
#include "fatal_signals.hpp"

namespace ulvcli::test {
namespace {

class RemoveTree : public CliTest {};

TEST_F(RemoveTree, RemovesNestedFoldersAndFilesButNotWhatLinksPointTo) {
  const fs::path work = dir() / "work";
  fs::create_directories(work / "ulvadern-worker-1" / "deeper");
  fs::create_directories(dir() / "kept");
  std::ofstream(dir() / "kept" / "data.mat") << "keep";
  std::ofstream(work / "minimiza.mat") << "x";
  std::ofstream(work / "ulvadern-worker-1" / "mascaras.mat") << "x";
  for (int k = 0; k < 300; ++k) {  // more names than one read of the folder returns
    std::ofstream(work / "ulvadern-worker-1" / "deeper" / ("file-" + std::to_string(k))) << k;
  }
  fs::create_directory_symlink(dir() / "kept", work / "link");

  EXPECT_TRUE(removeTree(work.c_str()));
  EXPECT_FALSE(fs::exists(work));
  EXPECT_EQ(fileBytes(dir() / "kept" / "data.mat"), "keep");
  EXPECT_TRUE(removeTree((dir() / "missing").c_str()));
  std::ofstream(dir() / "file") << "x";
  EXPECT_TRUE(removeTree((dir() / "file").c_str()));
  EXPECT_FALSE(fs::exists(dir() / "file"));
}

}  // namespace
}  // namespace ulvcli::test
