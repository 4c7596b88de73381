#include "plain_arrays.hpp"

#include <utility>

#include "ulvadern/errors.hpp"

namespace ulv::adaptor {

namespace {

mxClassID hostClassOf(PlainClass cls) {
  switch (cls) {
    case PlainClass::Double:
      return mxDOUBLE_CLASS;
    case PlainClass::Uint8:
      return mxUINT8_CLASS;
    case PlainClass::Logical:
      return mxLOGICAL_CLASS;
    case PlainClass::Char:
      return mxCHAR_CLASS;
    case PlainClass::Cell:
      return mxCELL_CLASS;
    case PlainClass::Unassigned:
      break;
  }
  hostError("An unassigned value cannot be passed to the library.");
}

PlainClass plainClassOf(mxClassID cls) {
  switch (cls) {
    case mxDOUBLE_CLASS:
      return PlainClass::Double;
    case mxUINT8_CLASS:
      return PlainClass::Uint8;
    case mxLOGICAL_CLASS:
      return PlainClass::Logical;
    case mxCHAR_CLASS:
      return PlainClass::Char;
    case mxCELL_CLASS:
      return PlainClass::Cell;
    case mxUNKNOWN_CLASS:
      return PlainClass::Unassigned;
  }
  hostError("The library returned an array of an unknown class.");
}

}  // namespace

mxArray toHostArray(PlainArray&& plain) {
  const mxClassID cls = hostClassOf(plain.cls);
  if (cls != mxCELL_CLASS) return mxArray::fromVector(plain.dims, std::move(plain.values), cls);
  mxArray cell = mxArray::cell(plain.dims);
  if (plain.cells.size() != cell.numel()) {
    hostError("Internal error: cell element count does not match the size.");
  }
  for (std::size_t k = 0; k < plain.cells.size(); ++k) {
    cell.mutableCell(k) = toHostArray(std::move(plain.cells[k]));
  }
  return cell;
}

PlainArray toPlainArray(const mxArray& array) {
  PlainArray plain;
  plain.cls = plainClassOf(array.classID());
  plain.dims = array.dims();
  if (array.isPlaceholder()) return plain;
  if (array.isCell()) {
    plain.cells.reserve(array.numel());
    for (std::size_t k = 0; k < array.numel(); ++k)
      plain.cells.push_back(toPlainArray(array.cellAt(k)));
    return plain;
  }
  if (array.numel() > 0) plain.values.assign(array.data(), array.data() + array.numel());
  return plain;
}

}  // namespace ulv::adaptor
