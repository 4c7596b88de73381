#include "numpy_conversion.hpp"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace ulvpy {

namespace {

std::string typeName(py::handle value) {
  return py::str(py::type::handle_of(value).attr("__name__")).cast<std::string>();
}

// NumPy's shape as host sizes: 0-d -> 1x1, (n,) -> 1xn.
ulv::Dims hostDims(const py::array& array) {
  if (array.ndim() == 0) return {1, 1};
  ulv::Dims dims(array.shape(), array.shape() + array.ndim());
  if (dims.size() == 1) dims.insert(dims.begin(), 1);
  return ulv::normalizeDims(std::move(dims));
}

std::vector<double> columnMajorValues(const py::array& array) {
  const DoubleArray values = doublesOf(array);
  return std::vector<double>(values.data(), values.data() + values.size());
}

ulv::mxArray cellFromArray(const py::array& array) {
  ulv::mxArray cell = ulv::mxArray::cell(hostDims(array));
  const py::list elements = py::module_::import("numpy").attr("ravel")(array, "F").attr("tolist")();
  for (std::size_t k = 0; k < cell.numel(); ++k) cell.mutableCell(k) = toHostArray(elements[k]);
  return cell;
}

ulv::mxArray fromArray(const py::array& array) {
  const py::dtype type = array.dtype();
  switch (type.kind()) {
    case 'b':
      return ulv::mxArray::fromVector(hostDims(array), columnMajorValues(array),
                                      ulv::mxLOGICAL_CLASS);
    case 'u':
    case 'i':
    case 'f': {
      const bool bytes = type.kind() == 'u' && type.itemsize() == 1;
      return ulv::mxArray::fromVector(hostDims(array), columnMajorValues(array),
                                      bytes ? ulv::mxUINT8_CLASS : ulv::mxDOUBLE_CLASS);
    }
    case 'c':
      throw py::type_error("complex values are not supported: the library works on real arrays");
    case 'O':
    case 'U':
      return cellFromArray(array);
    default:
      throw py::type_error("arrays of dtype " + py::str(py::handle(type)).cast<std::string>() +
                           " are not supported");
  }
}

ulv::mxArray fromText(const py::str& text) {
  const std::u16string units = text.cast<std::u16string>();
  if (units.empty()) return ulv::mxArray::string("");
  return ulv::mxArray::fromVector(
      {1, units.size()}, std::vector<double>(units.begin(), units.end()), ulv::mxCHAR_CLASS);
}

ulv::mxArray cellFromSequence(const py::sequence& items) {
  ulv::mxArray cell = ulv::mxArray::cell({1, py::len(items)});
  for (std::size_t k = 0; k < cell.numel(); ++k) cell.mutableCell(k) = toHostArray(items[k]);
  return cell;
}

// Numbers (nested: a matrix) as np.array makes them; anything else a 1 x n
// cell. np.array's ValueError (ragged nesting) leads to the cell; any other
// Python error, and a ValueError of an element that the cell cannot take
// either, is raised as it is.
ulv::mxArray fromSequence(const py::sequence& items) {
  if (py::len(items) == 0) return ulv::mxArray::empty();
  std::optional<py::array> array;
  std::optional<py::error_already_set> ragged;
  try {
    array = py::module_::import("numpy").attr("array")(items);
  } catch (py::error_already_set& error) {
    if (!error.matches(PyExc_ValueError)) throw;
    ragged = std::move(error);
  }
  if (array && holdsRealNumbers(*array)) {
    return fromArray(*array);
  }
  try {
    return cellFromSequence(items);
  } catch (const py::type_error&) {
    if (ragged) throw *ragged;
    throw;
  }
}

// A new NumPy array of the host array's sizes, in column-major layout.
template <typename Element>
py::array_t<Element, py::array::f_style> newArray(const ulv::Dims& dims) {
  return py::array_t<Element, py::array::f_style>(
      std::vector<py::ssize_t>(dims.begin(), dims.end()));
}

template <typename Element>
py::object elementsAs(const ulv::mxArray& value) {
  auto array = newArray<Element>(value.dims());
  std::transform(value.data(), value.data() + value.numel(), array.mutable_data(),
                 [](double element) { return static_cast<Element>(element); });
  return array;
}

py::object textOf(const ulv::mxArray& value) {
  const double* codes = value.numel() > 0 ? value.data() : nullptr;
  if (value.ndims() == 2 && (value.rows() == 1 || value.isEmpty())) {
    return py::cast(std::u16string(codes, codes + value.numel()));
  }
  py::list characters;
  for (std::size_t k = 0; k < value.numel(); ++k) {
    characters.append(py::cast(std::u16string(1, static_cast<char16_t>(codes[k]))));
  }
  const py::module_ numpy = py::module_::import("numpy");
  return numpy.attr("array")(characters, "<U1")
      .attr("reshape")(py::tuple(py::cast(value.dims())), py::arg("order") = "F");
}

py::object cellOf(const ulv::mxArray& value) {
  py::list elements;
  for (std::size_t k = 0; k < value.numel(); ++k) elements.append(toPython(value.cellAt(k)));
  if (value.isVector() || value.isEmpty()) return elements;
  const py::module_ numpy = py::module_::import("numpy");
  py::object cells = numpy.attr("empty")(value.numel(), "O");
  for (std::size_t k = 0; k < value.numel(); ++k) cells[py::int_(k)] = elements[k];
  return cells.attr("reshape")(py::tuple(py::cast(value.dims())), py::arg("order") = "F");
}

}  // namespace

ulv::mxArray toHostArray(py::handle value) {
  if (value.is_none()) return ulv::mxArray::empty();
  if (py::isinstance<py::bool_>(value)) return ulv::mxArray::logicalScalar(value.cast<bool>());
  if (py::isinstance<py::str>(value)) return fromText(value.cast<py::str>());
  if (PyLong_Check(value.ptr()) || PyFloat_Check(value.ptr())) {
    return ulv::mxArray::scalar(value.cast<double>());
  }
  if (py::isinstance<py::list>(value) || py::isinstance<py::tuple>(value)) {
    return fromSequence(value.cast<py::sequence>());
  }
  const py::module_ numpy = py::module_::import("numpy");
  if (py::isinstance<py::array>(value) || py::isinstance(value, numpy.attr("generic"))) {
    return fromArray(numpy.attr("asarray")(value));
  }
  if (PyComplex_Check(value.ptr())) {
    throw py::type_error("complex values are not supported: the library works on real arrays");
  }
  throw py::type_error("cannot pass a " + typeName(value) +
                       " to the library (use a NumPy array, number, str, list or tuple)");
}

py::object toPython(const ulv::mxArray& value) {
  switch (value.classID()) {
    case ulv::mxUNKNOWN_CLASS:
      return py::none();
    case ulv::mxDOUBLE_CLASS:
      return elementsAs<double>(value);
    case ulv::mxUINT8_CLASS:
      return elementsAs<std::uint8_t>(value);
    case ulv::mxLOGICAL_CLASS:
      return elementsAs<bool>(value);
    case ulv::mxCHAR_CLASS:
      return textOf(value);
    case ulv::mxCELL_CLASS:
      return cellOf(value);
  }
  throw py::type_error("the library returned an array of an unknown class");
}

}  // namespace ulvpy
