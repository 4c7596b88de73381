#include "host/files/matfile_convert.hpp"

#include <cmath>
#include <cstdint>
#include <vector>

#include "ulvadern/errors.hpp"

namespace ulv::matfile {

namespace {

// ---- host array -> libmatio ---------------------------------------------------

MatVarPtr createVar(const char* name, matio_classes cls, matio_types type, const mxArray& value,
                    void* data, int options, const std::string& errorPrefix) {
  std::vector<std::size_t> dims(value.dims().begin(), value.dims().end());
  matvar_t* var = matio::varCreate(name, cls, type, static_cast<int>(dims.size()), dims.data(),
                                   value.isEmpty() ? nullptr : data, options);
  if (var == nullptr) hostError(errorPrefix + "out of memory.");
  return MatVarPtr(var);
}

// The elements narrowed to the type the file stores (libmatio copies them).
template <typename T>
std::vector<T> narrowed(const mxArray& value, bool asTruth) {
  std::vector<T> out(value.numel());
  const double* d = value.data();
  for (std::size_t k = 0; k < out.size(); ++k) {
    out[k] = asTruth ? static_cast<T>(d[k] != 0) : static_cast<T>(d[k]);
  }
  return out;
}

MatVarPtr cellToMatVar(const char* name, const mxArray& value, const std::string& errorPrefix) {
  std::vector<MatVarPtr> owned;
  std::vector<matvar_t*> elements;
  for (std::size_t k = 0; k < value.numel(); ++k) {
    owned.push_back(toMatVar(nullptr, value.cellAt(k), errorPrefix));
    elements.push_back(owned.back().get());
  }
  MatVarPtr cell = createVar(name, MAT_C_CELL, MAT_T_CELL, value, elements.data(), 0, errorPrefix);
  for (MatVarPtr& element : owned) element.release();  // the cell frees them now
  return cell;
}

// ---- libmatio -> host array ---------------------------------------------------

[[noreturn]] void unreadable(const std::string& errorPrefix, const std::string& reason) {
  hostError(errorPrefix + reason);
}

Dims dimsOf(const matvar_t& var, const std::string& errorPrefix) {
  if (var.rank < 1 || var.dims == nullptr) unreadable(errorPrefix, "the variable has no size.");
  return normalizeDims(Dims(var.dims, var.dims + var.rank));
}

template <typename T>
void widen(const void* data, double* out, std::size_t n) {
  const T* in = static_cast<const T*>(data);
  for (std::size_t k = 0; k < n; ++k) out[k] = static_cast<double>(in[k]);
}

// Stored elements of any numeric data type as doubles; false when the stored
// data is missing, too short or of a type that holds no numbers.
bool widenElements(const matvar_t& var, double* out, std::size_t n) {
  if (n == 0) return true;
  const std::size_t width = matio::sizeOf(var.data_type);
  if (var.data == nullptr || width == 0 || var.nbytes / width < n) return false;
  switch (var.data_type) {
    case MAT_T_INT8:
      widen<std::int8_t>(var.data, out, n);
      return true;
    case MAT_T_UINT8:
    case MAT_T_UTF8:
      widen<std::uint8_t>(var.data, out, n);
      return true;
    case MAT_T_INT16:
      widen<std::int16_t>(var.data, out, n);
      return true;
    case MAT_T_UINT16:
    case MAT_T_UTF16:
      widen<std::uint16_t>(var.data, out, n);
      return true;
    case MAT_T_INT32:
      widen<std::int32_t>(var.data, out, n);
      return true;
    case MAT_T_UINT32:
    case MAT_T_UTF32:
      widen<std::uint32_t>(var.data, out, n);
      return true;
    case MAT_T_INT64:
      widen<std::int64_t>(var.data, out, n);
      return true;
    case MAT_T_UINT64:
      widen<std::uint64_t>(var.data, out, n);
      return true;
    case MAT_T_SINGLE:
      widen<float>(var.data, out, n);
      return true;
    case MAT_T_DOUBLE:
      widen<double>(var.data, out, n);
      return true;
    default:
      return false;
  }
}

bool wholeNumbersUpTo(const mxArray& a, double largest) {
  const double* d = a.data();
  for (std::size_t k = 0; k < a.numel(); ++k) {
    if (!(d[k] >= 0 && d[k] <= largest && std::floor(d[k]) == d[k])) return false;
  }
  return true;
}

mxArray numericFrom(const matvar_t& var, Dims dims, mxClassID cls, const std::string& errorPrefix) {
  mxArray a = mxArray::zeros(std::move(dims), cls);
  if (!widenElements(var, a.numel() == 0 ? nullptr : a.mutableData(), a.numel())) {
    unreadable(errorPrefix, "its data is missing or damaged.");
  }
  if (cls == mxLOGICAL_CLASS) {
    double* d = a.mutableData();
    for (std::size_t k = 0; k < a.numel(); ++k) d[k] = d[k] != 0 ? 1 : 0;
  }
  if (cls == mxUINT8_CLASS && !wholeNumbersUpTo(a, 255)) {
    unreadable(errorPrefix, "its uint8 data is damaged.");
  }
  return a;
}

mxArray charFrom(const matvar_t& var, Dims dims, const std::string& errorPrefix) {
  // UTF-8 text is taken byte by byte, which is right only for 7-bit text.
  if (var.data_type == MAT_T_UTF8 && var.nbytes != numelOf(dims)) {
    unreadable(errorPrefix, "multi-byte UTF-8 characters are not supported.");
  }
  mxArray a = numericFrom(var, std::move(dims), mxCHAR_CLASS, errorPrefix);
  if (!wholeNumbersUpTo(a, var.data_type == MAT_T_UTF8 ? 127 : 65535)) {
    unreadable(errorPrefix, "its characters are not 16-bit character codes.");
  }
  return a;
}

mxArray cellFrom(const matvar_t& var, Dims dims, const std::string& errorPrefix) {
  mxArray cell = mxArray::cell(std::move(dims));
  const auto* const* elements = static_cast<const matvar_t* const*>(var.data);
  if (cell.numel() > 0 && elements == nullptr) unreadable(errorPrefix, "its cells are missing.");
  for (std::size_t k = 0; k < cell.numel(); ++k) {
    if (elements[k] == nullptr) unreadable(errorPrefix, "a cell element is missing.");
    cell.mutableCell(k) = fromMatVar(*elements[k], errorPrefix);
  }
  return cell;
}

const char* unsupportedClassName(matio_classes cls) {
  switch (cls) {
    case MAT_C_STRUCT:
      return "struct";
    case MAT_C_OBJECT:
      return "object";
    case MAT_C_SPARSE:
      return "sparse";
    case MAT_C_FUNCTION:
      return "function_handle";
    default:
      return "unknown";
  }
}

}  // namespace

MatVarPtr toMatVar(const char* name, const mxArray& value, const std::string& errorPrefix) {
  switch (value.classID()) {
    case mxDOUBLE_CLASS:
      // Stored straight from the array's own elements: no copy of a large array.
      return createVar(name, MAT_C_DOUBLE, MAT_T_DOUBLE, value, const_cast<double*>(value.data()),
                       MAT_F_DONT_COPY_DATA, errorPrefix);
    case mxUINT8_CLASS: {
      std::vector<std::uint8_t> bytes = narrowed<std::uint8_t>(value, false);
      return createVar(name, MAT_C_UINT8, MAT_T_UINT8, value, bytes.data(), 0, errorPrefix);
    }
    case mxLOGICAL_CLASS: {
      std::vector<std::uint8_t> bytes = narrowed<std::uint8_t>(value, true);
      return createVar(name, MAT_C_UINT8, MAT_T_UINT8, value, bytes.data(), MAT_F_LOGICAL,
                       errorPrefix);
    }
    case mxCHAR_CLASS: {
      std::vector<std::uint16_t> codes = narrowed<std::uint16_t>(value, false);
      return createVar(name, MAT_C_CHAR, MAT_T_UINT16, value, codes.data(), 0, errorPrefix);
    }
    case mxCELL_CLASS:
      return cellToMatVar(name, value, errorPrefix);
    case mxUNKNOWN_CLASS:
      break;
  }
  hostError(errorPrefix + "it holds no value (unassigned).");
}

mxArray fromMatVar(const matvar_t& var, const std::string& errorPrefix) {
  if (var.isComplex) unreadable(errorPrefix, "complex values are not supported.");
  // An empty cell element may be stored as an array without header or size.
  if (var.class_type == MAT_C_EMPTY && var.rank == 0) return mxArray::zeros({0, 0});
  Dims dims = dimsOf(var, errorPrefix);
  if (var.isLogical) return numericFrom(var, std::move(dims), mxLOGICAL_CLASS, errorPrefix);
  switch (var.class_type) {
    case MAT_C_CELL:
      return cellFrom(var, std::move(dims), errorPrefix);
    case MAT_C_CHAR:
      return charFrom(var, std::move(dims), errorPrefix);
    case MAT_C_UINT8:
      return numericFrom(var, std::move(dims), mxUINT8_CLASS, errorPrefix);
    case MAT_C_EMPTY:
      return mxArray::zeros(numelOf(dims) == 0 ? std::move(dims) : Dims{0, 0});
    case MAT_C_DOUBLE:
    case MAT_C_SINGLE:
    case MAT_C_INT8:
    case MAT_C_INT16:
    case MAT_C_UINT16:
    case MAT_C_INT32:
    case MAT_C_UINT32:
    case MAT_C_INT64:
    case MAT_C_UINT64:
      return numericFrom(var, std::move(dims), mxDOUBLE_CLASS, errorPrefix);
    default:
      unreadable(errorPrefix, std::string("variables of class ") +
                                  unsupportedClassName(var.class_type) + " are not supported.");
  }
}

}  // namespace ulv::matfile
