// One instruction set's array functions, as vector_math dispatches them.
#pragma once

#include <cstddef>

namespace ulv::vmath {

struct KernelTable {
  const char* name;
  void (*exp)(const double*, double*, std::size_t);
  void (*log)(const double*, double*, std::size_t);
  void (*logCoarse)(const double*, double*, std::size_t);
  void (*pow)(const double*, double, double*, std::size_t);
  void (*atan)(const double*, double*, std::size_t);
};

KernelTable avx512Kernels();
KernelTable avx2Kernels();
KernelTable sse2Kernels();

}  // namespace ulv::vmath
