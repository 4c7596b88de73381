#include "ulvadern/array.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "ulvadern/errors.hpp"

namespace ulv {

Dims normalizeDims(Dims dims) {
  while (dims.size() < 2) dims.push_back(dims.empty() ? 0 : 1);
  while (dims.size() > 2 && dims.back() == 1) dims.pop_back();
  return dims;
}

std::size_t numelOf(const Dims& dims) {
  std::size_t n = 1;
  for (std::size_t d : dims) {
    if (d != 0 && n > std::numeric_limits<std::size_t>::max() / d) {
      hostError("Out of memory. Type HELP MEMORY for your options.");
    }
    n *= d;
  }
  return n;
}

std::string dimsText(const Dims& dims) {
  std::string text;
  for (std::size_t k = 0; k < dims.size(); ++k) {
    if (k > 0) text += 'x';
    text += std::to_string(dims[k]);
  }
  return text;
}

namespace {

// Largest array the runtime will allocate (elements); larger requests are a
// clear host error instead of an allocation failure deep in a loop.
constexpr std::size_t kMaxElements = std::size_t{1} << 34;

std::shared_ptr<detail::ElementStore> allocateValues(std::size_t n, bool zeroFilled) {
  if (n > kMaxElements) hostError("Out of memory. Type HELP MEMORY for your options.");
  return zeroFilled ? std::make_shared<detail::ElementStore>(n, 0.0)
                    : std::make_shared<detail::ElementStore>(n);
}

}  // namespace

mxArray::mxArray() = default;

mxArray mxArray::zeros(Dims dims, mxClassID cls) {
  mxArray a;
  a.dims_ = normalizeDims(std::move(dims));
  a.numel_ = numelOf(a.dims_);
  if (cls == mxCELL_CLASS) {
    a.cls_ = mxCELL_CLASS;
    a.cells_ = std::make_shared<std::vector<mxArray>>(a.numel_, mxArray::empty());
    return a;
  }
  a.cls_ = cls;
  a.values_ = allocateValues(a.numel_, true);
  return a;
}

mxArray mxArray::uninitialized(Dims dims, mxClassID cls) {
  if (cls == mxCELL_CLASS) return zeros(std::move(dims), cls);
  mxArray a;
  a.dims_ = normalizeDims(std::move(dims));
  a.numel_ = numelOf(a.dims_);
  a.cls_ = cls;
  a.values_ = allocateValues(a.numel_, false);
  return a;
}

mxArray mxArray::scalar(double value, mxClassID cls) {
  mxArray a = zeros({1, 1}, cls);
  (*a.values_)[0] = value;
  return a;
}

mxArray mxArray::logicalScalar(bool value) {
  return scalar(value ? 1.0 : 0.0, mxLOGICAL_CLASS);
}

mxArray mxArray::row(std::initializer_list<double> values) {
  return fromVector({1, values.size()}, std::vector<double>(values));
}

mxArray mxArray::fromVector(Dims dims, std::vector<double> values, mxClassID cls) {
  mxArray a;
  a.cls_ = cls;
  a.dims_ = normalizeDims(std::move(dims));
  a.numel_ = numelOf(a.dims_);
  if (values.size() != a.numel_)
    hostError("Internal error: element count does not match the size.");
  a.values_ = std::make_shared<detail::ElementStore>(values.begin(), values.end());
  return a;
}

mxArray mxArray::string(std::string_view text) {
  std::vector<double> codes;
  codes.reserve(text.size());
  for (unsigned char ch : text) codes.push_back(ch);
  return fromVector({text.empty() ? 0u : 1u, text.size()}, std::move(codes), mxCHAR_CLASS);
}

mxArray mxArray::empty() {
  return zeros({0, 0});
}

mxArray mxArray::cell(Dims dims) {
  return zeros(std::move(dims), mxCELL_CLASS);
}

bool mxArray::isNumericLike() const {
  return cls_ == mxDOUBLE_CLASS || cls_ == mxUINT8_CLASS || cls_ == mxLOGICAL_CLASS ||
         cls_ == mxCHAR_CLASS;
}

std::size_t mxArray::pages() const {
  std::size_t p = 1;
  for (std::size_t k = 2; k < dims_.size(); ++k) p *= dims_[k];
  return p;
}

bool mxArray::isVector() const {
  return dims_.size() == 2 && (dims_[0] == 1 || dims_[1] == 1);
}

const double* mxArray::data() const {
  if (!values_) {
    if (cls_ == mxCELL_CLASS) hostError("Cell contents cannot be used as numeric values.");
    return nullptr;  // the placeholder has no elements
  }
  return values_->data();
}

double* mxArray::mutableData() {
  if (!values_) {
    if (cls_ == mxCELL_CLASS) hostError("Cell contents cannot be used as numeric values.");
    return nullptr;
  }
  if (values_.use_count() > 1) values_ = std::make_shared<detail::ElementStore>(*values_);
  return values_->data();
}

double mxArray::scalarValue() const {
  if (numel_ == 0 || cls_ == mxCELL_CLASS) hostError("Index exceeds matrix dimensions.");
  return data()[0];
}

const mxArray& mxArray::cellAt(std::size_t linear) const {
  if (cls_ != mxCELL_CLASS) hostError("Cell contents reference from a non-cell array object.");
  if (linear >= numel_) hostError("Index exceeds matrix dimensions.");
  return (*cells_)[linear];
}

mxArray& mxArray::mutableCell(std::size_t linear) {
  if (cls_ != mxCELL_CLASS) hostError("Cell contents assignment to a non-cell array object.");
  if (linear >= numel_) hostError("Index exceeds matrix dimensions.");
  if (cells_.use_count() > 1) cells_ = std::make_shared<std::vector<mxArray>>(*cells_);
  return (*cells_)[linear];
}

std::string mxArray::toString() const {
  std::string text;
  if (cls_ == mxCELL_CLASS || !values_) return text;
  text.reserve(numel_);
  for (double code : *values_) text.push_back(static_cast<char>(static_cast<unsigned>(code)));
  return text;
}

mxArray mxArray::reshaped(Dims dims) const {
  Dims normal = normalizeDims(std::move(dims));
  if (numelOf(normal) != numel_) {
    hostError("To RESHAPE the number of elements must not change.");
  }
  mxArray a = *this;
  a.dims_ = std::move(normal);
  return a;
}

mxArray mxArray::withClass(mxClassID cls) const {
  mxArray a = *this;
  a.cls_ = cls;
  return a;
}

bool mxArray::sharesStorageWith(const mxArray& other) const {
  return (values_ && values_ == other.values_) || (cells_ && cells_ == other.cells_);
}

mxArray* mxCreateHandle(mxArray value) {
  return new mxArray(std::move(value));
}
void mxDestroyArray(mxArray* handle) {
  delete handle;
}
mxClassID mxGetClassID(const mxArray* handle) {
  return handle == nullptr ? mxUNKNOWN_CLASS : handle->classID();
}
mxArray* mclGetUninitializedArray() {
  return new mxArray();
}
mxArray mclCreateEmptyArray() {
  return mxArray::empty();
}
mxArray mclCopyArray(const mxArray& a) {
  return a;
}

mxArray mclInitializeDouble(double value) {
  return mxArray::scalar(value);
}

mxArray mclInitializeDoubleVector(std::size_t rows, std::size_t cols, const double* values) {
  std::vector<double> v;
  if (values != nullptr) v.assign(values, values + rows * cols);
  v.resize(rows * cols, 0.0);
  return mxArray::fromVector({rows, cols}, std::move(v));
}

mxArray mclInitializeString(std::size_t length, const char16_t* text) {
  std::vector<double> codes(text, text + length);
  return mxArray::fromVector({length == 0 ? 0u : 1u, length}, std::move(codes), mxCHAR_CLASS);
}

mxArray mclCreateString(std::string_view text) {
  return mxArray::string(text);
}
mxArray mlfScalar(double value) {
  return mxArray::scalar(value);
}

}  // namespace ulv
