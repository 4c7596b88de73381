#include "host/matfile_layout.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <set>
#include <system_error>

#include "host/errors.hpp"
#include "host/matfile_source.hpp"
#include "host/printable.hpp"

namespace ulv::matfile {

namespace {

using u32 = std::uint32_t;
using u64 = std::uint64_t;

// Data types and array classes, numbered as the format numbers them.
enum : u32 { miINT8 = 1, miINT32 = 5, miUINT32 = 6, miMATRIX = 14, miCOMPRESSED = 15, miUTF8 = 16 };
enum : u32 { kCell = 1, kChar = 4, kDouble = 6, kUint64 = 15 };
constexpr u32 kComplexFlag = 0x0800;

constexpr std::size_t kHeaderBytes = 128;
constexpr u64 kLongestName = 4096;
constexpr int kDeepestCell = 64;
// What one cell element takes in memory (libmatio's variable and pointer,
// the host's array), whatever it holds.
constexpr u64 kCellElementBytes = 256;
constexpr u64 kSaturated = ~u64{0};

u64 times(u64 a, u64 b) {
  u64 product;
  return __builtin_mul_overflow(a, b, &product) ? kSaturated : product;
}

u64 plus(u64 a, u64 b) {
  u64 sum;
  return __builtin_add_overflow(a, b, &sum) ? kSaturated : sum;
}

u32 word(const unsigned char* b, bool bigEndian) {
  return bigEndian ? u32(b[3]) | u32(b[2]) << 8 | u32(b[1]) << 16 | u32(b[0]) << 24
                   : u32(b[0]) | u32(b[1]) << 8 | u32(b[2]) << 16 | u32(b[3]) << 24;
}

// Bytes per element of a stored data type; 0 for types that hold no numbers.
u64 storedWidth(u32 type) {
  switch (type) {
    case 1:   // int8
    case 2:   // uint8
    case 16:  // utf8
      return 1;
    case 3:   // int16
    case 4:   // uint16
    case 17:  // utf16
      return 2;
    case 5:   // int32
    case 6:   // uint32
    case 7:   // single
    case 18:  // utf32
      return 4;
    case 9:   // double
    case 12:  // int64
    case 13:  // uint64
      return 8;
    default:
      return 0;
  }
}

// Bytes per element of a numeric or char class in libmatio's read buffer.
u64 classWidth(u32 cls) {
  static const u64 widths[] = {0, 0, 0, 0, 2, 0, 8, 4, 1, 1, 2, 2, 4, 4, 8, 8};
  return widths[cls];
}

const char* unsupportedClass(u32 cls) {
  switch (cls) {
    case 2:
      return "struct";
    case 3:
      return "object";
    case 5:
      return "sparse";
    case 16:
      return "function_handle";
    case 17:
      return "opaque";
    default:
      return nullptr;
  }
}

std::string byteCount(u64 bytes) {
  if (bytes == kSaturated) return "more than 16 EiB";
  std::string text = std::to_string(bytes) + " bytes";
  if (bytes >= (u64{1} << 20)) {
    char scaled[32];
    std::snprintf(scaled, sizeof scaled, " (%.1f GiB)", double(bytes) / double(u64{1} << 30));
    text += scaled;
  }
  return text;
}

// Thrown inside the check of one variable: what is wrong with it.
struct Damage {
  std::string reason;
};
// The variable is sound but holds what the host cannot read.
struct Unsupported {
  std::string reason;
};

// What the file's variables take in memory so far, against what the machine
// has available (asked once per file, when first needed).
struct MemoryBudget {
  u64 asked = 0;
  std::optional<u64> available;
  u64 limit() {
    if (!available) available = availableMemory();
    return *available;
  }
};

// The check of one variable (a miMATRIX element, possibly nested in cells)
// read from `source`. Every read is bounded by the sizes the enclosing
// elements declare; nothing is allocated from a declared size.
class VariableCheck {
 public:
  VariableCheck(ByteSource& source, bool swap, const std::string& path, MemoryBudget& budget)
      : source_(source), swap_(swap), path_(path), budget_(budget) {}

  // The content of a miMATRIX element of `size` bytes, its tag already read.
  void matrix(u64 size, int depth);
  // The content of a miCOMPRESSED element: one miMATRIX element, inflated.
  void compressed(InflatedRange& inflated);
  const std::string& name() const { return name_; }

