// Pages of the transform's coefficient stacks, read and written where they lie.
//
// Reading a(:,:,k) or assigning a(:,:,k) = b through the runtime copies the
// page (and growing a stack page by page copies the whole stack each time).
// These helpers view and fill a page in place whenever the stack already has
// it in double precision, and leave everything else to the runtime's
// indexing: growth with zero fill, class conversion, and the errors for a
// page that does not exist.
#pragma once

#include <cstddef>
#include <initializer_list>

#include "gateway/frame.hpp"
#include "kernels/undecimated_filtering.hpp"
#include "ulvadern/array.hpp"

namespace ulv {

// The page that k names (1-based) when it is a whole number within a double
// stack's pages; 0 otherwise.
std::size_t existingPage(const mxArray& stack, const mxArray& k);
// Page `page` (as existingPage() gives it) seen through a mirror of `width`.
ExtendedImage pageView(const mxArray& stack, std::size_t page, std::size_t width);

// Gives each stack `pages` pages of first's page size (rows x columns), when
// `first` is a non-empty double array and pages >= 2; the pages then fill in
// place. They are zeros, or left unset when the caller writes every one
// (PageFill::ByCaller). Returns whether the stacks were given their pages.
enum class PageFill { Zeros, ByCaller };
bool reserveStacks(std::initializer_list<Var*> stacks, const mxArray& first, std::size_t pages,
                   PageFill fill = PageFill::Zeros);
// Sets page `page` (1-based, existing) of a double stack to zeros.
void zeroPage(Var& stack, std::size_t page);
// The elements of page k of a double stack, to write in place, when the
// stack has that page and `like` is a double matrix of its page size; null
// otherwise.
double* writablePage(mxArray& stack, const mxArray& k, const mxArray& like);
// target(:,:,k) = source.
void setPage(mxArray& target, const mxArray& source, const mxArray& k);
// target(:,:,k) = (a + b) + c, the blocks formed column by column straight
// into the page.
void setPageToSum(mxArray& target, const mxArray& k, SeparableBlock& a, SeparableBlock& b,
                  SeparableBlock& c);
// target = target + n, in place for a double array and a double scalar.
void addInPlace(mxArray& target, const mxArray& n);

}  // namespace ulv
