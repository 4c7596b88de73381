#include <vector>

#include "host/numerics/xoshiro.hpp"

namespace ulv::xoshiro {

namespace {

// Polynomials over GF(2) of degree below 256, bit k the coefficient of x^k.
using Polynomial = std::array<std::uint64_t, 4>;

bool coefficient(const Polynomial& a, int k) {
  return (a[k / 64] >> (k % 64)) & 1;
}

// T's characteristic polynomial: monic of degree 256, `low` its lower
// coefficients. The generator's period is 2^256 - 1, so the polynomial is
// primitive and is the minimal polynomial of any bit of the state seen as a
// sequence; Berlekamp-Massey finds it from 512 terms.
struct Characteristic {
  Polynomial low{};
};

Characteristic characteristicPolynomial() {
  constexpr int kDegree = 256, kTerms = 2 * kDegree;
  State s = {0x9e3779b97f4a7c15ULL, 0xbf58476d1ce4e5b9ULL, 0x94d049bb133111ebULL, 1};
  std::vector<int> bits(kTerms);
  for (int t = 0; t < kTerms; ++t) {
    bits[t] = static_cast<int>(s[0] & 1);
    next(s);
  }
  // c: the connection polynomial, c[0] = 1; bits[t] = sum c[i] bits[t - i].
  std::vector<int> c(kTerms + 1, 0), b(kTerms + 1, 0);
  c[0] = b[0] = 1;
  int length = 0, shift = 1;
  for (int t = 0; t < kTerms; ++t) {
    int discrepancy = bits[t];
    for (int i = 1; i <= length; ++i) discrepancy ^= c[i] & bits[t - i];
    if (discrepancy == 0) {
      ++shift;
      continue;
    }
    const std::vector<int> previous = c;
    for (int i = 0; i + shift <= kTerms; ++i) c[i + shift] ^= b[i];
    if (2 * length <= t) {
      length = t + 1 - length;
      b = previous;
      shift = 1;
    } else {
      ++shift;
    }
  }
  // p(x) = x^L c(1/x): the coefficient of x^k is c[L - k].
  Characteristic p;
  for (int k = 0; k < length; ++k) {
    if (c[length - k]) p.low[k / 64] |= std::uint64_t{1} << (k % 64);
  }
  return p;
}

// a * x modulo p.
void timesX(Polynomial& a, const Characteristic& p) {
  const bool carry = coefficient(a, 255);
  for (int w = 3; w > 0; --w) a[w] = (a[w] << 1) | (a[w - 1] >> 63);
  a[0] <<= 1;
  if (carry) {
    for (int w = 0; w < 4; ++w) a[w] ^= p.low[w];
  }
}

// a * b modulo p, by Horner's rule over a's coefficients.
Polynomial product(const Polynomial& a, const Polynomial& b, const Characteristic& p) {
  Polynomial r{};
  for (int k = 255; k >= 0; --k) {
    timesX(r, p);
    if (coefficient(a, k)) {
      for (int w = 0; w < 4; ++w) r[w] ^= b[w];
    }
  }
  return r;
}

// x^(2^k) modulo p for k = 0 .. 63: any jump is a product of some of them.
struct PowerTable {
  std::array<Polynomial, 64> powers;

  PowerTable() {
    const Characteristic p = characteristicPolynomial();
    powers[0] = {2, 0, 0, 0};
    for (int k = 1; k < 64; ++k) powers[k] = product(powers[k - 1], powers[k - 1], p);
  }
};

const PowerTable& powerTable() {
  static const PowerTable table;
  return table;
}

// q(T) s = the sum of T^k s over q's terms x^k.
State applied(const Polynomial& q, State s) {
  State sum{};
  for (int k = 0; k < 256; ++k) {
    if (coefficient(q, k)) {
      for (int w = 0; w < 4; ++w) sum[w] ^= s[w];
    }
    next(s);
  }
  return sum;
}

}  // namespace

State jumped(const State& s, std::uint64_t n) {
  State out = s;
  for (int k = 0; n != 0; ++k, n >>= 1) {
    if (n & 1) out = applied(powerTable().powers[k], out);
  }
  return out;
}

}  // namespace ulv::xoshiro
