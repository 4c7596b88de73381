// The uniform generator's engine, xoshiro256**, and jumps along its sequence.
// Its state moves by a linear map T over the 256 bits, so T^n is a
// polynomial in T of degree below 256 (x^n modulo T's characteristic
// polynomial): a jump of any length costs 256 steps, and parts of one long
// run of draws can be made at once, each from where the sequence is at its
// start, giving the values one engine would give in turn.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

namespace ulv::xoshiro {

using State = std::array<std::uint64_t, 4>;

inline std::uint64_t rotl(std::uint64_t x, int k) {
  return (x << k) | (x >> (64 - k));
}

// The output of `s` and its next state.
inline std::uint64_t next(State& s) {
  const std::uint64_t result = rotl(s[1] * 5, 7) * 9;
  const std::uint64_t t = s[1] << 17;
  s[2] ^= s[0];
  s[3] ^= s[1];
  s[1] ^= s[2];
  s[0] ^= s[3];
  s[2] ^= t;
  s[3] = rotl(s[3], 45);
  return result;
}

// (u + 0.5) / 2^52 for the top 52 bits u of an output: every such value is a
// double, so no rounding can reach 0 or 1. u goes through the double
// 2^52 + u (its bits are u's beside 2^52's exponent), which vectorises where
// a conversion of 64-bit integers does not.
inline double uniformOf(std::uint64_t output) {
  const double twoTo52PlusU = std::bit_cast<double>((output >> 12) | 0x4330000000000000ULL);
  return ((twoTo52PlusU - 0x1p52) + 0.5) * 0x1p-52;
}

// `s` moved on by n outputs.
State jumped(const State& s, std::uint64_t n);

}  // namespace ulv::xoshiro
