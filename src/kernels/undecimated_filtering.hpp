// The filtering of the undecimated transform on raw doubles.
//
// The transform filters an image extended by mirroring and keeps only the
// central block of each full convolution (wkeep). For odd filter lengths that
// crop is exactly central, so the block can be computed directly: each output
// sample is the filter response centred on the input sample at the same
// position, read through the mirror. These functions do that in one pass per
// filter direction, skip zero taps (the dilated filters are mostly zeros) and
// add the taps in the order of the runtime's conv2, so their results equal
// wkeep(conv2(..., E), size) element for element.
#pragma once

#include <cstddef>
#include <vector>

#include "ulvadern/array.hpp"

namespace ulv {

// A rows x cols column-major image read through its mirror extension by
// `width` samples on each side: the border sample repeated, the samples
// further in following in reverse order, zeros beyond `width`.
struct ExtendedImage {
  const double* data;
  std::size_t rows;
  std::size_t cols;
  std::size_t width;
};

// A filter that the central blocks serve: a double vector of odd length.
bool isOddLengthFilter(const mxArray& filter);
// Whether `image` is a double matrix that a mirror of `width` fits in.
bool fitsMirror(const mxArray& image, std::size_t width);
// The view of a double matrix for which fitsMirror() holds.
ExtendedImage mirrorExtension(const mxArray& image, std::size_t width);

// Output sample i reads input sample i + offset.
struct Tap {
  double weight;
  std::ptrdiff_t offset;
};

// A weighted column to add.
struct Term {
  const double* source;
  double weight;
};

// The central rows x cols block of conv2(h, E) for an odd-length vector h: a
// row filters along each row, a column along each column.
mxArray centralConv2(const mxArray& h, const ExtendedImage& e);

// Filters image columns along their length, central rows only: each column
// is copied with its mirror into one buffer that the taps then read.
class ColumnFilter {
 public:
  ColumnFilter(const mxArray& h, const ExtendedImage& e);
  // Column c filtered into out[0 .. rows).
  void apply(std::size_t c, double* out);

 private:
  ExtendedImage e_;
  std::ptrdiff_t reach_;
  std::vector<double> extended_;
  std::vector<Term> terms_;
};

// The central block of conv2(u, v, E): every column filtered with u, then
// every row of that with v (u and v odd-length vectors of either
// orientation). It is formed one output column at a time, keeping only the
// column-filtered columns that the row filter still needs.
class SeparableBlock {
 public:
  SeparableBlock(const mxArray& u, const mxArray& v, const ExtendedImage& e);
  std::size_t rows() const { return e_.rows; }
  std::size_t cols() const { return e_.cols; }
  // Output column j (0-based) into out[0 .. rows).
  void column(std::size_t j, double* out);
  // The whole block; its columns spread over the worker threads.
  mxArray toArray() const;
  // A block of the same filters and image with its own buffers, for another
  // thread.
  SeparableBlock fresh() const { return SeparableBlock(u_, v_, e_); }

 private:
  const double* columnFiltered(std::ptrdiff_t c);

  mxArray u_, v_;
  ColumnFilter down_;
  std::vector<Tap> across_;
  ExtendedImage e_;
  std::vector<double> ring_;               // column-filtered image columns
  std::vector<std::ptrdiff_t> ringHolds_;  // which column each ring slot holds
  std::vector<Term> terms_;
};

mxArray centralConv2(const mxArray& u, const mxArray& v, const ExtendedImage& e);

}  // namespace ulv
