// MAT-files that the tool reads, damaged or holding what the library cannot
// use: a clear error each, never a result made of whatever memory held.
#include <gmock/gmock.h>

#include <fstream>

#include "cli_support.hpp"
#include "host/files/matfile.hpp"

namespace ulvcli::test {
namespace {

using ::testing::HasSubstr;

class MatReads : public CliTest {
 protected:
  // The bytes of a file holding `name` = `value`, as the host writes it.
  std::string savedBytes(const std::string& name, const ulv::mxArray& value) const {
    ulv::saveVariables((dir() / "saved.mat").string(), {{name, value}});
    return fileBytes(dir() / "saved.mat");
  }
  void writeBytes(const std::string& file, const std::string& bytes) const {
    std::ofstream(dir() / file, std::ios::binary) << bytes;
  }
};

// The size element of a 1x1 array: miINT32, 8 bytes, 1, 1.
const std::string kOneByOne("\5\0\0\0\x8\0\0\0\1\0\0\0\1\0\0\0", 16);

TEST_F(MatReads, ASizeThatClaimsMoreThanIsStoredIsRefused) {
  std::string bytes = savedBytes("x", ulv::mxArray::scalar(7));
  const std::size_t dims = bytes.find(kOneByOne);
  ASSERT_NE(dims, std::string::npos);
  bytes[dims + 12] = 100;  // 1x100, one element stored
  writeBytes("damaged.mat", bytes);
  const CliRun r = run({"call", "touint", "damaged.mat"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_THAT(r.err, HasSubstr("Unable to read file 'damaged.mat': variable 'x' is damaged (its "
                               "data holds 8 bytes where its size 1x100 needs 800)."));
  EXPECT_EQ(r.out, "");

  // A name that would clear the terminal reaches it escaped.
  bytes[bytes.find(std::string("x\0\0\0", 4), dims)] = '\x1b';
  writeBytes("damaged.mat", bytes);
  EXPECT_THAT(run({"call", "touint", "damaged.mat"}).err,
              HasSubstr("the variable at byte 128 is damaged (its name '\\x1b' is not a "
                        "variable name)"));
}

TEST_F(MatReads, TheSampleOfGaussfitMustBeNumbers) {
  fs::create_directory(dir() / "work");
  ulv::saveVariables((dir() / "work" / "minimiza.mat").string(),
                     {{"vv", ulv::mxArray::string("0.5 0.25")}});
  const CliRun text = run({"call", "gaussfit", "0.1", "0.6", "0.5", "--workdir", "work"});
  EXPECT_EQ(text.exitCode, 1);
  EXPECT_THAT(text.err, HasSubstr("The sample \"vv\" in minimiza.mat is text, not numbers."));

  writeBytes("work/minimiza.mat", "");  // what a full disk once left behind
  const CliRun empty = run({"call", "gaussfit", "0.1", "0.6", "0.5", "--workdir", "work"});
  EXPECT_EQ(empty.exitCode, 1);
  EXPECT_THAT(empty.err, HasSubstr("Unable to read file 'minimiza.mat': the file is empty."));
}

}  // namespace
}  // namespace ulvcli::test
