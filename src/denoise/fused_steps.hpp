// Element-wise steps of the fast pipeline computed in one pass, without the
// image-sized temporaries of the composed runtime operations written beside
// each. Their operands are non-empty double arrays, stacks and pages of the
// same page size. Steps marked "to the bit" repeat the runtime's
// arithmetic exactly; the others use the vectorised exp, log, pow and atan
// and multiply by reciprocals of scalars, and agree within 1e-12 relative
// (a few units in the last place on the values the denoiser meets).
#pragma once

#include <cstddef>
#include <vector>

#include "ulvadern/array.hpp"

namespace ulv::denoise {

// atan(ch(:,:,p) ./ (cv(:,:,p) + offset)) for pages p = first .. last (1-based).
mxArray anglesOfPages(const mxArray& ch, const mxArray& cv, double offset, std::size_t first,
                      std::size_t last);

// P = stack(:,:,page) scaled by its largest magnitude, to the bit:
//   largest = max(max(abs(P))) (NaN ignored unless every element is NaN),
//   values = P / largest.
struct NormalisedPage {
  mxArray values;
  double largest;
};
// `into` lends its storage to values where it is a double matrix of the
// page's size held nowhere else.
NormalisedPage normalisedPage(const mxArray& stack, std::size_t page, mxArray into = {});

// The positions (0-based, in column order) where rand(H, W) <= threshold:
// the draws used as they come where the random source allows, else drawn as
// the array a recorder or replayer sees.
std::vector<std::size_t> samplePositions(const mxArray& H, const mxArray& W, double threshold);

// v at the positions, as a column: v(k + 1) for each position k, in order;
// with samplePositions, v(rand(H, W) <= threshold) to the bit.
mxArray valuesAt(const mxArray& v, const std::vector<std::size_t>& positions);

// The mixture's edge posterior at every coefficient v:
//   pnoise = exp(-((v / x1) .^ 2)) / x1,  pedge likewise with x2,
//   l = (ped * pedge) ./ ((pn * pnoise + ped * pedge) + guard).
struct MixtureParameters {
  double x1, x2, pn, ped, guard;
};
// l goes to out[0 .. v.numel() - 1].
void edgePosterior(const mxArray& v, const MixtureParameters& p, double* out);

// stack = stack .^ exponent, where it lies (a stack held elsewhere too is
// copied first).
void raiseToPowerInPlace(mxArray& stack, double exponent);

// ((pages[0] + pages[1] + ...) ./ count) .^ exponent, the sum in page order;
// each page holds `dims` elements.
mxArray powerMean(const std::vector<const double*>& pages, const Dims& dims, double count,
                  double exponent);

}  // namespace ulv::denoise
