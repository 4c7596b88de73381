// Ranges and indexed reference.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "host/runtime/ops.hpp"
#include "host/runtime/ops_internal.hpp"
#include "host/runtime/ops_subscript.hpp"

namespace ulv {

using ops::Subscript;

mxArray mlfCreateColonIndex() {
  return mxArray::string(":");
}

bool isColonIndex(const mxArray& index) {
  return index.isChar() && index.numel() == 1 && index.at(0) == ':';
}

mxArray colonRange(double start, double stop) {
  return colonRange(start, 1, stop);
}

mxArray colonRange(double start, double step, double stop) {
  if (std::isnan(start) || std::isnan(step) || std::isnan(stop) || step == 0 ||
      (step > 0 && start > stop) || (step < 0 && start < stop)) {
    return mxArray::zeros({1, 0});
  }
  // A small tolerance keeps 0:0.1:1 at eleven elements despite rounding.
  const double q = (stop - start) / step;
  if (std::isinf(q)) hostError("Maximum variable size allowed by the program is exceeded.");
  const std::size_t n = ops::toCount(std::floor(q + 1e-10 * std::max(1.0, q)), "Range bounds") + 1;
  mxArray range = mxArray::zeros({1, n});
  double* d = range.mutableData();
  for (std::size_t k = 0; k < n; ++k) d[k] = start + static_cast<double>(k) * step;
  return range;
}

mxArray mlfColon(const mxArray& start, const mxArray& stepOrStop, const mxArray* stop) {
  ops::requireNumeric(start, "colon");
  ops::requireNumeric(stepOrStop, "colon");
  if (stop != nullptr) ops::requireNumeric(*stop, "colon");
  if (start.isEmpty() || stepOrStop.isEmpty() || (stop != nullptr && stop->isEmpty())) {
    return mxArray::zeros({1, 0});
  }
  if (stop == nullptr) return colonRange(start.at(0), stepOrStop.at(0));
  return colonRange(start.at(0), stepOrStop.at(0), stop->at(0));
}

namespace {

// The elements of `a` that the subscripts address, as an array of `dims`.
mxArray gather(const mxArray& a, const std::vector<Subscript>& subs, const Dims& extents,
               const Dims& dims) {
  mxArray result = mxArray::uninitialized(dims, a.classID());  // every element is gathered
  if (result.isEmpty()) return result;
  if (a.isCell()) {
    ops::forEachRun(subs, extents, [&](std::size_t from, std::size_t length, std::size_t to) {
      for (std::size_t k = 0; k < length; ++k) result.mutableCell(to + k) = a.cellAt(from + k);
    });
    return result;
  }
  const double* in = a.data();
  double* out = result.mutableData();
  ops::forEachRun(subs, extents, [&](std::size_t from, std::size_t length, std::size_t to) {
    std::memcpy(out + to, in + from, length * sizeof(double));
  });
  return result;
}

void requireIndexable(const mxArray& a) {
  if (a.isPlaceholder()) hostError("Index exceeds matrix dimensions.");
}

// a(I): a vector indexed by a vector keeps its orientation; otherwise the
// result has the shape of I (a column for the colon).
Dims linearResultDims(const mxArray& a, const Subscript& s) {
  const bool indexIsVector = s.shape.size() == 2 && (s.shape[0] == 1 || s.shape[1] == 1);
  if (!s.colon && indexIsVector && a.isVector() && !a.isScalar()) {
    return a.rows() == 1 ? Dims{1, s.positions.size()} : Dims{s.positions.size(), 1};
  }
  return s.shape;
}

mxArray referenceLinear(const mxArray& a, const mxArray& index) {
  requireIndexable(a);
  std::vector<Subscript> subs{ops::parseSubscript(index)};
  ops::settleExtent(subs[0], a.numel());
  ops::requireWithin(subs[0], a.numel());
  return gather(a, subs, {a.numel()}, linearResultDims(a, subs[0]));
}

mxArray referenceSubscripts(const mxArray& a, const std::vector<const mxArray*>& indices) {
  requireIndexable(a);
  const Dims extents = ops::foldDims(a.dims(), indices.size());
  std::vector<Subscript> subs;
  Dims dims;
  for (std::size_t k = 0; k < indices.size(); ++k) {
    subs.push_back(ops::parseSubscript(*indices[k]));
    ops::settleExtent(subs[k], extents[k]);
    ops::requireWithin(subs[k], extents[k]);
    dims.push_back(subs[k].positions.size());
  }
  return gather(a, subs, extents, dims);
}

mxArray reference(const mxArray& a, const std::vector<const mxArray*>& indices) {
  if (indices.size() == 1) return referenceLinear(a, *indices[0]);
  return referenceSubscripts(a, indices);
}

}  // namespace

mxArray mclArrayRef1(const mxArray& a, const mxArray& i) {
  return referenceLinear(a, i);
}

mxArray mclArrayRef2(const mxArray& a, const mxArray& i, const mxArray& j) {
  return referenceSubscripts(a, {&i, &j});
}

mxArray mclIntArrayRef1(const mxArray& a, int i) {
  return referenceLinear(a, mxArray::scalar(static_cast<double>(i)));
}

mxArray mlfIndexRef(const mxArray& a, std::string_view format,
                    std::initializer_list<const mxArray*> subscripts) {
  const ops::IndexFormat kind = ops::parseIndexFormat(format, subscripts.size());
  const std::vector<const mxArray*> indices = ops::indexList(subscripts);
  if (!kind.cellContents) return reference(a, indices);
  if (!a.isCell()) hostError("Cell contents reference from a non-cell array object.");
  mxArray selected = reference(a, indices);
  if (selected.numel() != 1) hostError("Cell contents reference must name exactly one element.");
  return selected.cellAt(0);
}

}  // namespace ulv
