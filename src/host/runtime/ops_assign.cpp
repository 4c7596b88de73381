// Indexed assignment: a(I) = b, a(I, J, ...) = b, a{I} = b.
//
// The target grows (zero fill, empty cells for cells) to take positions
// beyond its size; the placeholder grows into an array of the source's class.
// Colons over an empty dimension take their extent from the source, so that
// a(:,:,2) = B on a placeholder gives two pages, the first all zeros.
#include <algorithm>
#include <cstring>
#include <vector>

#include "host/runtime/ops.hpp"
#include "host/runtime/ops_internal.hpp"
#include "host/runtime/ops_subscript.hpp"

namespace ulv {

using ops::Subscript;

namespace {

// Class after the assignment: uint8 wins over the other numeric classes, a
// class is kept when both agree, mixtures become double.
mxClassID assignedClass(const mxArray& target, const mxArray& source) {
  if (source.isPlaceholder()) hostError("Undefined value on the right of an assignment.");
  if (target.isPlaceholder()) return source.classID();
  if (target.isCell() != source.isCell()) {
    hostError(target.isCell() ? "Conversion to cell from double is not possible."
                              : "Conversion to double from cell is not possible.");
  }
  if (target.classID() == source.classID()) return target.classID();
  if (target.classID() == mxUINT8_CLASS || source.classID() == mxUINT8_CLASS) return mxUINT8_CLASS;
  return mxDOUBLE_CLASS;
}

// Whether a numeric a, put into a numeric array of `dims`, fills its first
// numel() elements in order: a's sizes kept, except that its last dimension
// may grow when no dimension is added.
bool isPrefixOf(const mxArray& a, const Dims& dims, mxClassID cls) {
  if (a.isCell() || a.isPlaceholder() || a.isEmpty() || cls == mxCELL_CLASS) return false;
  if (dims.size() < a.ndims()) return false;
  const std::size_t kept = dims.size() == a.ndims() ? a.ndims() - 1 : a.ndims();
  return std::equal(a.dims().begin(), a.dims().begin() + kept, dims.begin());
}

// Copies `a` into an array of `dims` (each at least a's) and class `cls`,
// keeping every element at its subscripts.
mxArray resized(mxArray a, const Dims& dims, mxClassID cls) {
  if (a.dims() == dims && a.classID() == cls) return a;
  mxArray result;
  if (a.dims() == dims && !a.isPlaceholder()) {
    result = a.withClass(cls);
  } else if (isPrefixOf(a, dims, cls)) {
    // Growth along the last dimension only (pages appended): a's elements
    // keep their linear positions, and only the new tail needs zeros.
    result = mxArray::uninitialized(dims, cls);
    double* out = result.mutableData();
    std::copy_n(a.data(), a.numel(), out);
    std::fill(out + a.numel(), out + result.numel(), 0.0);
  } else {
    result = mxArray::zeros(dims, cls);
    const std::size_t n = std::max(dims.size(), a.ndims());
    const Dims old = ops::foldDims(a.dims(), n), to = ops::foldDims(dims, n);
    std::vector<Subscript> subs(n);
    for (std::size_t k = 0; k < n; ++k) {
      subs[k].colon = true;
      ops::settleExtent(subs[k], old[k]);
    }
    // Walking a's subscripts over the new sizes visits a's columns in order,
    // and a's columns are consecutive in a itself.
    if (a.isCell()) {
      ops::forEachRun(subs, to, [&](std::size_t start, std::size_t length, std::size_t from) {
        for (std::size_t k = 0; k < length; ++k) result.mutableCell(start + k) = a.cellAt(from + k);
      });
    } else if (!a.isEmpty()) {
      const double* in = a.data();
      double* out = result.mutableData();
      ops::forEachRun(subs, to, [&](std::size_t start, std::size_t length, std::size_t from) {
        std::memcpy(out + start, in + from, length * sizeof(double));
      });
    }
  }
  if (a.classID() != cls) ops::settleClass(result);
  return result;
}

// Sizes of a target after a linear assignment needing `required` elements.
Dims linearGrowth(const mxArray& target, std::size_t required) {
  if (required <= target.numel()) return target.dims();
  if (target.ndims() == 2 && target.rows() == 0 && target.cols() == 0) return {1, required};
  if (target.ndims() == 2 && target.rows() == 1) return {1, required};
  if (target.ndims() == 2 && target.cols() == 1) return {required, 1};
  hostError("In an assignment  A(I) = B, a matrix A cannot be resized.");
}

// The source's non-singleton sizes, in order.
std::vector<std::size_t> nonSingleton(const Dims& dims) {
  std::vector<std::size_t> sizes;
  for (std::size_t d : dims)
    if (d != 1) sizes.push_back(d);
  return sizes;
}

// Sizes of a target after a multi-subscript assignment; settles every colon.
Dims subscriptGrowth(const mxArray& target, const mxArray& source, std::vector<Subscript>& subs) {
  const std::size_t n = subs.size();
  Dims extents = ops::foldDims(target.dims(), n);
  const std::vector<std::size_t> sourceSizes = nonSingleton(source.dims());
  std::size_t nextSource = 0;
  for (std::size_t k = 0; k < n; ++k) {
    Subscript& s = subs[k];
    if (s.colon && extents[k] == 0 && source.numel() != 1) {
      extents[k] = nextSource < sourceSizes.size() ? sourceSizes[nextSource] : 1;
    } else if (s.colon && extents[k] == 0) {
      extents[k] = 1;
    }
    ops::settleExtent(s, extents[k]);
    if (s.positions.size() != 1) ++nextSource;
    extents[k] = std::max(extents[k], s.required);
  }
  if (n >= target.ndims()) return extents;
  const Dims folded = ops::foldDims(target.dims(), n);
  if (extents[n - 1] != folded[n - 1]) {
    hostError("Attempt to grow array along ambiguous dimension.");
  }
  Dims dims = target.dims();
  for (std::size_t k = 0; k + 1 < n; ++k) dims[k] = extents[k];
  return dims;
}

void requireMatchingSource(const mxArray& source, const std::vector<Subscript>& subs) {
  if (source.numel() == 1) return;
  std::size_t count = 1;
  Dims addressed;
  for (const Subscript& s : subs) {
    count *= s.positions.size();
    addressed.push_back(s.positions.size());
  }
  if (count > 0 && source.isEmpty()) {
    hostError("Deleting elements by assignment of an empty array is not supported.");
  }
  if (subs.size() == 1 && source.numel() != count) {
    hostError("In an assignment  A(I) = B, the number of elements in B and I must be the same.");
  }
  if (subs.size() > 1 && nonSingleton(addressed) != nonSingleton(source.dims())) {
    hostError("Subscripted assignment dimension mismatch.");
  }
}

void scatter(mxArray& target, const mxArray& source, const std::vector<Subscript>& subs,
             const Dims& extents) {
  const bool expand = source.numel() == 1;
  if (target.isCell()) {
    ops::forEachRun(subs, extents, [&](std::size_t to, std::size_t length, std::size_t from) {
      for (std::size_t k = 0; k < length; ++k)
        target.mutableCell(to + k) = source.cellAt(expand ? 0 : from + k);
    });
    return;
  }
  const bool toUint8 = target.classID() == mxUINT8_CLASS && source.classID() != mxUINT8_CLASS;
  const double* in = source.data();
  double* out = target.mutableData();
  ops::forEachRun(subs, extents, [&](std::size_t to, std::size_t length, std::size_t from) {
    for (std::size_t k = 0; k < length; ++k) {
      const double v = in[expand ? 0 : from + k];
      out[to + k] = toUint8 ? ops::toUint8Value(v) : v;
    }
  });
}

void assign(mxArray& target, const mxArray& sourceArgument,
            const std::vector<const mxArray*>& indices) {
  const mxArray source = sourceArgument;  // cheap, and safe when the source is the target itself
  const mxClassID cls = assignedClass(target, source);
  std::vector<Subscript> subs;
  for (const mxArray* index : indices) subs.push_back(ops::parseSubscript(*index));
  Dims dims;
  if (subs.size() == 1) {
    ops::settleExtent(subs[0], target.numel());
    requireMatchingSource(source, subs);
    dims = linearGrowth(target, subs[0].required);
  } else {
    dims = subscriptGrowth(target, source, subs);
    requireMatchingSource(source, subs);
  }
  // Moving the target in lets an unshared target be written in place.
  mxArray grown = resized(std::move(target), normalizeDims(dims), cls);
  const Dims extents =
      subs.size() == 1 ? Dims{grown.numel()} : ops::foldDims(grown.dims(), subs.size());
  scatter(grown, source, subs, extents);
  target = std::move(grown);
}

void assignCellContents(mxArray& target, const mxArray& source,
                        const std::vector<const mxArray*>& indices) {
  const bool emptyDouble = target.classID() == mxDOUBLE_CLASS && target.isEmpty();
  if (!target.isCell() && !target.isPlaceholder() && !emptyDouble) {
    hostError("Cell contents assignment to a non-cell array object.");
  }
  if (emptyDouble) target = mxArray();
  for (const mxArray* index : indices) {
    const Subscript s = ops::parseSubscript(*index);
    if (s.colon || s.positions.size() != 1) {
      hostError("Cell contents assignment must name exactly one element.");
    }
  }
  mxArray wrapped = mxArray::cell({1, 1});
  wrapped.mutableCell(0) = source;
  assign(target, wrapped, indices);
}

}  // namespace

void mclArrayAssign1(mxArray& target, const mxArray& source, const mxArray& i) {
  assign(target, source, {&i});
}

void mclArrayAssign2(mxArray& target, const mxArray& source, const mxArray& i, const mxArray& j) {
  assign(target, source, {&i, &j});
}

void mclIntArrayAssign1(mxArray& target, const mxArray& source, int i) {
  const mxArray index = mxArray::scalar(static_cast<double>(i));
  assign(target, source, {&index});
}

void mlfIndexAssign(mxArray& target, std::string_view format, const mxArray& source,
                    std::initializer_list<const mxArray*> subscripts) {
  const ops::IndexFormat kind = ops::parseIndexFormat(format, subscripts.size());
  const std::vector<const mxArray*> indices = ops::indexList(subscripts);
  if (kind.cellContents) {
    assignCellContents(target, source, indices);
  } else {
    assign(target, source, indices);
  }
}

}  // namespace ulv
