// The array loops behind vector_math, instantiated once per instruction set
// by the files vector_math_<isa>.cpp, each compiled for its set. Everything
// here has internal linkage so that no code built for a wider set can be
// shared with callers built for a narrower one.
#pragma once

#include <cstddef>
#include <cstring>

#include "host/numerics/vector_math_table.hpp"

namespace {

// Lanes must provide: type V, width, load, store, broadcast, and the SLEEF
// functions exp, log, logCoarse, pow, atan on V.
template <class Lanes, class Op>
void applyLanes(const double* in, double* out, std::size_t n, Op op) {
  constexpr std::size_t w = Lanes::width;
  std::size_t k = 0;
  for (; k + w <= n; k += w) Lanes::store(out + k, op(Lanes::load(in + k)));
  if (k == n) return;
  // The tail goes through a full vector too, so that an element's result
  // does not depend on its position in the array.
  double buffer[w] = {};
  std::memcpy(buffer, in + k, (n - k) * sizeof(double));
  Lanes::store(buffer, op(Lanes::load(buffer)));
  std::memcpy(out + k, buffer, (n - k) * sizeof(double));
}

template <class Lanes>
ulv::vmath::KernelTable kernelTable(const char* name) {
  using V = typename Lanes::V;
  return {
      name,
      [](const double* in, double* out, std::size_t n) {
        applyLanes<Lanes>(in, out, n, [](V x) { return Lanes::exp(x); });
      },
      [](const double* in, double* out, std::size_t n) {
        applyLanes<Lanes>(in, out, n, [](V x) { return Lanes::log(x); });
      },
      [](const double* in, double* out, std::size_t n) {
        applyLanes<Lanes>(in, out, n, [](V x) { return Lanes::logCoarse(x); });
      },
      [](const double* in, double exponent, double* out, std::size_t n) {
        const V e = Lanes::broadcast(exponent);
        applyLanes<Lanes>(in, out, n, [e](V x) { return Lanes::pow(x, e); });
      },
      [](const double* in, double* out, std::size_t n) {
        applyLanes<Lanes>(in, out, n, [](V x) { return Lanes::atan(x); });
      },
  };
}

}  // namespace
