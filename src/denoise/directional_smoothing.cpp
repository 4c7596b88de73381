#include "denoise/directional_smoothing.hpp"

#include "denoise/angle_smoothing.hpp"
#include "ulvadern/errors.hpp"

namespace ulv::denoise {

void smoothAlongAnglesAndWeight(const mxArray& F, const mxArray& angles, std::size_t anglePage,
                                const SectorLimits& limits, std::span<const mxArray* const> kernels,
                                double gain, mxArray& D, std::size_t page) {
  const std::size_t size = F.rows() * F.cols();
  double* next = D.mutableData() + page * size;
  const double* current = next - size;
  FusedTaps taps;
  if (!fusedTapsOf(kernels, taps)) {
    hostError("ulvadern: a direction kernel with more than 3 nonzero or a non-finite tap.");
  }
  smoothAlongAnglesFusedAndWeight(F, angles.data() + (anglePage - 1) * size, taps, limits, gain,
                                  current, next);
}

}  // namespace ulv::denoise
