#include "kernels/gaussian.hpp"

#include "host/numerics/vector_math.hpp"
#include "host/runtime/ops.hpp"

namespace ulv {

mxArray gaussianShape(const mxArray& v, const mxArray& width) {
  return mlfExp(mclUminus(mlfPower(mclMrdivide(v, width), mlfScalar(2))));
}

// Cloned per instruction set for wider vectors; the arithmetic is the same in
// every clone (no contraction to fused multiply-adds).
[[gnu::target_clones("avx512f", "avx2", "default")]] void gaussianShapes(const double* v,
                                                                         std::size_t n,
                                                                         double width,
                                                                         double* out) {
  const double reciprocal = 1 / width;
  for (std::size_t k = 0; k < n; ++k) {
    const double scaled = v[k] * reciprocal;
    out[k] = -(scaled * scaled);
  }
  vmath::exp(out, out, n);
}

}  // namespace ulv
