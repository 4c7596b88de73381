// The check of one variable of a MAT-file (internal to the structure check
// of matfile_layout.hpp).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/files/matfile_layout.hpp"
#include "host/files/matfile_source.hpp"

namespace ulv::matfile {

using u32 = std::uint32_t;
using u64 = std::uint64_t;

// The element types that hold variables, numbered as the format numbers them.
enum : u32 { miMATRIX = 14, miCOMPRESSED = 15 };

// A 32-bit word of the file, in its byte order.
inline u32 word(const unsigned char* b, bool bigEndian) {
  return bigEndian ? u32(b[3]) | u32(b[2]) << 8 | u32(b[1]) << 16 | u32(b[0]) << 24
                   : u32(b[0]) | u32(b[1]) << 8 | u32(b[2]) << 16 | u32(b[3]) << 24;
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

}  // namespace ulv::matfile
