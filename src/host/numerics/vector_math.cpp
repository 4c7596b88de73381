#include "host/numerics/vector_math.hpp"

#include "host/numerics/vector_math_table.hpp"

namespace ulv::vmath {

namespace {

KernelTable widestAvailable() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f")) return avx512Kernels();
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return avx2Kernels();
  return sse2Kernels();
}

const KernelTable& kernels() {
  static const KernelTable table = widestAvailable();
  return table;
}

}  // namespace

void exp(const double* in, double* out, std::size_t n) {
  kernels().exp(in, out, n);
}

void log(const double* in, double* out, std::size_t n) {
  kernels().log(in, out, n);
}

void logCoarse(const double* in, double* out, std::size_t n) {
  kernels().logCoarse(in, out, n);
}

void pow(const double* in, double exponent, double* out, std::size_t n) {
  kernels().pow(in, exponent, out, n);
}

void atan(const double* in, double* out, std::size_t n) {
  kernels().atan(in, out, n);
}

const char* instructionSet() {
  return kernels().name;
}

}  // namespace ulv::vmath
