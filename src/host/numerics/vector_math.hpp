// Element-wise exp, log, pow and atan over whole arrays, vectorised with
// SLEEF at the widest instruction set the processor offers (AVX-512, AVX2 +
// FMA, else SSE2). Every result is within 1 unit in the last place of the
// exact value, like the C library's; the two may differ in that last bit.
// The input and output may be the same array.
#pragma once

#include <cstddef>

namespace ulv::vmath {

void exp(const double* in, double* out, std::size_t n);
void log(const double* in, double* out, std::size_t n);  // NaN below 0, as the runtime's log
// log within 3.5 units in the last place, at about half the cost: for sums
// of many logarithms, where the last bits of each term do not matter.
void logCoarse(const double* in, double* out, std::size_t n);
void pow(const double* in, double exponent, double* out, std::size_t n);
void atan(const double* in, double* out, std::size_t n);

// The instruction set in use: "avx512f", "avx2" or "sse2".
const char* instructionSet();

}  // namespace ulv::vmath
