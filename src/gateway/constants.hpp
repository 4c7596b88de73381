// The constant arrays of one function's module: built in order by the
// module's initialiser, read-only for its body, released in reverse order by
// its terminator.
//
// A module lists its constants in one table of (enumerator, name, builder)
// entries in creation order; the body reads them by enumerator, and a
// compile-time check keeps every entry at the position its enumerator names.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ulvadern/array.hpp"

namespace ulv {

struct ConstantEntry {
  std::size_t id;
  const char* name;
  mxArray (*build)();
};

// Whether entry i of a table is the constant with enumerator i.
constexpr bool inEnumeratorOrder(std::span<const ConstantEntry> table) {
  for (std::size_t i = 0; i < table.size(); ++i) {
    if (table[i].id != i) return false;
  }
  return true;
}

class ModuleConstants {
 public:
  ModuleConstants(std::string_view module, std::span<const ConstantEntry> table)
      : module_(module), table_(table) {}

  // Builds every constant of the table, in its order.
  void buildAll();
  void releaseAll();

  // Constant i (0-based, in creation order); a host error before initialisation.
  const mxArray& operator[](std::size_t i) const;
  // The constant called `name`; a host error for a name the module lacks.
  const mxArray& named(std::string_view name) const;
  std::size_t built() const { return slots_.size(); }
  std::size_t declared() const { return table_.size(); }
  std::span<const ConstantEntry> table() const { return table_; }

 private:
  std::string_view module_;
  std::span<const ConstantEntry> table_;
  std::vector<mxArray*> slots_;
};

// "Run-time Error: File: NAME Line: 1 Column: 1 The function "NAME" was called
// with more than the declared number of outputs (N)." (or inputs).
std::string countErrorMessage(std::string_view function, std::string_view what, int declared);

}  // namespace ulv
