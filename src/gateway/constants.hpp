// The constant arrays of one function's module: built in order by the
// module's initialiser, read-only for its body, released in reverse order by
// its terminator.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "ulvadern/array.hpp"

namespace ulv {

class ModuleConstants {
 public:
  ModuleConstants(std::string_view module, std::size_t count) : module_(module), count_(count) {}

  void add(mxArray value);
  void releaseAll();

  // Constant i (0-based, in creation order); a host error before initialisation.
  const mxArray& operator[](std::size_t i) const;
  std::size_t built() const { return slots_.size(); }
  std::size_t declared() const { return count_; }

 private:
  std::string_view module_;
  std::size_t count_;
  std::vector<mxArray*> slots_;
};

// "Run-time Error: File: NAME Line: 1 Column: 1 The function "NAME" was called
// with more than the declared number of outputs (N)." (or inputs).
std::string countErrorMessage(std::string_view function, std::string_view what, int declared);

}  // namespace ulv
