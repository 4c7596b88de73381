// The forward and inverse transform at N = 3 against the least any
// implementation must spend: writing their output stacks once.
//
//   ./bench_transform --benchmark_counters_tabular=true
//
// ms_per_MP is wall time per megapixel of the image.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <random>

#include "auxiliary/touint.hpp"
#include "host/runtime/memory_tuning.hpp"
#include "transform/invmaltrans2d.hpp"
#include "transform/maltrans2d.hpp"
#include "ulvadern/descriptor.hpp"
#include "ulvadern/loader.hpp"

namespace ulv {
namespace {

constexpr std::size_t kLevels = 3;

LoadedLibrary& library() {
  static const std::unique_ptr<LoadedLibrary> loaded = LoadedLibrary::attach(&_mexLibrary);
  return *loaded;
}

mxArray image(std::size_t side) {
  std::mt19937 engine(1);
  std::uniform_real_distribution<double> gray(0, 255);
  mxArray x = mxArray::zeros({side, side});
  double* d = x.mutableData();
  for (std::size_t k = 0; k < x.numel(); ++k) d[k] = gray(engine);
  return x;
}

// Runs `step` once per iteration and reports its wall time per megapixel.
template <typename Step>
void perMegapixel(benchmark::State& state, std::size_t side, Step step) {
  double seconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    step();
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  const double megapixels = static_cast<double>(side * side) / 1e6;
  state.counters["ms_per_MP"] =
      1000 * seconds / static_cast<double>(state.iterations()) / megapixels;
}

void ForwardAndInverse(benchmark::State& state) {
  library();
  const auto side = static_cast<std::size_t>(state.range(0));
  const mxArray x = image(side), map = mxArray::empty(), N = mlfScalar(kLevels);
  perMegapixel(state, side, [&] {
    mxArray ch, cv;
    const mxArray ca = mlfMaltrans2d(&ch, &cv, &x, &map, &N, nullptr);
    mxArray y = mlfInvmaltrans2d(&ca, &ch, &cv, &N, nullptr);
    benchmark::DoNotOptimize(y.data());
  });
}

void Forward(benchmark::State& state) {
  library();
  const auto side = static_cast<std::size_t>(state.range(0));
  const mxArray x = image(side), map = mxArray::empty(), N = mlfScalar(kLevels);
  perMegapixel(state, side, [&] {
    mxArray ch, cv;
    mxArray ca = mlfMaltrans2d(&ch, &cv, &x, &map, &N, nullptr);
    benchmark::DoNotOptimize(ca.data());
  });
}

void Inverse(benchmark::State& state) {
  library();
  const auto side = static_cast<std::size_t>(state.range(0));
  const mxArray x = image(side), map = mxArray::empty(), N = mlfScalar(kLevels);
  mxArray ch, cv;
  const mxArray ca = mlfMaltrans2d(&ch, &cv, &x, &map, &N, nullptr);
  perMegapixel(state, side, [&] {
    mxArray y = mlfInvmaltrans2d(&ca, &ch, &cv, &N, nullptr);
    benchmark::DoNotOptimize(y.data());
  });
}

// The final 8-bit conversion of the inverse alone, on a stack of N + 1 pages.
void ConversionTo8Bit(benchmark::State& state) {
  library();
  const auto side = static_cast<std::size_t>(state.range(0));
  const mxArray x = image(side);
  mxArray stack = mxArray::zeros({side, side, kLevels + 1});
  for (std::size_t p = 0; p <= kLevels; ++p) {
    std::copy_n(x.data(), x.numel(), stack.mutableData() + p * x.numel());
  }
  perMegapixel(state, side, [&] {
    mxArray y = mlfTouint(&stack);
    benchmark::DoNotOptimize(y.data());
  });
}

// The outputs alone: three double stacks of N + 1 pages and the 8-bit stack
// (held as doubles, like every array of the runtime), each written once.
void WriteOutputStacksOnce(benchmark::State& state) {
  const auto side = static_cast<std::size_t>(state.range(0));
  const Dims stack{side, side, kLevels + 1};
  perMegapixel(state, side, [&] {
    mxArray ca = mxArray::zeros(stack), ch = mxArray::zeros(stack), cv = mxArray::zeros(stack);
    mxArray y = mxArray::zeros(stack, mxUINT8_CLASS);
    benchmark::DoNotOptimize(ca.data());
    benchmark::DoNotOptimize(ch.data());
    benchmark::DoNotOptimize(cv.data());
    benchmark::DoNotOptimize(y.data());
  });
}

#define ULV_SIZES Arg(512)->Arg(2048)->UseRealTime()->Unit(benchmark::kMillisecond)
BENCHMARK(WriteOutputStacksOnce)->ULV_SIZES;
BENCHMARK(ForwardAndInverse)->ULV_SIZES;
BENCHMARK(Forward)->ULV_SIZES;
BENCHMARK(Inverse)->ULV_SIZES;
BENCHMARK(ConversionTo8Bit)->ULV_SIZES;

}  // namespace
}  // namespace ulv

// As the command-line tool does: freed blocks are reused instead of being
// faulted in afresh at every call (ULV_DEFAULT_MALLOC=1 measures without).
int main(int argc, char** argv) {
  if (std::getenv("ULV_DEFAULT_MALLOC") == nullptr) ulv::tuneMemoryForLargeArrays();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
