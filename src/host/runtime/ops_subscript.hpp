// Subscripts of indexed reference and assignment (internal to the runtime).
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "ulvadern/array.hpp"

namespace ulv::ops {

struct Subscript {
  bool colon = false;                  // every position of the extent
  std::vector<std::size_t> positions;  // 0-based, in the index's order
  Dims shape;                          // shape of the index array (linear indexing)
  std::size_t required = 0;            // extent needed: largest position + 1
};

// Reads one index array: the colon, a logical mask or whole numbers >= 1.
Subscript parseSubscript(const mxArray& index);
// Gives a colon its positions 0..extent-1.
void settleExtent(Subscript& s, std::size_t extent);
// "Index exceeds matrix dimensions." when a position lies beyond the extent.
void requireWithin(const Subscript& s, std::size_t extent);

// The sizes that n subscripts address: dimensions beyond the n-th fold into
// the last one; missing ones are 1.
Dims foldDims(const Dims& dims, std::size_t n);

// The format of mlfIndexRef / mlfIndexAssign: "(?)", "(?,?)", ... or "{?}".
struct IndexFormat {
  bool cellContents;
};
IndexFormat parseIndexFormat(std::string_view format, std::size_t given);
// The subscripts as a list; a missing (null) one is an error.
std::vector<const mxArray*> indexList(std::initializer_list<const mxArray*> subscripts);

// Visits the addressed elements in result order as runs of consecutive
// elements: f(linear position in the array, run length, position in the result).
template <typename F>
void forEachRun(const std::vector<Subscript>& subs, const Dims& extents, F f) {
  const std::size_t n = subs.size();
  std::vector<std::size_t> stride(n, 1);
  for (std::size_t k = 1; k < n; ++k) stride[k] = stride[k - 1] * extents[k - 1];
  for (const Subscript& s : subs)
    if (s.positions.empty()) return;
  const std::vector<std::size_t>& first = subs[0].positions;
  // Consecutive first positions make one run per combination of the others.
  bool consecutive = true;
  for (std::size_t k = 1; consecutive && k < first.size(); ++k)
    consecutive = first[k] == first[0] + k;
  std::vector<std::size_t> odometer(n, 0);
  std::size_t out = 0;
  while (true) {
    std::size_t base = 0;
    for (std::size_t k = 1; k < n; ++k) base += subs[k].positions[odometer[k]] * stride[k];
    if (consecutive) {
      f(base + first[0], first.size(), out);
      out += first.size();
    } else {
      for (std::size_t p : first) f(base + p, std::size_t{1}, out++);
    }
    std::size_t k = 1;
    while (k < n && ++odometer[k] == subs[k].positions.size()) odometer[k++] = 0;
    if (k >= n) return;
  }
}

}  // namespace ulv::ops
