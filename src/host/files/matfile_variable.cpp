#include "host/files/matfile_variable.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "host/runtime/printable.hpp"
#include "ulvadern/errors.hpp"

namespace ulv::matfile {

namespace {

// Data types and array classes, numbered as the format numbers them.
enum : u32 { miINT8 = 1, miINT32 = 5, miUINT32 = 6, miUTF8 = 16 };
enum : u32 { kCell = 1, kChar = 4, kDouble = 6, kUint64 = 15 };
constexpr u32 kComplexFlag = 0x0800;

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

}  // namespace

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
    if (k > 0 && k <= 8) shape.push_back('x');
    if (k < 8) shape.append(std::to_string(dim));
    if (k == 8) shape.append("...");
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
  if (text.empty()) throw Damage{"it has no name"};
  // Variable names are ASCII words; anything else is a garbled header (and
  // could not be handed on as text).
  const auto word = [](unsigned char c) { return c > 0x20 && c < 0x7f; };
  if (!std::all_of(text.begin(), text.end(), word)) {
    throw Damage{"its name '" + text + "' is not a variable name"};
  }
  name_ = text;
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

}  // namespace ulv::matfile
