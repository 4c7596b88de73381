// Operations of the array runtime, with the host's semantics.
//
// Indices are 1-based; an index argument is a double array of positions, a
// logical mask, or the colon index (mlfCreateColonIndex). Element-wise
// operators expand scalars; otherwise sizes must agree. Every failure raises
// a host error in the host's wording.
#pragma once

#include <initializer_list>
#include <string_view>

#include "ulvadern/array.hpp"

namespace ulv {

// ---- operators ------------------------------------------------------------
// Result class: double, except that uint8 with double or uint8 gives uint8
// (rounded and saturated like mlfUint8). Comparisons give logical arrays.
mxArray mclPlus(const mxArray& a, const mxArray& b);
mxArray mclMinus(const mxArray& a, const mxArray& b);
mxArray mclTimes(const mxArray& a, const mxArray& b);     // .*
mxArray mclRdivide(const mxArray& a, const mxArray& b);   // ./
mxArray mlfPower(const mxArray& a, const mxArray& b);     // .^
mxArray mclMtimes(const mxArray& a, const mxArray& b);    // *  (matrix product)
mxArray mclMrdivide(const mxArray& a, const mxArray& b);  // /  (a * inv(b); b scalar or square)
mxArray mclMpower(const mxArray& a,
                  const mxArray& b);  // ^  (scalar, or square matrix to an integer)
mxArray mclUminus(const mxArray& a);
mxArray mclLt(const mxArray& a, const mxArray& b);
mxArray mclLe(const mxArray& a, const mxArray& b);
mxArray mclGt(const mxArray& a, const mxArray& b);
mxArray mclGe(const mxArray& a, const mxArray& b);
// a == b as an `if` condition: true when every element is equal (and non-empty).
bool mclEqBool(const mxArray& a, const mxArray& b);
// The truth of an `if` condition: non-empty and every element nonzero.
bool mlfTobool(const mxArray& a);

// ---- indexing ---------------------------------------------------------------
mxArray mlfCreateColonIndex();
bool isColonIndex(const mxArray& index);
// start:stop (step null) or start:step:stop, as a double row (possibly 1x0).
mxArray mlfColon(const mxArray& start, const mxArray& stepOrStop, const mxArray* stop = nullptr);
mxArray colonRange(double start, double stop);
mxArray colonRange(double start, double step, double stop);

mxArray mclArrayRef1(const mxArray& a, const mxArray& i);
mxArray mclArrayRef2(const mxArray& a, const mxArray& i, const mxArray& j);
mxArray mclIntArrayRef1(const mxArray& a, int i);
// format "(?)", "(?,?)", "(?,?,?)" (subscripts) or "{?}" (cell contents,
// which must name exactly one element).
mxArray mlfIndexRef(const mxArray& a, std::string_view format,
                    std::initializer_list<const mxArray*> subscripts);

// Indexed assignment: grows the target (zero fill) as needed; a placeholder
// target becomes an array of the source's class; a scalar source expands.
void mclArrayAssign1(mxArray& target, const mxArray& source, const mxArray& i);
void mclArrayAssign2(mxArray& target, const mxArray& source, const mxArray& i, const mxArray& j);
void mclIntArrayAssign1(mxArray& target, const mxArray& source, int i);
void mlfIndexAssign(mxArray& target, std::string_view format, const mxArray& source,
                    std::initializer_list<const mxArray*> subscripts);

// [a, b, ...] and [a; b; ...]; 0x0 operands are skipped.
mxArray mlfHorzcat(std::initializer_list<mxArray> parts);
mxArray mlfVertcat(std::initializer_list<mxArray> parts);

// ---- sizes and construction -------------------------------------------------
int mclLengthInt(const mxArray& a);                     // largest dimension, 0 if empty
mxArray mlfSize(const mxArray& a);                      // row of all dimensions
mxArray mlfSize(const mxArray& a, const mxArray& dim);  // one dimension (1 beyond ndims)
mxArray mlfZeros(std::initializer_list<mxArray> sizes);
// The size that zeros/rand/randn arguments ask for: () is 1x1, (n) n x n,
// ([r c ...]) and (r, c, ...) as given, ([]) 0x0; negative counts as 0.
Dims sizeArguments(std::initializer_list<mxArray> sizes);  // zeros(r, c, ...) or zeros([r c ...])
mxArray mlfDiag(const mxArray& v);        // vector -> diagonal matrix; matrix -> diagonal column
mxArray mlfCtranspose(const mxArray& a);  // 2-D only

// ---- mathematics --------------------------------------------------------------
mxArray mlfAbs(const mxArray& a);
mxArray mlfAtan(const mxArray& a);
mxArray mlfExp(const mxArray& a);
mxArray mlfLog(const mxArray& a);  // NaN for negative arguments (no complex class)
mxArray mlfFloor(const mxArray& a);
// max/min along the first non-singleton dimension (NaN ignored unless all NaN),
// or element-wise between two arrays.
mxArray mlfMax(const mxArray& a, const mxArray* b = nullptr);
mxArray mlfMin(const mxArray& a, const mxArray* b = nullptr);
// sum along the first non-singleton dimension, or along `dim`.
mxArray mlfSum(const mxArray& a, const mxArray* dim = nullptr);

// conv2(A, B), conv2(A, B, shape), conv2(u, v, A), conv2(u, v, A, shape);
// shape "full" (default), "same" or "valid". Zero taps are skipped.
mxArray mlfConv2(const mxArray& a, const mxArray& b, const mxArray* c = nullptr,
                 const mxArray* d = nullptr);

mxArray mlfDouble(const mxArray& a);
// Rounds to nearest with halves away from zero, saturates to 0..255, NaN -> 0.
mxArray mlfUint8(const mxArray& a);

}  // namespace ulv
