// Python values to host arrays and back.
//
// Host arrays are column-major and have at least two dimensions; NumPy's
// shapes carry over unchanged (a 1-D array of n becomes a 1 x n row, a 0-d
// array or Python number a 1 x 1 matrix) and elements keep their index.
//
//   in                                   host              out
//   bool, NumPy bool                     logical           bool array
//   uint8 array                          uint8             uint8 array
//   other integer/float arrays, numbers  double            float64 array
//   str                                  char row          str (one row), else '<U1' array
//   list, tuple                          1 x n cell        list (vector cells), else object array
//   object or str array                  cell of its shape
//   None                                 [] (0 x 0 double)
//   unassigned output                                      None
//
// Complex values and anything else are refused with TypeError.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <string_view>

#include "ulvadern/array.hpp"

namespace ulvpy {

namespace py = pybind11;

ulv::mxArray toHostArray(py::handle value);
py::object toPython(const ulv::mxArray& value);

// Whether the elements are bool, integer or float: what converts to doubles.
inline bool holdsRealNumbers(const py::array& array) {
  return std::string_view("buif").find(array.dtype().kind()) != std::string_view::npos;
}

// `array` converted to the dtype and layout of Array (a py::array_t) where
// needed. pybind11's array_t::ensure clears the Python error of a failed
// conversion; this raises it as it is (MemoryError for an array too large to
// convert, say).
template <typename Array>
Array convertedArray(const py::array& array) {
  return Array(static_cast<const py::object&>(array));
}

// The elements as float64 in column-major order.
using DoubleArray = py::array_t<double, py::array::f_style | py::array::forcecast>;
inline DoubleArray doublesOf(const py::array& array) {
  return convertedArray<DoubleArray>(array);
}

}  // namespace ulvpy
