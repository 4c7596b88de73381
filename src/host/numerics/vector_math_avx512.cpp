// Compiled with -mavx512f; reached only when the processor has AVX-512F.
#include <immintrin.h>
#include <sleef.h>

#include "host/numerics/vector_math_kernels.hpp"

namespace {

struct Avx512 {
  using V = __m512d;
  static constexpr std::size_t width = 8;
  static V load(const double* p) { return _mm512_loadu_pd(p); }
  static void store(double* p, V v) { _mm512_storeu_pd(p, v); }
  static V broadcast(double x) { return _mm512_set1_pd(x); }
  static V exp(V x) { return Sleef_expd8_u10avx512f(x); }
  static V log(V x) { return Sleef_logd8_u10avx512f(x); }
  static V logCoarse(V x) { return Sleef_logd8_u35avx512f(x); }
  static V pow(V x, V e) { return Sleef_powd8_u10avx512f(x, e); }
  static V atan(V x) { return Sleef_atand8_u10avx512f(x); }
};

}  // namespace

ulv::vmath::KernelTable ulv::vmath::avx512Kernels() {
  return kernelTable<Avx512>("avx512f");
}
