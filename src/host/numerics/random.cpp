#include "ulvadern/random.hpp"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

#include "host/numerics/uniform_positions.hpp"
#include "host/numerics/xoshiro.hpp"
#include "host/runtime/ops.hpp"
#include "ulvadern/errors.hpp"

namespace ulv {

namespace {

std::uint64_t splitmix64(std::uint64_t& x) {
  std::uint64_t z = (x += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

// One thread's generators. Threads never share one, so hosts running on
// several threads neither disturb nor depend on each other.
class RandomSource {
 public:
  RandomSource() { seed(kDefaultSeed); }

  void seed(std::uint64_t value) {
    for (std::uint64_t& word : state_) word = splitmix64(value);
    spareNormal_.reset();
  }

  double uniform() { return xoshiro::uniformOf(xoshiro::next(state_)); }

  // The positions among the next n uniforms of those at most `threshold`.
  std::vector<std::size_t> positionsAtMost(std::size_t n, double threshold) {
    std::vector<std::size_t> positions = xoshiro::positionsAtMost(state_, n, threshold);
    state_ = xoshiro::jumped(state_, n);
    return positions;
  }

  // out[0 .. n): normals by the polar method, in pairs (a, b) * factor from
  // uniforms (a, b) in the unit disc; the second of a pair no element takes
  // is kept for the next draw. The accepted pairs of a batch are drawn
  // first, then their factors formed in one loop, where the rejection's
  // unpredictable branch no longer stalls the logarithm, square root and
  // division.
  void normals(double* out, std::size_t n) {
    std::size_t k = 0;
    if (n > 0 && spareNormal_) {
      out[k++] = *spareNormal_;
      spareNormal_.reset();
    }
    constexpr std::size_t kBatch = 256;
    double a[kBatch], b[kBatch], s[kBatch];
    while (k < n) {
      const std::size_t pairs = std::min(kBatch, (n - k + 1) / 2);
      for (std::size_t p = 0; p < pairs;) {
        a[p] = 2 * uniform() - 1;
        b[p] = 2 * uniform() - 1;
        s[p] = a[p] * a[p] + b[p] * b[p];
        p += s[p] < 1 && s[p] != 0 ? 1 : 0;
      }
      for (std::size_t p = 0; p < pairs; ++p) {
        const double factor = std::sqrt(-2 * std::log(s[p]) / s[p]);
        out[k++] = a[p] * factor;
        if (k < n) {
          out[k++] = b[p] * factor;
        } else {
          spareNormal_ = b[p] * factor;
        }
      }
    }
  }

 private:
  xoshiro::State state_ = {};
  std::optional<double> spareNormal_;
};

thread_local RandomSource source;

void uniforms(RandomSource& generator, double* out, std::size_t n) {
  for (std::size_t k = 0; k < n; ++k) out[k] = generator.uniform();
}
thread_local std::function<void(const RandomDraw&)> recorder;
thread_local RandomReplayer replayer;

template <typename Draw>
mxArray drawArray(RandomKind kind, std::initializer_list<mxArray> sizes, Draw draw) {
  const Dims dims = sizeArguments(sizes);
  mxArray values;
  if (replayer) {
    values = replayer(kind, dims);
    if (values.classID() != mxDOUBLE_CLASS) hostError("The replayed random draw is not double.");
    if (values.dims() != dims) {
      hostError("The replayed random draw is " + dimsText(values.dims()) + ", not the " +
                dimsText(dims) + " requested.");
    }
  } else {
    values = mxArray::uninitialized(dims);
    draw(source, values.mutableData(), values.numel());
  }
  if (recorder) recorder(RandomDraw{kind, values});
  return values;
}

}  // namespace

void seedRandom(std::uint64_t seed) {
  source.seed(seed);
}

mxArray mlfNRand(std::initializer_list<mxArray> sizes) {
  return drawArray(RandomKind::Uniform, sizes, uniforms);
}

mxArray mlfNRandn(std::initializer_list<mxArray> sizes) {
  return drawArray(RandomKind::Normal, sizes,
                   [](RandomSource& s, double* out, std::size_t n) { s.normals(out, n); });
}

bool drawPositionsAtMost(std::size_t n, double threshold, std::vector<std::size_t>& positions) {
  if (recorder || replayer) return false;
  positions = source.positionsAtMost(n, threshold);
  return true;
}

bool drawsDirectly() {
  return !recorder && !replayer;
}

void setRandomRecorder(std::function<void(const RandomDraw&)> newRecorder) {
  recorder = std::move(newRecorder);
}

void setRandomReplayer(RandomReplayer newReplayer) {
  replayer = std::move(newReplayer);
}

}  // namespace ulv
