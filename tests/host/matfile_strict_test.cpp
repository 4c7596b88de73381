// MAT-files that are damaged, crafted or of an unread kind: every one is
// refused with a message that says what is wrong, before anything is
// allocated from the sizes it declares.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "host/files/matfile.hpp"
#include "host/runtime/printable.hpp"
#include "support/test_support.hpp"

namespace ulv {
namespace {

using test::hostErrorOf;

// Level 5 MAT-file bytes, element by element, in either byte order.
struct Mat5 {
  bool bigEndian = false;

  std::string word(std::uint32_t v) const {
    std::string b(4, '\0');
    for (int k = 0; k < 4; ++k) b[bigEndian ? 3 - k : k] = static_cast<char>(v >> (8 * k));
    return b;
  }
  std::string half(std::uint16_t v) const {
    const char low = static_cast<char>(v), high = static_cast<char>(v >> 8);
    return bigEndian ? std::string{high, low} : std::string{low, high};
  }
  std::string element(std::uint32_t type, const std::string& data) const {
    return word(type) + word(static_cast<std::uint32_t>(data.size())) + data +
           std::string((8 - data.size() % 8) % 8, '\0');
  }
  std::string doubles(const std::vector<double>& values) const {
    std::string data;
    for (double v : values) {
      std::uint64_t bits;
      std::memcpy(&bits, &v, sizeof v);
      data += bigEndian ? word(bits >> 32) + word(static_cast<std::uint32_t>(bits))
                        : word(static_cast<std::uint32_t>(bits)) + word(bits >> 32);
    }
    return element(9, data);
  }
  // A miMATRIX element: flags, dimensions, name, then `content` as given.
  std::string matrix(const std::string& name, const std::vector<std::int32_t>& dims,
                     std::uint32_t cls, const std::string& content, std::uint32_t flags = 0) const {
    std::string size;
    for (std::int32_t d : dims) size += word(static_cast<std::uint32_t>(d));
    return element(14, element(6, word(cls | flags) + word(0)) + element(5, size) +
                           element(1, name) + content);
  }
  std::string compressed(const std::string& element) const {
    uLongf size = compressBound(element.size());
    std::string packed(size, '\0');
    compress(reinterpret_cast<Bytef*>(packed.data()), &size,
             reinterpret_cast<const Bytef*>(element.data()), element.size());
    packed.resize(size);
    return word(15) + word(static_cast<std::uint32_t>(size)) + packed;
  }
  std::string file(const std::string& elements) const {
    std::string header = std::string("MATLAB 5.0 MAT-file, made by a test").append(80, ' ');
    header.resize(116, ' ');
    header.append(8, '\0');
    header += bigEndian ? std::string("\x01\x00MI", 4) : std::string("\x00\x01IM", 4);
    return header + elements;
  }
};

class MatFileStrictTest : public ::testing::Test {
 protected:
  // The error of loading a file with these bytes.
  static std::string loadError(const std::string& bytes) {
    std::ofstream("crafted.mat", std::ios::binary) << bytes;
    return hostErrorOf([] { loadAllVariables("crafted.mat"); });
  }
  static std::string damaged(const std::string& what) {
    return "Unable to read file 'crafted.mat': " + what + ".";
  }
  test::ScopedWorkDir folder_;
  Mat5 mat_;
};

TEST_F(MatFileStrictTest, StoredDataMustMatchTheSizeCompressedOrNot) {
  const Mat5& m = mat_;
  const std::string missing = m.matrix("x", {100, 100}, 6, m.doubles({7}));
  const std::string extra = m.matrix("x", {1, 1}, 6, m.doubles({1, 2}));
  const std::string bytesAsDouble = m.matrix("x", {1, 3}, 6, m.element(2, "\x01\x02"));
  for (const bool packed : {false, true}) {
    SCOPED_TRACE(packed ? "compressed" : "uncompressed");
    auto file = [&](const std::string& e) { return m.file(packed ? m.compressed(e) : e); };
    EXPECT_EQ(loadError(file(missing)),
              damaged("variable 'x' is damaged (its data holds 8 bytes where its size 100x100 "
                      "needs 80000)"));
    EXPECT_EQ(loadError(file(extra)),
              damaged("variable 'x' is damaged (its data holds 16 bytes where its size 1x1 "
                      "needs 8)"));
    EXPECT_EQ(loadError(file(bytesAsDouble)),
              damaged("variable 'x' is damaged (its data holds 2 bytes where its size 1x3 "
                      "needs 3)"));
  }
  // A cut file: the variable runs past the end.
  const std::string whole = m.file(m.matrix("vv", {1, 1000}, 6, m.doubles(std::vector(1000, 0.5))));
  EXPECT_EQ(loadError(whole.substr(0, whole.size() - 100)),
            damaged("variable 'vv' is damaged (the file ends inside it)"));
  const std::string packed = m.file(m.compressed(m.matrix("vv", {1, 3}, 6, m.doubles({1, 2, 3}))));
  EXPECT_EQ(loadError(packed.substr(0, packed.size() - 4)),
            damaged("variable 'vv' is damaged (its compressed data is cut short)"));
  std::string overlong = packed;  // the stream is whole, the tag claims more
  overlong[128 + 4] += 8;
  EXPECT_EQ(loadError(overlong), damaged("variable 'vv' is damaged (the file ends inside it)"));
  std::string corrupt = packed;
  corrupt[corrupt.size() - 20] ^= 0x55;
  EXPECT_NE(loadError(corrupt).find("its compressed data is corrupt"), std::string::npos);
}

TEST_F(MatFileStrictTest, GarbledStructureSaysWhatIsWrong) {
  const Mat5& m = mat_;
  const std::string one = m.doubles({1});
  const std::string flagsAsDims = m.element(14, m.element(5, m.word(6) + m.word(0)));
  const std::string cells = m.matrix("c", {1, 3}, 1, m.matrix("", {1, 1}, 6, one));
  const struct {
    std::string file;
    std::string message;
  } cases[] = {
      {m.file(flagsAsDims), "the variable at byte 128 is damaged (its array flags are garbled)"},
      {m.file(m.matrix("x", {1, -1}, 6, one)),
       "the variable at byte 128 is damaged (it has a negative dimension)"},
      {m.file(m.matrix("", {1, 1}, 6, one)),
       "the variable at byte 128 is damaged (it has no name)"},
      {m.file(m.matrix("x", {1, 1}, 42, one)), "variable 'x' is damaged (its class 42 is unknown)"},
      {m.file(m.matrix("x", {1, 1}, 6, m.element(99, "12345678"))),
       "variable 'x' is damaged (its data has type 99, which holds no numbers)"},
      {m.file(cells), "variable 'c' is damaged (1 of its 3 cells are stored)"},
      {m.file(m.matrix("c", {1, 1}, 1, m.matrix("", {1, 2}, 6, one))),
       "variable 'c' is damaged (cell 1: its data holds 8 bytes where its size 1x2 needs 16)"},
      {m.file(m.matrix("x", {1, 1}, 6, one + one)),
       "variable 'x' is damaged (it holds 16 bytes beyond its data)"},
      {m.file(m.matrix("x", {1, 1}, 6, one) + m.matrix("x", {1, 1}, 6, one)),
       "it holds variable 'x' twice"},
      {m.file(m.element(9, "12345678")),
       "the file is truncated or damaged (no variable at byte 128)"},
      {std::string(4096, 'Z'), "not a MAT-file"},
      {"", "the file is empty"},
      {mat_.file("").substr(0, 100), "the file is truncated inside its header"},
  };
  for (const auto& c : cases) EXPECT_EQ(loadError(c.file), damaged(c.message));
}

TEST_F(MatFileStrictTest, OtherKindsOfMatFileAreNamed) {
  // Level 4: a 20-byte matrix header (little-endian doubles, 1x1, name "x").
  const std::string level4 = mat_.word(0) + mat_.word(1) + mat_.word(1) + mat_.word(0) +
                             mat_.word(2) + std::string("x\0", 2) + std::string(8, '\0');
  EXPECT_EQ(loadError(level4),
            damaged("a level 4 MAT-file, which is not read (save it as level 5: -v6 or -v7)"));
  std::string hdf5 = mat_.file("");
  hdf5[124] = 0;
  hdf5[125] = 2;
  EXPECT_EQ(loadError(hdf5),
            damaged("a MATLAB 7.3 (HDF5) MAT-file, which is not read (save it with -v7 or -v6)"));
  const std::string complexValue =
      mat_.matrix("z", {1, 1}, 6, mat_.doubles({1}) + mat_.doubles({2}), 0x800);
  EXPECT_EQ(loadError(mat_.file(complexValue)),
            "Unable to read variable 'z' from file 'crafted.mat': complex values are not "
            "supported.");
}

bool startsWith(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
}

// A few hundred bytes may not ask for terabytes: the sizes are refused before
// libmatio allocates or inflates anything (under the sanitizers an allocation
// that large would abort the test).
TEST_F(MatFileStrictTest, DeclaredSizesAreWeighedAgainstMemoryBeforeAnythingIsAllocated) {
  const Mat5& m = mat_;
  const std::int32_t most = 0x7fffffff;
  const std::string small = m.matrix("a", {1, 1}, 6, m.doubles({1}));
  const struct {
    std::string file;
    std::string start;
  } cases[] = {
      {m.file(m.compressed(m.matrix("big", {most, most}, 6, m.doubles({})))),
       "variable 'big' needs more than 16 EiB of memory, more than the "},
      {m.file(m.matrix("big", {most, 1000}, 9, m.element(2, ""))),
       "variable 'big' needs 19327352823000 bytes (18000.0 GiB) of memory, more than the "},
      {m.file(small + m.compressed(m.matrix("cells", {most, 100}, 1, ""))),
       "variable 'cells' needs 54975581363200 bytes (51200.0 GiB) of memory (54975581363216 "
       "bytes (51200.0 GiB) with those before it), more than the "},
  };
  for (const auto& c : cases) {
    EXPECT_LT(c.file.size(), 400u);
    const std::string error = loadError(c.file);
    EXPECT_TRUE(startsWith(error, "Unable to read file 'crafted.mat': " + c.start)) << error;
    EXPECT_EQ(error.substr(error.size() - 11), " available.") << error;
  }
}

// Bytes from a file reach a terminal only escaped.
TEST_F(MatFileStrictTest, NamesFromTheFileArePrintedEscaped) {
  const std::string name = "\x1b[2J\x07";
  EXPECT_EQ(printable(name + "\\ok\xe9"), "\\x1b[2J\\x07\\ok\\xe9");
  EXPECT_EQ(loadError(mat_.file(mat_.matrix(name, {1, 1}, 6, mat_.doubles({1})))),
            damaged("the variable at byte 128 is damaged (its name '\\x1b[2J\\x07' is not a "
                    "variable name)"));
  EXPECT_EQ(loadError(mat_.file(mat_.matrix("x\xff", {1, 1}, 6, mat_.doubles({1})))),
            damaged("the variable at byte 128 is damaged (its name 'x\\xff' is not a variable "
                    "name)"));
}

// The check must pass every sound file: both byte orders, compressed or not,
// packed small elements, cells and text.
TEST_F(MatFileStrictTest, SoundFilesOfEitherByteOrderLoadAsStored) {
  for (const bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    const Mat5 m{big};
    const std::string bytes = m.element(2, "\x05\xff");  // uint8, stored whole
    const std::string packedText = m.word(4 << 16 | 4) + m.half('a') + m.half('b');  // packed
    const std::string cell =
        m.matrix("c", {1, 2}, 1, m.matrix("", {2, 1}, 6, m.doubles({0.5, -2})) + m.element(14, ""));
    std::ofstream("sound.mat", std::ios::binary)
        << m.file(m.matrix("x", {1, 3}, 6, m.doubles({1, 2.5, -3})) +
                  m.compressed(m.matrix("u", {2, 1}, 9, bytes)) + cell +
                  m.matrix("s", {1, 2}, 4, packedText));
    const auto loaded = loadAllVariables("sound.mat");
    ASSERT_EQ(loaded.size(), 4u);
    test::expectSameBits(loaded[0].second, mxArray::row({1, 2.5, -3}));
    test::expectSameBits(loaded[1].second, mxArray::fromVector({2, 1}, {5, 255}, mxUINT8_CLASS));
    ASSERT_TRUE(loaded[2].second.isCell());
    test::expectSameBits(loaded[2].second.cellAt(0), mxArray::fromVector({2, 1}, {0.5, -2}));
    EXPECT_TRUE(loaded[2].second.cellAt(1).isEmpty());
    EXPECT_EQ(loaded[3].second.toString(), "ab");
  }
}

}  // namespace
}  // namespace ulv
