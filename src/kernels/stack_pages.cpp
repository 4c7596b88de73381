#include "kernels/stack_pages.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "host/runtime/ops.hpp"
#include "host/runtime/pages.hpp"
#include "ulvadern/parallel.hpp"

namespace ulv {

namespace {

bool isPageOf(const mxArray& page, const mxArray& stack) {
  return page.classID() == mxDOUBLE_CLASS && page.ndims() == 2 && page.rows() == stack.rows() &&
         page.cols() == stack.cols();
}

double* pageStart(mxArray& stack, std::size_t page) {
  return stack.mutableData() + (page - 1) * stack.rows() * stack.cols();
}

}  // namespace

std::size_t existingPage(const mxArray& stack, const mxArray& k) {
  if (stack.classID() != mxDOUBLE_CLASS || k.classID() != mxDOUBLE_CLASS || !k.isScalar()) {
    return 0;
  }
  const double page = k.scalarValue();
  if (!(page >= 1) || page != std::floor(page) || page > static_cast<double>(stack.pages())) {
    return 0;
  }
  return static_cast<std::size_t>(page);
}

ExtendedImage pageView(const mxArray& stack, std::size_t page, std::size_t width) {
  const std::size_t size = stack.rows() * stack.cols();
  return {stack.data() + (page - 1) * size, stack.rows(), stack.cols(), width};
}

bool reserveStacks(std::initializer_list<Var*> stacks, const mxArray& first, std::size_t pages,
                   PageFill fill) {
  if (first.classID() != mxDOUBLE_CLASS || first.isEmpty() || pages < 2) return false;
  const Dims dims = {first.rows(), first.cols(), pages};
  for (Var* stack : stacks) {
    *stack = fill == PageFill::Zeros ? mxArray::zeros(dims) : mxArray::uninitialized(dims);
  }
  return true;
}

void zeroPage(Var& stack, std::size_t page) {
  std::fill_n(pageStart(stack.target(), page), stack->rows() * stack->cols(), 0.0);
}

double* writablePage(mxArray& stack, const mxArray& k, const mxArray& like) {
  const std::size_t page = existingPage(stack, k);
  return page != 0 && isPageOf(like, stack) ? pageStart(stack, page) : nullptr;
}

void setPage(mxArray& target, const mxArray& source, const mxArray& k) {
  const std::size_t page = existingPage(target, k);
  if (page == 0 || !isPageOf(source, target)) {
    pageAssign(target, source, k);
    return;
  }
  const double* from = source.data();
  double* to = pageStart(target, page);
  parallelRanges(source.numel(), kParallelGrain, [&](std::size_t begin, std::size_t end) {
    std::copy(from + begin, from + end, to + begin);
  });
}

void setPageToSum(mxArray& target, const mxArray& k, SeparableBlock& a, SeparableBlock& b,
                  SeparableBlock& c) {
  const std::size_t page = existingPage(target, k);
  const auto fits = [&](const SeparableBlock& t) {
    return t.rows() == target.rows() && t.cols() == target.cols();
  };
  if (page == 0 || !fits(a) || !fits(b) || !fits(c)) {
    pageAssign(target, mclPlus(mclPlus(a.toArray(), b.toArray()), c.toArray()), k);
    return;
  }
  const std::size_t rows = target.rows();
  double* const start = pageStart(target, page);
  parallelRanges(target.cols(), columnGrain(rows), [&](std::size_t begin, std::size_t end) {
    SeparableBlock ra = a.fresh(), rb = b.fresh(), rc = c.fresh();
    std::vector<double> ta(rows), tb(rows), tc(rows);
    for (std::size_t j = begin; j < end; ++j) {
      ra.column(j, ta.data());
      rb.column(j, tb.data());
      rc.column(j, tc.data());
      double* out = start + j * rows;
      for (std::size_t r = 0; r < rows; ++r) out[r] = (ta[r] + tb[r]) + tc[r];
    }
  });
}

void addInPlace(mxArray& target, const mxArray& n) {
  if (target.classID() != mxDOUBLE_CLASS || n.classID() != mxDOUBLE_CLASS || !n.isScalar()) {
    target = mclPlus(target, n);
    return;
  }
  const double shift = n.scalarValue();
  double* values = target.mutableData();
  parallelRanges(target.numel(), kParallelGrain, [&](std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) values[i] += shift;
  });
}

}  // namespace ulv
