// The baseline of every x86-64 processor.
#include <immintrin.h>
#include <sleef.h>

#include "host/numerics/vector_math_kernels.hpp"

namespace {

struct Sse2 {
  using V = __m128d;
  static constexpr std::size_t width = 2;
  static V load(const double* p) { return _mm_loadu_pd(p); }
  static void store(double* p, V v) { _mm_storeu_pd(p, v); }
  static V broadcast(double x) { return _mm_set1_pd(x); }
  static V exp(V x) { return Sleef_expd2_u10sse2(x); }
  static V log(V x) { return Sleef_logd2_u10sse2(x); }
  static V logCoarse(V x) { return Sleef_logd2_u35sse2(x); }
  static V pow(V x, V e) { return Sleef_powd2_u10sse2(x, e); }
  static V atan(V x) { return Sleef_atand2_u10sse2(x); }
};

}  // namespace

ulv::vmath::KernelTable ulv::vmath::sse2Kernels() {
  return kernelTable<Sse2>("sse2");
}