 private:
  struct Tag {
    u32 type;
    u64 size;
    bool small;  // the data packed into the tag's second word
    unsigned char packed[4];
  };

  u32 word(const unsigned char* b) const { return matfile::word(b, swap_); }
  void take(void* out, u64 size, u64& left);
  void pass(u64 size, u64& left);
  Tag tag(u64& left);
  void padding(const Tag& t, u64& left);
  void name(u64& left, int depth);
  void numbers(u32 cls, u64 count, const std::string& shape, u64& left);
  void cells(u64 count, u64& left, int depth);
  void ask(u64 bytes);

  ByteSource& source_;
  bool swap_;
  const std::string& path_;
  MemoryBudget& budget_;
  std::string name_;
  u64 asked_ = 0;
};

void VariableCheck::take(void* out, u64 size, u64& left) {
  if (size > left) throw Damage{"its parts run past its end"};
  if (!source_.read(out, size)) throw Damage{source_.failure()};
  left -= size;
}

void VariableCheck::pass(u64 size, u64& left) {
  if (size > left) throw Damage{"its parts run past its end"};
  if (!source_.skip(size)) throw Damage{source_.failure()};
  left -= size;
}

VariableCheck::Tag VariableCheck::tag(u64& left) {
  unsigned char bytes[8];
  take(bytes, sizeof bytes, left);
  const u32 first = word(bytes);
  Tag t{first, word(bytes + 4), false, {}};
  if (first >> 16 != 0) {
    t = Tag{first & 0xffff, first >> 16, true, {}};
    if (t.size > 4) throw Damage{"a packed element claims " + std::to_string(t.size) + " bytes"};
    std::memcpy(t.packed, bytes + 4, 4);
  }
  return t;
}

void VariableCheck::padding(const Tag& t, u64& left) {
  if (!t.small) pass(std::min((8 - t.size % 8) % 8, left), left);
}

void VariableCheck::ask(u64 bytes) {
  asked_ = plus(asked_, bytes);
  budget_.asked = plus(budget_.asked, bytes);
  if (budget_.asked <= budget_.limit()) return;
  std::string total;
  if (budget_.asked != asked_) total = " (" + byteCount(budget_.asked) + " with those before it)";
  hostError("Unable to read file '" + printable(path_) + "': variable '" + printable(name_) +
            "' needs " + byteCount(asked_) + " of memory" + total + ", more than the " +
            byteCount(budget_.limit()) + " available.");
}

void VariableCheck::matrix(u64 size, int depth) {
  u64 left = size;
  if (size == 0) {
    if (depth == 0) throw Damage{"it is empty"};
    return;  // an empty cell element
  }
  if (depth > kDeepestCell) throw Damage{"its cells are nested too deeply"};
  const Tag flagsTag = tag(left);
  if (flagsTag.small || flagsTag.type != miUINT32 || flagsTag.size != 8) {
    throw Damage{"its array flags are garbled"};
  }
  unsigned char flagBytes[8];
  take(flagBytes, sizeof flagBytes, left);
  const u32 flags = word(flagBytes);
  const u32 cls = flags & 0xff;

  const Tag dimsTag = tag(left);
  if (dimsTag.small || dimsTag.type != miINT32 || dimsTag.size < 8 || dimsTag.size % 4 != 0) {
    throw Damage{"its dimensions are garbled"};
  }
  u64 count = 1;
  std::string shape;
  for (u64 k = 0; k < dimsTag.size / 4; ++k) {
    unsigned char dimBytes[4];
    take(dimBytes, sizeof dimBytes, left);
    const auto dim = static_cast<std::int32_t>(word(dimBytes));
    if (dim < 0) throw Damage{"it has a negative dimension"};
    count = times(count, static_cast<u64>(dim));
    if (k < 8) shape += (k == 0 ? "" : "x") + std::to_string(dim);
    if (k == 8) shape += "x...";
  }
  padding(dimsTag, left);
  name(left, depth);

  if (const char* unsupported = unsupportedClass(cls)) {
    throw Unsupported{std::string("variables of class ") + unsupported + " are not supported."};
  }
  if (cls == kCell) {
    cells(count, left, depth);
  } else if (cls == kChar || (cls >= kDouble && cls <= kUint64)) {
    if (flags & kComplexFlag) throw Unsupported{"complex values are not supported."};
    numbers(cls, count, shape, left);
  } else {
    throw Damage{"its class " + std::to_string(cls) + " is unknown"};
  }
  if (left != 0) throw Damage{"it holds " + std::to_string(left) + " bytes beyond its data"};
}

void VariableCheck::name(u64& left, int depth) {
  const Tag t = tag(left);
  if (t.type != miINT8) throw Damage{"its name is garbled"};
  std::string text(reinterpret_cast<const char*>(t.packed), t.small ? t.size : 0);
  if (!t.small) {
    if (t.size > kLongestName)
      throw Damage{"its name is " + std::to_string(t.size) + " bytes long"};
    text.resize(t.size);
    take(text.data(), t.size, left);
    padding(t, left);
  }
  if (depth > 0) return;  // cell elements have no names of their own
  name_ = text;
  if (text.empty()) throw Damage{"it has no name"};
  if (text.find('\0') != std::string::npos) throw Damage{"its name holds a zero byte"};
}

void VariableCheck::numbers(u32 cls, u64 count, const std::string& shape, u64& left) {
  ask(times(count, 8 + classWidth(cls)));  // libmatio's buffer and the host's doubles
  const Tag t = tag(left);
  const u64 width = storedWidth(t.type);
  if (width == 0 || (t.type >= miUTF8 && cls != kChar)) {
    throw Damage{"its data has type " + std::to_string(t.type) + ", which holds no numbers"};
  }
  if (t.type == miUTF8 && t.size != count) {
    throw Unsupported{"multi-byte UTF-8 characters are not supported."};
  }
  const u64 needed = times(count, width);
  if (t.size != needed) {
    throw Damage{"its data holds " + std::to_string(t.size) + " bytes where its size " + shape +
                 " needs " + std::to_string(needed)};
  }
  if (!t.small) pass(t.size, left);
  padding(t, left);
}

void VariableCheck::cells(u64 count, u64& left, int depth) {
  ask(times(count, kCellElementBytes));
  for (u64 k = 0; k < count; ++k) {
    const std::string cell = "cell " + std::to_string(k + 1);
    if (left == 0) {
      throw Damage{std::to_string(k) + " of its " + std::to_string(count) + " cells are stored"};
    }
    const Tag t = tag(left);
    if (t.small || t.type != miMATRIX) throw Damage{cell + " is not an array"};
    if (t.size > left) throw Damage{cell + " runs past the end of the variable"};
    try {
      matrix(t.size, depth + 1);
    } catch (Damage& damage) {
      damage.reason = cell + ": " + damage.reason;
      throw;
    }
    left -= t.size;
  }
}

void VariableCheck::compressed(InflatedRange& inflated) {
  u64 left = 8;
  const Tag t = tag(left);
  if (t.small || t.type != miMATRIX) throw Damage{"its compressed content is not an array"};
  matrix(t.size, 0);
  if (!inflated.atEnd()) {
    throw Damage{inflated.failure().empty() ? "its compressed content holds more than the array"
                                            : inflated.failure()};
  }
}

// ---- the file -------------------------------------------------------------------

[[noreturn]] void unreadable(const std::string& path, const std::string& reason) {
  hostError("Unable to read file '" + printable(path) + "': " + reason + ".");
}

std::string systemReason(int error) {
  return std::error_code(error, std::generic_category()).message();
}

// A level 4 file starts with a matrix header: type code MOPT (M machine,
// O 0, P precision, T matrix type), rows, columns, imaginary flag, name length.
bool looksLikeLevel4(const unsigned char* b, std::size_t size) {
  if (size < 20) return false;
  for (const bool bigEndian : {false, true}) {
    const u32 mopt = word(b, bigEndian);
    const u32 imaginary = word(b + 12, bigEndian);
    const u32 nameLength = word(b + 16, bigEndian);
    if (mopt < 5000 && mopt / 100 % 10 == 0 && mopt / 10 % 10 <= 5 && mopt % 10 <= 2 &&
        imaginary <= 1 && nameLength >= 1 && nameLength <= kLongestName &&
        static_cast<std::int32_t>(word(b + 4, bigEndian)) >= 0 &&
        static_cast<std::int32_t>(word(b + 8, bigEndian)) >= 0) {
      return true;
    }
  }
  return false;
}

// Whether the file's words are big-endian; a host error for anything but a
// level 5 MAT-file.
bool checkHeader(int fd, const std::string& path, u64 size) {
  unsigned char header[kHeaderBytes] = {};
  const std::size_t got = static_cast<std::size_t>(std::min<u64>(size, sizeof header));
  FileRange range(fd, 0, size);
  if (!range.read(header, got)) unreadable(path, range.failure());
  const bool little = header[126] == 'I' && header[127] == 'M';
  const bool big = header[126] == 'M' && header[127] == 'I';
  if (got < sizeof header || (!little && !big)) {
    if (looksLikeLevel4(header, got)) {
      unreadable(path, "a level 4 MAT-file, which is not read (save it as level 5: -v6 or -v7)");
    }
    unreadable(path, "not a MAT-file");
  }
  const unsigned version = big ? header[124] << 8 | header[125] : header[125] << 8 | header[124];
  if (version == 0x0200) {
    unreadable(path, "a MATLAB 7.3 (HDF5) MAT-file, which is not read (save it with -v7 or -v6)");
  }
  if (version != 0x0100) unreadable(path, "not a level 5 MAT-file");
  return big;
}

// Checks one variable; host errors name it, or its position while its name
// is not known yet.
template <typename Check>
std::string checkVariable(const std::string& path, u64 position, VariableCheck& variable,
                          Check check) {
  try {
    check();
  } catch (const Damage& damage) {
    const std::string which = variable.name().empty()
                                  ? "the variable at byte " + std::to_string(position)
                                  : "variable '" + printable(variable.name()) + "'";
    unreadable(path, which + " is damaged (" + printable(damage.reason) + ")");
  } catch (const Unsupported& unsupported) {
    hostError("Unable to read variable '" + printable(variable.name()) + "' from file '" +
              printable(path) + "': " + unsupported.reason);
  }
  return variable.name();
}

}  // namespace

unsigned long long availableMemory() {
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  unsigned long long kib = 0;
  while (meminfo >> key >> kib) {
    if (key == "MemAvailable:") return kib * 1024;
    meminfo.ignore(64, '\n');
  }
  return static_cast<unsigned long long>(sysconf(_SC_AVPHYS_PAGES)) *
         static_cast<unsigned long long>(sysconf(_SC_PAGESIZE));
}

std::vector<std::string> checkedVariableNames(int fd, const std::string& path) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) unreadable(path, systemReason(errno));
  if (S_ISDIR(info.st_mode)) unreadable(path, systemReason(EISDIR));
  const u64 end = static_cast<u64>(info.st_size);
  const bool swap = checkHeader(fd, path, end);

  MemoryBudget budget;
  std::vector<std::string> names;
  std::set<std::string> seen;
  for (u64 position = kHeaderBytes; position < end;) {
    unsigned char tagBytes[8];
    FileRange tagRange(fd, position, end);
    if (!tagRange.read(tagBytes, sizeof tagBytes))
      unreadable(path, "the file is truncated or damaged");
    const u32 type = word(tagBytes, swap);
    const u64 size = word(tagBytes + 4, swap);
    const u64 begin = position + 8;
    FileRange content(fd, begin, std::min(end, begin + size));
    if (type == miMATRIX) {
      VariableCheck variable(content, swap, path, budget);
      names.push_back(checkVariable(path, position, variable, [&] { variable.matrix(size, 0); }));
      position = begin + size + (8 - size % 8) % 8;
    } else if (type == miCOMPRESSED) {
      InflatedRange inflated(content);
      VariableCheck variable(inflated, swap, path, budget);
      names.push_back(
          checkVariable(path, position, variable, [&] { variable.compressed(inflated); }));
      position = begin + size;
    } else {
      unreadable(path, "the file is truncated or damaged (no variable at byte " +
                           std::to_string(position) + ")");
    }
    if (!seen.insert(names.back()).second) {
      unreadable(path, "it holds variable '" + printable(names.back()) + "' twice");
    }
  }
  return names;
}

}  // namespace ulv::matfile
