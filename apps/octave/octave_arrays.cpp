#include "octave_arrays.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace ulv::adaptor {

namespace {

// ---- Octave to plain --------------------------------------------------------------

template <typename Element>
std::vector<double> valuesAs(const mxArray* array) {
  const auto* first = static_cast<const Element*>(mxGetData(array));
  const std::size_t count = mxGetNumberOfElements(array);
  return first == nullptr ? std::vector<double>{} : std::vector<double>(first, first + count);
}

std::vector<double> numericValues(const mxArray* array) {
  switch (mxGetClassID(array)) {
    case mxDOUBLE_CLASS:
      return valuesAs<double>(array);
    case mxSINGLE_CLASS:
      return valuesAs<float>(array);
    case mxINT8_CLASS:
      return valuesAs<std::int8_t>(array);
    case mxUINT8_CLASS:
      return valuesAs<std::uint8_t>(array);
    case mxINT16_CLASS:
      return valuesAs<std::int16_t>(array);
    case mxUINT16_CLASS:
      return valuesAs<std::uint16_t>(array);
    case mxINT32_CLASS:
      return valuesAs<std::int32_t>(array);
    case mxUINT32_CLASS:
      return valuesAs<std::uint32_t>(array);
    case mxINT64_CLASS:
      return valuesAs<std::int64_t>(array);
    case mxUINT64_CLASS:
      return valuesAs<std::uint64_t>(array);
    case mxLOGICAL_CLASS:
      return valuesAs<mxLogical>(array);
    case mxCHAR_CLASS:
      return valuesAs<unsigned char>(array);
    default:
      return {};
  }
}

PlainClass plainClassOf(const mxArray* array, std::string_view function, int position) {
  const std::string input =
      "Input " + std::to_string(position) + " of \"" + std::string(function) + "\"";
  if (mxIsSparse(array)) {
    throw UnsupportedInput(input + " is sparse: the library takes full arrays only.");
  }
  if (mxIsComplex(array)) {
    throw UnsupportedInput(input + " is complex: the library takes real values only.");
  }
  if (mxIsCell(array)) return PlainClass::Cell;
  if (mxIsChar(array)) return PlainClass::Char;
  if (mxIsLogical(array)) return PlainClass::Logical;
  if (mxGetClassID(array) == mxUINT8_CLASS) return PlainClass::Uint8;
  if (mxIsNumeric(array)) return PlainClass::Double;
  throw UnsupportedInput(input + " is of class " + mxGetClassName(array) +
                         ": the library takes numeric, logical, char and cell arrays only.");
}

// ---- plain to Octave --------------------------------------------------------------

template <typename Element, typename Convert>
void fillElements(mxArray* array, const std::vector<double>& values, Convert convert) {
  auto* out = static_cast<Element*>(mxGetData(array));
  for (std::size_t k = 0; k < values.size(); ++k) out[k] = convert(values[k]);
}

// The library keeps 8-bit elements as whole numbers in 0..255; anything else
// is clamped rather than converted with undefined behaviour.
std::uint8_t toByte(double value) {
  if (!(value > 0)) return 0;
  return value >= 255 ? 255 : static_cast<std::uint8_t>(value);
}

mxArray* cellToOctave(const PlainArray& plain, mwSize ndims, const mwSize* dims) {
  mxArray* cell = mxCreateCellArray(ndims, dims);
  for (std::size_t k = 0; k < plain.cells.size(); ++k) {
    mxArray* element = toOctave(plain.cells[k]);
    mxSetCell(cell, static_cast<mwIndex>(k),
              element != nullptr ? element : mxCreateDoubleMatrix(0, 0, mxREAL));
  }
  return cell;
}

}  // namespace

PlainArray fromOctave(const mxArray* array, std::string_view function, int position) {
  PlainArray plain;
  plain.cls = plainClassOf(array, function, position);
  const mwSize* dims = mxGetDimensions(array);
  plain.dims.assign(dims, dims + mxGetNumberOfDimensions(array));
  if (plain.cls != PlainClass::Cell) {
    plain.values = numericValues(array);
    return plain;
  }
  const std::size_t count = mxGetNumberOfElements(array);
  plain.cells.reserve(count);
  for (std::size_t k = 0; k < count; ++k) {
    const mxArray* element = mxGetCell(array, static_cast<mwIndex>(k));
    plain.cells.push_back(element == nullptr ? PlainArray{}
                                             : fromOctave(element, function, position));
  }
  return plain;
}

mxArray* toOctave(const PlainArray& plain) {
  const std::vector<mwSize> dimVector(plain.dims.begin(), plain.dims.end());
  const auto ndims = static_cast<mwSize>(dimVector.size());
  const mwSize* dims = dimVector.data();
  mxArray* array = nullptr;
  switch (plain.cls) {
    case PlainClass::Unassigned:
      return nullptr;
    case PlainClass::Cell:
      return cellToOctave(plain, ndims, dims);
    case PlainClass::Double:
      array = mxCreateNumericArray(ndims, dims, mxDOUBLE_CLASS, mxREAL);
      fillElements<double>(array, plain.values, [](double v) { return v; });
      return array;
    case PlainClass::Uint8:
      array = mxCreateNumericArray(ndims, dims, mxUINT8_CLASS, mxREAL);
      fillElements<std::uint8_t>(array, plain.values, toByte);
      return array;
    case PlainClass::Logical:
      array = mxCreateLogicalArray(ndims, dims);
      fillElements<mxLogical>(array, plain.values,
                              [](double v) { return static_cast<mxLogical>(v != 0); });
      return array;
    case PlainClass::Char:
      array = mxCreateCharArray(ndims, dims);
      fillElements<mxChar>(array, plain.values,
                           [](double v) { return static_cast<mxChar>(toByte(v)); });
      return array;
  }
  return nullptr;
}

}  // namespace ulv::adaptor
