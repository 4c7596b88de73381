#include "transform/stack_pages.hpp"

#include <algorithm>
#include <cmath>

#include "host/ops.hpp"
#include "host/pages.hpp"

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

void reserveStacks(std::initializer_list<Var*> stacks, const mxArray& first, std::size_t pages) {
  if (first.classID() != mxDOUBLE_CLASS || first.ndims() != 2 || pages < 2) return;
  for (Var* stack : stacks) *stack = mxArray::zeros({first.rows(), first.cols(), pages});
}

void setPage(mxArray& target, const mxArray& source, const mxArray& k) {
  const std::size_t page = existingPage(target, k);
  if (page == 0 || !isPageOf(source, target)) {
    pageAssign(target, source, k);
    return;
  }
  std::copy_n(source.data(), source.numel(), pageStart(target, page));
}

void setPageToSum(mxArray& target, const mxArray& k, const mxArray& a, const mxArray& b,
                  const mxArray& c) {
  const std::size_t page = existingPage(target, k);
  if (page == 0 || !isPageOf(a, target) || !isPageOf(b, target) || !isPageOf(c, target)) {
    pageAssign(target, mclPlus(mclPlus(a, b), c), k);
    return;
  }
  double* out = pageStart(target, page);
  const double* pa = a.data();
  const double* pb = b.data();
  const double* pc = c.data();
  for (std::size_t i = 0; i < a.numel(); ++i) out[i] = (pa[i] + pb[i]) + pc[i];
}

}  // namespace ulv
