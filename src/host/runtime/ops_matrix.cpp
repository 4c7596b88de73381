// Matrix operators: product, right division, power and transpose.
#include <cmath>
#include <utility>
#include <vector>

#include "host/runtime/ops.hpp"
#include "host/runtime/ops_internal.hpp"

namespace ulv {

namespace {

void requireMatrix(const mxArray& a, std::string_view operation) {
  ops::requireNumeric(a, operation);
  if (a.ndims() > 2) hostError("Input arguments must be 2-D.");
}

// The real matrix product of two 2-D arrays whose inner sizes agree.
mxArray matrixProduct(const mxArray& a, const mxArray& b, mxClassID cls) {
  const std::size_t m = a.rows(), inner = a.cols(), n = b.cols();
  mxArray c = mxArray::zeros({m, n}, cls);
  double* out = c.mutableData();
  const double* x = a.data();
  const double* y = b.data();
  for (std::size_t j = 0; j < n; ++j) {
    for (std::size_t k = 0; k < inner; ++k) {
      const double s = y[k + j * inner];
      if (s == 0) continue;
      const double* column = x + k * m;
      double* target = out + j * m;
      for (std::size_t i = 0; i < m; ++i) target[i] += s * column[i];
    }
  }
  return c;
}

// Solves B' * X = A' for X (so that X' * B = A) by Gaussian elimination with
// partial pivoting; a singular B gives a warning and non-finite values.
mxArray solveRight(const mxArray& a, const mxArray& b) {
  const std::size_t n = b.rows(), m = a.rows();
  std::vector<double> lhs(n * n), rhs(n * m);  // lhs = B', rhs = A' (both column-major)
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < n; ++j) lhs[i + j * n] = b.at(j + i * n);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < m; ++j) rhs[i + j * n] = a.at(j + i * m);
  bool singular = false;
  for (std::size_t col = 0; col < n; ++col) {
    std::size_t pivot = col;
    for (std::size_t r = col + 1; r < n; ++r)
      if (std::abs(lhs[r + col * n]) > std::abs(lhs[pivot + col * n])) pivot = r;
    if (lhs[pivot + col * n] == 0) singular = true;
    if (pivot != col) {
      for (std::size_t j = 0; j < n; ++j) std::swap(lhs[col + j * n], lhs[pivot + j * n]);
      for (std::size_t j = 0; j < m; ++j) std::swap(rhs[col + j * n], rhs[pivot + j * n]);
    }
    for (std::size_t r = col + 1; r < n; ++r) {
      const double f = lhs[r + col * n] / lhs[col + col * n];
      if (f == 0) continue;
      for (std::size_t j = col; j < n; ++j) lhs[r + j * n] -= f * lhs[col + j * n];
      for (std::size_t j = 0; j < m; ++j) rhs[r + j * n] -= f * rhs[col + j * n];
    }
  }
  if (singular) hostWarning("Matrix is singular to working precision.");
  mxArray x = mxArray::zeros({m, n});  // X' laid out as A
  double* out = x.mutableData();
  for (std::size_t j = 0; j < m; ++j) {
    for (std::size_t i = n; i-- > 0;) {
      double s = rhs[i + j * n];
      for (std::size_t k = i + 1; k < n; ++k) s -= lhs[i + k * n] * out[j + k * m];
      out[j + i * m] = s / lhs[i + i * n];
    }
  }
  return x;
}

}  // namespace

mxArray mclMtimes(const mxArray& a, const mxArray& b) {
  if (a.numel() == 1 || b.numel() == 1) return mclTimes(a, b);
  requireMatrix(a, "mtimes");
  requireMatrix(b, "mtimes");
  if (a.cols() != b.rows()) hostError("Inner matrix dimensions must agree.");
  mxArray c = matrixProduct(a, b, ops::arithmeticClass(a, b));
  ops::settleClass(c);
  return c;
}

mxArray mclMrdivide(const mxArray& a, const mxArray& b) {
  if (b.numel() == 1) return mclRdivide(a, b);
  requireMatrix(a, "mrdivide");
  requireMatrix(b, "mrdivide");
  if (a.cols() != b.cols()) hostError("Matrix dimensions must agree.");
  if (b.rows() != b.cols()) {
    hostError("Matrix right division needs a scalar or a square divisor.");
  }
  mxArray x = solveRight(a, b).withClass(ops::arithmeticClass(a, b));
  ops::settleClass(x);
  return x;
}

mxArray mclMpower(const mxArray& a, const mxArray& b) {
  if (a.numel() == 1 && b.numel() == 1) return mlfPower(a, b);
  requireMatrix(a, "mpower");
  requireMatrix(b, "mpower");
  const double e = b.numel() == 1 ? b.at(0) : -1;
  if (a.rows() != a.cols() || b.numel() != 1 || e < 0 || e != std::floor(e) || std::isinf(e)) {
    hostError("Matrix power needs a square matrix and a non-negative integer exponent.");
  }
  const mxClassID cls = ops::arithmeticClass(a, b);
  mxArray result = mxArray::zeros({a.rows(), a.rows()});
  double* identity = result.mutableData();
  for (std::size_t k = 0; k < a.rows(); ++k) identity[k * (a.rows() + 1)] = 1;
  mxArray base = a.withClass(mxDOUBLE_CLASS);
  for (double p = e; p >= 1; p = std::floor(p / 2)) {
    if (std::fmod(p, 2) == 1) result = matrixProduct(result, base, mxDOUBLE_CLASS);
    if (p >= 2) base = matrixProduct(base, base, mxDOUBLE_CLASS);
  }
  result = result.withClass(cls);
  ops::settleClass(result);
  return result;
}

mxArray mlfCtranspose(const mxArray& a) {
  if (a.isPlaceholder())
    hostError("Undefined function or method 'ctranspose' for an unassigned value.");
  if (a.ndims() > 2) hostError("Transpose on ND array is not defined.");
  const std::size_t r = a.rows(), c = a.cols();
  mxArray t = mxArray::zeros({c, r}, a.classID());
  if (a.isCell()) {
    for (std::size_t i = 0; i < r; ++i)
      for (std::size_t j = 0; j < c; ++j) t.mutableCell(j + i * c) = a.cellAt(i + j * r);
    return t;
  }
  const double* in = a.data();
  double* out = t.mutableData();
  for (std::size_t j = 0; j < c; ++j)
    for (std::size_t i = 0; i < r; ++i) out[j + i * c] = in[i + j * r];
  return t;
}

}  // namespace ulv
