// wkeep: the part of a vector or matrix of a given length or size.
//
//   wkeep(x, len)          central len elements of a vector (also with "c")
//   wkeep(x, len, "l"/"r") the first / last len elements
//   wkeep(x, len, first)   x(first:first+len-1)
//   wkeep(x, [r c])        central r x c block of a matrix; a third input
//                          "c", "l"/"u", "r"/"d" or [firstRow firstCol] as above
//
// When the excess of a dimension is odd, the central part cannot be exactly
// central: it starts at 1 + floor(excess/2), so the end (right or bottom)
// loses the extra sample, as the host's wkeep does.
//
// Sizes must be whole numbers between 0 and the array's own size; anything
// else is an error (the host's wkeep silently returns the whole array for a
// size that is too large, which hides mistakes).
#include <array>
#include <vector>

#include "host/functions/functions.hpp"
#include "host/functions/hostfn_checks.hpp"
#include "ulvadern/errors.hpp"

namespace ulv::hostfn {

namespace {

enum class Side { Centre, Start, End, Given };

struct Placement {
  Side side = Side::Centre;
  std::size_t first = 0;  // 1-based, for Side::Given
};

std::vector<std::size_t> keptSize(const mxArray& sizes) {
  requireNumeric("wkeep", sizes, "the size");
  if (sizes.numel() != 1 && sizes.numel() != 2) {
    hostError("wkeep: the size must be a length or a [rows cols] pair (got " +
              dimsText(sizes.dims()) + " values).");
  }
  std::vector<std::size_t> keep;
  for (std::size_t k = 0; k < sizes.numel(); ++k) {
    keep.push_back(requireCount("wkeep", sizes.at(k), "the size"));
  }
  return keep;
}

Side sideOf(const std::string& option) {
  if (option == "c") return Side::Centre;
  if (option == "l" || option == "u") return Side::Start;
  if (option == "r" || option == "d") return Side::End;
  hostError("wkeep: unknown option '" + option + "'; expected 'c', 'l', 'r', 'u' or 'd'.");
}

std::vector<Placement> placements(const Inputs& in, std::size_t count) {
  if (in.size() < 3) return std::vector<Placement>(count);
  const mxArray& option = requireNumeric("wkeep", in[2], "the option");
  if (option.isChar()) return std::vector<Placement>(count, {sideOf(option.toString())});
  if (option.numel() != count) {
    hostError("wkeep: the first indices must have one value per kept dimension.");
  }
  std::vector<Placement> where;
  for (std::size_t k = 0; k < count; ++k) {
    where.push_back({Side::Given, requireCount("wkeep", option.at(k), "a first index")});
  }
  return where;
}

// 0-based start of the kept part of one dimension.
std::size_t firstKept(std::size_t length, std::size_t keep, const Placement& where) {
  switch (where.side) {
    case Side::Centre:
      return (length - keep) / 2;
    case Side::Start:
      return 0;
    case Side::End:
      return length - keep;
    case Side::Given:
      break;
  }
  if (where.first < 1 || where.first - 1 + keep > length) {
    hostError("wkeep: the part starting at " + std::to_string(where.first) + " leaves the array.");
  }
  return where.first - 1;
}

mxArray crop(const mxArray& x, const Dims& keep, const std::array<std::size_t, 2>& first) {
  mxArray kept = mxArray::uninitialized(keep, x.classID());
  double* values = kept.mutableData();
  const double* source = x.data();
  for (std::size_t c = 0; c < keep[1]; ++c) {
    for (std::size_t r = 0; r < keep[0]; ++r) {
      values[c * keep[0] + r] = source[(first[1] + c) * x.rows() + first[0] + r];
    }
  }
  return kept;
}

}  // namespace

Outputs wkeep(int, const Inputs& in) {
  requireInputCount("wkeep", in, 2, 3);
  const mxArray& x = requireNumeric("wkeep", in[0], "the array");
  const std::vector<std::size_t> sizes = keptSize(in[1]);
  const std::vector<Placement> where = placements(in, sizes.size());
  if (x.ndims() > 2 || (sizes.size() == 1 && !x.isVector())) {
    hostError("wkeep: a length applies to a vector and a [rows cols] size to a matrix (got a " +
              dimsText(x.dims()) + " array).");
  }
  Dims keep = x.dims();
  std::array<Placement, 2> placement{Placement{Side::Start}, Placement{Side::Start}};
  if (sizes.size() == 1) {
    const std::size_t along = x.rows() == 1 ? 1 : 0;
    keep[along] = sizes[0];
    placement[along] = where[0];
  } else {
    keep = {sizes[0], sizes[1]};
    placement = {where[0], where[1]};
  }
  std::array<std::size_t, 2> first{};
  for (std::size_t d = 0; d < 2; ++d) {
    if (keep[d] > x.dims()[d]) {
      hostError("wkeep: cannot keep " + dimsText(keep) + " of a " + dimsText(x.dims()) + " array.");
    }
    first[d] = firstKept(x.dims()[d], keep[d], placement[d]);
  }
  return {crop(x, keep, first)};
}

}  // namespace ulv::hostfn
