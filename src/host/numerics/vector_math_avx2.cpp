// Compiled with -mavx2 -mfma; reached only when the processor has both.
#include <immintrin.h>
#include <sleef.h>

#include "host/numerics/vector_math_kernels.hpp"

namespace {

struct Avx2 {
  using V = __m256d;
  static constexpr std::size_t width = 4;
  static V load(const double* p) { return _mm256_loadu_pd(p); }
  static void store(double* p, V v) { _mm256_storeu_pd(p, v); }
  static V broadcast(double x) { return _mm256_set1_pd(x); }
  static V exp(V x) { return Sleef_expd4_u10avx2(x); }
  static V log(V x) { return Sleef_logd4_u10avx2(x); }
  static V logCoarse(V x) { return Sleef_logd4_u35avx2(x); }
  static V pow(V x, V e) { return Sleef_powd4_u10avx2(x, e); }
  static V atan(V x) { return Sleef_atand4_u10avx2(x); }
};

}  // namespace

ulv::vmath::KernelTable ulv::vmath::avx2Kernels() {
  return kernelTable<Avx2>("avx2");
}
