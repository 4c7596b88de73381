// The host array: the one value type of the runtime.
//
// Every value is a column-major n-D array of one class. Numeric, logical and
// character elements are all stored as doubles (a uint8 element holds a whole
// number in 0..255, a logical 0 or 1, a character its UTF-16 code unit), which
// keeps every operator a single loop over doubles. Cells hold arrays.
//
// Copies are cheap: the element storage is shared and only duplicated by the
// first write through mutableData() / mutableCells() (copy-on-write).
// Operations that write every element of their result allocate it with
// uninitialized(), which skips the zero fill.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ulv {

namespace detail {
// Leaves new elements uninitialised unless a value is given.
template <typename T>
struct DefaultInitAllocator : std::allocator<T> {
  template <typename U>
  struct rebind {
    using other = DefaultInitAllocator<U>;
  };
  DefaultInitAllocator() = default;
  template <typename U>
  DefaultInitAllocator(const DefaultInitAllocator<U>&) noexcept {}
  template <typename U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};
using ElementStore = std::vector<double, DefaultInitAllocator<double>>;
}  // namespace detail

// Class identifiers, numbered as the host numbers them. 0 is the placeholder
// of a variable or output that has not been assigned yet.
enum mxClassID : int {
  mxUNKNOWN_CLASS = 0,
  mxCELL_CLASS = 1,
  mxLOGICAL_CLASS = 3,
  mxCHAR_CLASS = 4,
  mxDOUBLE_CLASS = 6,
  mxUINT8_CLASS = 9,
};

// Sizes follow the host's rules: at least two dimensions, trailing singleton
// dimensions beyond the second dropped.
using Dims = std::vector<std::size_t>;
Dims normalizeDims(Dims dims);
std::size_t numelOf(const Dims& dims);
std::string dimsText(const Dims& dims);  // "3x4x2"

class mxArray {
 public:
  mxArray();  // the placeholder: class 0, 0x0

  static mxArray zeros(Dims dims, mxClassID cls = mxDOUBLE_CLASS);
  // Like zeros, but the elements are unspecified until written: only for
  // results whose every element is written next (not for cells).
  static mxArray uninitialized(Dims dims, mxClassID cls = mxDOUBLE_CLASS);
  static mxArray scalar(double value, mxClassID cls = mxDOUBLE_CLASS);
  static mxArray logicalScalar(bool value);
  static mxArray row(std::initializer_list<double> values);
  static mxArray fromVector(Dims dims, std::vector<double> values, mxClassID cls = mxDOUBLE_CLASS);
  static mxArray string(std::string_view text);  // 1 x n character row
  static mxArray empty();                        // 0x0 double
  static mxArray cell(Dims dims);                // of empty doubles

  mxClassID classID() const { return cls_; }
  bool isPlaceholder() const { return cls_ == mxUNKNOWN_CLASS; }
  bool isCell() const { return cls_ == mxCELL_CLASS; }
  bool isChar() const { return cls_ == mxCHAR_CLASS; }
  bool isNumericLike() const;  // double, uint8, logical or char

  const Dims& dims() const { return dims_; }
  std::size_t ndims() const { return dims_.size(); }
  std::size_t rows() const { return dims_[0]; }
  std::size_t cols() const { return dims_[1]; }
  std::size_t pages() const;  // product of dimensions 3..n
  std::size_t numel() const { return numel_; }
  bool isEmpty() const { return numel_ == 0; }
  bool isScalar() const { return numel_ == 1; }
  bool isVector() const;  // 1 x n or n x 1 (scalars included)

  // Element access (not for cells). Indices are 0-based here; the host's
  // 1-based indexing lives in the indexing operations.
  const double* data() const;
  double* mutableData();
  double at(std::size_t linear) const { return data()[linear]; }
  double scalarValue() const;  // first element; host error when empty

  // Cell elements.
  const mxArray& cellAt(std::size_t linear) const;
  mxArray& mutableCell(std::size_t linear);

  std::string toString() const;  // character array as 8-bit text

  // Same class and elements, new sizes (numel must agree).
  mxArray reshaped(Dims dims) const;
  mxArray withClass(mxClassID cls) const;  // relabels; values unchanged

  bool sharesStorageWith(const mxArray& other) const;

 private:
  mxClassID cls_ = mxUNKNOWN_CLASS;
  Dims dims_{0, 0};
  std::size_t numel_ = 0;
  std::shared_ptr<detail::ElementStore> values_;
  std::shared_ptr<std::vector<mxArray>> cells_;
};

// Handles: what crosses a calling form. Null means "absent".
mxArray* mxCreateHandle(mxArray value);
void mxDestroyArray(mxArray* handle);
mxClassID mxGetClassID(const mxArray* handle);
mxArray* mclGetUninitializedArray();
mxArray mclCreateEmptyArray();
mxArray mclCopyArray(const mxArray& a);

// Constants, as the initialisers build them.
mxArray mclInitializeDouble(double value);
mxArray mclInitializeDoubleVector(std::size_t rows, std::size_t cols, const double* values);
mxArray mclInitializeString(std::size_t length, const char16_t* text);
mxArray mclCreateString(std::string_view text);
mxArray mlfScalar(double value);

}  // namespace ulv
