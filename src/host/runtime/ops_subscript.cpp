#include "host/runtime/ops_subscript.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "host/runtime/ops.hpp"
#include "ulvadern/errors.hpp"

namespace ulv::ops {

namespace {

[[noreturn]] void badSubscript() {
  hostError("Subscript indices must either be real positive integers or logicals.");
}

std::size_t toPosition(double v) {
  if (!(v >= 1) || v != std::floor(v) || std::isinf(v)) badSubscript();
  if (v > 9.0e15) hostError("Maximum variable size allowed by the program is exceeded.");
  return static_cast<std::size_t>(v) - 1;
}

}  // namespace

Subscript parseSubscript(const mxArray& index) {
  Subscript s;
  if (isColonIndex(index)) {
    s.colon = true;
    return s;
  }
  if (index.isCell() || index.isPlaceholder()) badSubscript();
  s.shape = index.dims();
  const double* d = index.data();
  if (index.classID() == mxLOGICAL_CLASS) {
    for (std::size_t k = 0; k < index.numel(); ++k)
      if (d[k] != 0) s.positions.push_back(k);
    const bool row = index.ndims() == 2 && index.rows() == 1;
    s.shape = row ? Dims{1, s.positions.size()} : Dims{s.positions.size(), 1};
  } else {
    s.positions.reserve(index.numel());
    for (std::size_t k = 0; k < index.numel(); ++k) s.positions.push_back(toPosition(d[k]));
  }
  if (!s.positions.empty()) {
    s.required = *std::max_element(s.positions.begin(), s.positions.end()) + 1;
  }
  return s;
}

void settleExtent(Subscript& s, std::size_t extent) {
  if (!s.colon) return;
  s.positions.resize(extent);
  for (std::size_t k = 0; k < extent; ++k) s.positions[k] = k;
  s.shape = {extent, 1};
  s.required = extent;
}

void requireWithin(const Subscript& s, std::size_t extent) {
  if (s.required > extent) hostError("Index exceeds matrix dimensions.");
}

Dims foldDims(const Dims& dims, std::size_t n) {
  Dims folded(n, 1);
  for (std::size_t k = 0; k < dims.size(); ++k) folded[std::min(k, n - 1)] *= dims[k];
  return folded;
}

IndexFormat parseIndexFormat(std::string_view format, std::size_t given) {
  const bool braces = format.size() >= 3 && format.front() == '{' && format.back() == '}';
  const bool parens = format.size() >= 3 && format.front() == '(' && format.back() == ')';
  const std::size_t count = static_cast<std::size_t>(std::count(format.begin(), format.end(), '?'));
  if ((!braces && !parens) || count == 0 || count != given) {
    hostError("Invalid index format \"" + std::string(format) + "\".");
  }
  return IndexFormat{braces};
}

std::vector<const mxArray*> indexList(std::initializer_list<const mxArray*> subscripts) {
  std::vector<const mxArray*> list(subscripts);
  for (const mxArray* s : list)
    if (s == nullptr) hostError("Index argument is missing.");
  return list;
}

}  // namespace ulv::ops
