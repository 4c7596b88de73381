// Concatenation [a, b, ...] and [a; b; ...].
//
// 0x0 operands are skipped. The result is char if any operand is char, else
// uint8 if any is uint8 (values rounded and saturated), else logical if all
// are logical, else double. Cells join only with cells.
#include <algorithm>
#include <cstring>
#include <vector>

#include "host/runtime/ops.hpp"
#include "host/runtime/ops_internal.hpp"
#include "host/runtime/ops_subscript.hpp"

namespace ulv {

namespace {

mxClassID concatenatedClass(const std::vector<const mxArray*>& parts) {
  auto any = [&](mxClassID cls) {
    return std::any_of(parts.begin(), parts.end(),
                       [&](const mxArray* p) { return p->classID() == cls; });
  };
  if (any(mxCELL_CLASS)) {
    if (!std::all_of(parts.begin(), parts.end(), [](const mxArray* p) { return p->isCell(); })) {
      hostError("Concatenation of cells with other values is not supported.");
    }
    return mxCELL_CLASS;
  }
  if (any(mxCHAR_CLASS)) return mxCHAR_CLASS;
  if (any(mxUINT8_CLASS)) return mxUINT8_CLASS;
  if (!parts.empty() && std::all_of(parts.begin(), parts.end(), [](const mxArray* p) {
        return p->classID() == mxLOGICAL_CLASS;
      })) {
    return mxLOGICAL_CLASS;
  }
  return mxDOUBLE_CLASS;
}

// Joins along dimension `dim` (0: rows, 1: columns); every other size must agree.
mxArray concatenate(std::initializer_list<mxArray> operands, std::size_t dim,
                    const char* mismatch) {
  std::vector<const mxArray*> all, parts;
  for (const mxArray& p : operands) {
    if (p.isPlaceholder()) hostError("Undefined value in a bracketed expression.");
    all.push_back(&p);
    if (!(p.ndims() == 2 && p.rows() == 0 && p.cols() == 0)) parts.push_back(&p);
  }
  const mxClassID cls = concatenatedClass(all);
  if (parts.empty()) return mxArray::zeros({0, 0}, cls);
  const std::size_t n = std::max<std::size_t>(
      dim + 1, (*std::max_element(parts.begin(), parts.end(), [](auto* x, auto* y) {
                 return x->ndims() < y->ndims();
               }))->ndims());
  Dims others = ops::foldDims(parts[0]->dims(), n);
  others[dim] = 0;
  std::size_t total = 0;
  for (const mxArray* p : parts) {
    Dims d = ops::foldDims(p->dims(), n);
    total += d[dim];
    d[dim] = 0;
    if (d != others) hostError(mismatch);
  }
  Dims dims = others;
  dims[dim] = total;
  // Each part contributes a block of (its size up to dim) per outer index.
  std::size_t outer = 1;
  for (std::size_t k = dim + 1; k < n; ++k) outer *= dims[k];
  std::size_t inner = 1;
  for (std::size_t k = 0; k < dim; ++k) inner *= dims[k];
  mxArray result = mxArray::zeros(dims, cls);
  std::size_t offset = 0;
  for (std::size_t o = 0; o < outer; ++o) {
    for (const mxArray* p : parts) {
      const std::size_t block = inner * ops::foldDims(p->dims(), n)[dim];
      if (cls == mxCELL_CLASS) {
        for (std::size_t k = 0; k < block; ++k)
          result.mutableCell(offset + k) = p->cellAt(o * block + k);
      } else if (block > 0) {
        std::memcpy(result.mutableData() + offset, p->data() + o * block, block * sizeof(double));
      }
      offset += block;
    }
  }
  ops::settleClass(result);
  return result;
}

}  // namespace

mxArray mlfHorzcat(std::initializer_list<mxArray> parts) {
  return concatenate(
      parts, 1,
      "All matrices on a row in the bracketed expression must have the same number of rows.");
}

mxArray mlfVertcat(std::initializer_list<mxArray> parts) {
  return concatenate(parts, 0,
                     "All rows in the bracketed expression must have the same number of columns.");
}

}  // namespace ulv
