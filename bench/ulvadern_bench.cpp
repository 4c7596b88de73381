// ulvadern at its defaults on the noisy camera sample (512 x 512) and on the
// same image tiled 4 x 4 (2048 x 2048), seeded before every call.
//
//   ./bench_ulvadern --benchmark_counters_tabular=true   time and phase split
//   ./bench_ulvadern --peak-memory 2048 [THREADS]        peak memory, one call
//   ./bench_ulvadern --write-images DIR                  the images, as PNG
//
// Counters: ms_per_MP (wall time per megapixel), the phases in ms per call
// (prepare, transform, fits, masks, mat_writes, fusion, reconstruction),
// evaluations_per_fit, and for each memory-bound phase its GB/s (<phase>_GBps)
// over the least bytes it must move (see MinimumBytes); Copy/<side> gives the
// machine's copy bandwidth at the same sizes, in the same run. Peak memory is the growth of the
// maximum resident set during one call, in doubles (8 bytes) per pixel; run it in a fresh process.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "auxiliary/gaussfit_sum.hpp"
#include "denoise/phases.hpp"
#include "host/files/matfile.hpp"
#include "host/runtime/memory_tuning.hpp"
#include "image_io.hpp"
#include "ulvadern/defaults.hpp"
#include "ulvadern/descriptor.hpp"
#include "ulvadern/loader.hpp"
#include "ulvadern/parallel.hpp"
#include "ulvadern/random.hpp"
#include "ulvadern/work_directory_store.hpp"

namespace ulv {
namespace {

namespace fs = std::filesystem;

LoadedLibrary& library() {
  static const std::unique_ptr<LoadedLibrary> loaded = LoadedLibrary::attach(&_mexLibrary);
  return *loaded;
}

// The sample, tiled to side x side (side a multiple of its size), as a double matrix.
mxArray sampleImage(std::size_t side) {
  const ulvcli::Image sample = ulvcli::loadImage(fs::path(ULV_SAMPLES_DIR) / "camera_noisy.png");
  const auto w = static_cast<std::size_t>(sample.width),
             h = static_cast<std::size_t>(sample.height);
  if (sample.channels != 1 || side % w != 0 || side % h != 0) {
    throw std::runtime_error("camera_noisy.png: expected a gray image whose size divides the side");
  }
  mxArray x = mxArray::zeros({side, side});
  double* d = x.mutableData();
  for (std::size_t c = 0; c < side; ++c) {
    for (std::size_t r = 0; r < side; ++r) d[c * side + r] = sample.samples[(r % h) * w + c % w];
  }
  return x;
}

// A scratch directory for the library's MAT-files, made current on this thread.
class Scratch {
 public:
  Scratch()
      : path_(fs::temp_directory_path() / ("ulv-bench-" + std::to_string(::getpid()))),
        created_(fs::create_directories(path_)),
        scope_(path_.string()) {}
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }

 private:
  fs::path path_;
  bool created_;
  ScopedHostDirectory scope_;
};

// Whether calls keep the work directory's files in memory (and drop the
// masks file), as the CLI's default run does.
bool filesInMemory = false;

mxArray denoise(const mxArray& x) {
  std::optional<ScopedMemoryWorkDirectory> memory;
  if (filesInMemory) memory.emplace(std::vector<std::string>{"mascaras"});
  seedRandom(kDefaultSeed);
  return library().call("ulvadern", 1, {x})[0];
}

// The least bytes each memory-bound phase must read and write at N levels, in
// pages of the bordered image ((side + 2)^2 doubles):
//   prepare         read the image (side^2 doubles), write the bordered one (1 page)
//   transform       read 1 page; write ca, ch, cv (N + 1 pages each) and the
//                   angles of levels 2 .. N (N - 1 pages)
//   masks           read the N - 1 masked detail pages of both orientations,
//                   write as many mask pages (the fits' samples are negligible)
//   fusion          read 2 (N - 1) mask pages, N - 1 angle pages and 2 (N - 1)
//                   detail pages; write 2 (N - 1) weighted pages
//   reconstruction  read the coarsest page and the 2 (N - 1) weighted pages,
//                   write the 8-bit image (side^2 bytes)
struct MinimumBytes {
  double prepare, transform, masks, fusion, reconstruction;

  MinimumBytes(std::size_t side, int levels) {
    const double pixels = static_cast<double>(side * side);
    const double page = 8.0 * static_cast<double>((side + 2) * (side + 2));
    const double masked = levels - 1;
    prepare = 8 * pixels + page;
    transform = page + (3 * (levels + 1) + masked) * page;
    masks = 2 * masked * page * 2;
    fusion = 7 * masked * page;
    reconstruction = (1 + 2 * masked) * page + pixels;
  }
  double total() const { return prepare + transform + masks + fusion + reconstruction; }
};

// ulvadern on a side x side image with `threads` worker threads.
void denoiseTimed(benchmark::State& state, std::size_t side, unsigned threads) {
  library();
  ScopedWorkerThreads workers(threads);
  const mxArray x = sampleImage(side);
  Scratch scratch;
  denoise::PhaseTimes total;
  double seconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    mxArray y = denoise(x);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    benchmark::DoNotOptimize(y.data());
    const denoise::PhaseTimes& t = denoise::phaseTimes();
    total.prepare += t.prepare;
    total.transform += t.transform;
    total.fits += t.fits;
    total.masks += t.masks;
    total.matWrites += t.matWrites;
    total.fusion += t.fusion;
    total.reconstruction += t.reconstruction;
    total.fitCount += t.fitCount;
    total.evaluations += t.evaluations;
  }
  const double calls = static_cast<double>(state.iterations());
  const double megapixels = static_cast<double>(side * side) / 1e6;
  auto ms = [&](double s) { return 1000 * s / calls; };
  state.counters["ms_per_MP"] = ms(seconds) / megapixels;
  state.counters["prepare"] = ms(total.prepare);
  state.counters["transform"] = ms(total.transform);
  state.counters["fits"] = ms(total.fits);
  state.counters["masks"] = ms(total.masks);
  state.counters["mat_writes"] = ms(total.matWrites);
  state.counters["fusion"] = ms(total.fusion);
  state.counters["reconstruction"] = ms(total.reconstruction);
  state.counters["evaluations_per_fit"] =
      total.fitCount > 0 ? static_cast<double>(total.evaluations) / total.fitCount : 0;
  const MinimumBytes bytes(side, kDefaultLevels);
  auto gbps = [&](double phaseBytes, double s) { return phaseBytes * calls / s / 1e9; };
  state.counters["prepare_GBps"] = gbps(bytes.prepare, total.prepare);
  state.counters["transform_GBps"] = gbps(bytes.transform, total.transform);
  state.counters["masks_GBps"] = gbps(bytes.masks, total.masks);
  state.counters["fusion_GBps"] = gbps(bytes.fusion, total.fusion);
  state.counters["reconstruction_GBps"] = gbps(bytes.reconstruction, total.reconstruction);
  state.counters["minimum_MB"] = bytes.total() / 1e6;
}

// At the defaults: one thread.
void Ulvadern(benchmark::State& state) {
  denoiseTimed(state, static_cast<std::size_t>(state.range(0)), 1);
}

BENCHMARK(Ulvadern)->Arg(512)->Arg(2048)->UseRealTime()->Unit(benchmark::kMillisecond);

// The work directory's files in memory, one thread.
void UlvadernInMemory(benchmark::State& state) {
  filesInMemory = true;
  denoiseTimed(state, static_cast<std::size_t>(state.range(0)), 1);
  filesInMemory = false;
}

BENCHMARK(UlvadernInMemory)->Arg(512)->Arg(2048)->UseRealTime()->Unit(benchmark::kMillisecond);

// The element-wise steps spread over two threads (ulvadern denoise --threads 2).
void UlvadernTwoThreads(benchmark::State& state) {
  denoiseTimed(state, static_cast<std::size_t>(state.range(0)), 2);
}

BENCHMARK(UlvadernTwoThreads)->Arg(512)->Arg(2048)->UseRealTime()->Unit(benchmark::kMillisecond);

// Two threads, the files in memory: the CLI's default run on two cores.
void UlvadernTwoThreadsInMemory(benchmark::State& state) {
  filesInMemory = true;
  denoiseTimed(state, static_cast<std::size_t>(state.range(0)), 2);
  filesInMemory = false;
}

BENCHMARK(UlvadernTwoThreadsInMemory)
    ->Arg(512)
    ->Arg(2048)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// Copies one stack (N + 1 pages of the bordered image) between two buffers
// that stay allocated, as the tool reuses freed memory: the bandwidth the
// phases' GB/s compare with. GBps counts the bytes read and written.
void Copy(benchmark::State& state) {
  const auto side = static_cast<std::size_t>(state.range(0));
  const std::size_t n = (side + 2) * (side + 2) * (kDefaultLevels + 1);
  std::vector<double> from(n, 1.0), to(n, 0.0);
  double seconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    std::memcpy(to.data(), from.data(), n * sizeof(double));
    benchmark::ClobberMemory();
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    from[0] = to[n - 1];
  }
  const double bytes = 2.0 * sizeof(double) * static_cast<double>(n);
  state.counters["GBps"] = bytes * static_cast<double>(state.iterations()) / seconds / 1e9;
}

BENCHMARK(Copy)->Arg(512)->Arg(2048)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The sample the objective benchmarks evaluate: 10000 values.
mxArray objectiveSample() {
  mxArray v = mxArray::zeros({10000, 1});
  for (std::size_t k = 0; k < v.numel(); ++k) v.mutableData()[k] = std::sin(0.37 * k) * 0.3;
  return v;
}

// The points at which central differences evaluate the objective: a point,
// then each parameter moved up and down in turn; each round starts from a
// new point, as the next iterate.
class CentralProbes {
 public:
  static constexpr int kPerRound = 7;
  template <typename Evaluate>
  void round(Evaluate evaluate) {
    for (int probe = 0; probe < kPerRound; ++probe) {
      std::array<double, 3> x = base_;
      if (probe > 0) x[(probe - 1) / 2] += probe % 2 == 1 ? kStep : -kStep;
      evaluate(x);
    }
    for (double& b : base_) b *= 1 + 1e-4;
  }
  static void countEvaluations(benchmark::State& state) {
    state.counters["seconds_per_evaluation"] = benchmark::Counter(
        kPerRound, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  }

 private:
  static constexpr double kStep = 6e-6;
  std::array<double, 3> base_ = {0.05, 0.4, 0.7};
};

// Objective evaluations as the minimiser makes them: gaussfit called by name,
// reading a sample of 10000 from "minimiza".
void GaussfitEvaluation(benchmark::State& state) {
  library();
  Scratch scratch;
  mxArray vv = objectiveSample();
  mlfSave(mxArray::string("minimiza"), mxArray::string("w"), {{"vv", &vv}});
  CentralProbes probes;
  for (auto _ : state) {
    probes.round([](const std::array<double, 3>& x) {
      const std::vector<mxArray> args = {mlfScalar(x[0]), mlfScalar(x[1]), mlfScalar(x[2])};
      benchmark::DoNotOptimize(library().call("gaussfit", 1, args)[0].data());
    });
  }
  CentralProbes::countEvaluations(state);
}

BENCHMARK(GaussfitEvaluation)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The objective's arithmetic alone (10000 samples, 2 exp and 1 log each) at
// the same points: the floor of one evaluation, whatever the call around it
// costs.
void ObjectiveArithmetic(benchmark::State& state) {
  const mxArray v = objectiveSample();
  CentralProbes probes;
  for (auto _ : state) {
    probes.round([&v](const std::array<double, 3>& x) {
      benchmark::DoNotOptimize(mixtureObjective(v, x[0], x[1], x[2], 1e-15, 1));
    });
  }
  CentralProbes::countEvaluations(state);
}

BENCHMARK(ObjectiveArithmetic)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The sample's load alone, as gaussfit does it at every evaluation.
void SampleLoad(benchmark::State& state) {
  Scratch scratch;
  mxArray vv = mxArray::zeros({10000, 1});
  mlfSave(mxArray::string("minimiza"), mxArray::string("w"), {{"vv", &vv}});
  const mxArray file = mxArray::string("minimiza");
  for (auto _ : state) {
    mxArray loaded;
    mclLoadConditional(file, {{"vv", &loaded}});
    benchmark::DoNotOptimize(loaded.data());
  }
}

BENCHMARK(SampleLoad)->Unit(benchmark::kMicrosecond);

long maxResidentKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// With `threads` > 1, the orientations' fits run side by side and the work
// directory's files stay in memory, as in the CLI's default run.
int peakMemory(std::size_t side, unsigned threads) {
  library();
  const mxArray x = sampleImage(side);
  Scratch scratch;
  const ScopedWorkerThreads workers(threads);
  filesInMemory = threads > 1;
  const long before = maxResidentKiB();
  const mxArray y = denoise(x);
  const long after = maxResidentKiB();
  const double pixels = static_cast<double>(side * side);
  std::printf(
      "side %zu: max RSS %.1f MiB, growth during the call %.1f MiB = %.2f doubles per pixel\n",
      side, after / 1024.0, (after - before) / 1024.0, (after - before) * 1024.0 / 8 / pixels);
  return y.numel() == side * side ? 0 : 1;
}

int writeImages(const fs::path& directory) {
  fs::create_directories(directory);
  for (std::size_t side : {512, 2048}) {
    const mxArray x = sampleImage(side);
    ulvcli::Image image{
        static_cast<int>(side), static_cast<int>(side), 1, ulvcli::SampleType::U8, {}, {}};
    for (std::size_t r = 0; r < side; ++r) {
      for (std::size_t c = 0; c < side; ++c) {
        image.samples.push_back(static_cast<unsigned char>(x.at(c * side + r)));
      }
    }
    const fs::path path = directory / ("camera_noisy_" + std::to_string(side) + ".png");
    ulvcli::saveImage(path, image, ulvcli::ImageFormat::Png);
    std::printf("%s\n", path.c_str());
  }
  return 0;
}

}  // namespace
}  // namespace ulv

int main(int argc, char** argv) {
  if (std::getenv("ULV_DEFAULT_MALLOC") == nullptr) ulv::tuneMemoryForLargeArrays();
  if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "--peak-memory") == 0) {
    const unsigned threads = argc == 4 ? std::strtoul(argv[3], nullptr, 10) : 1;
    return ulv::peakMemory(std::strtoul(argv[2], nullptr, 10), threads);
  }
  if (argc == 3 && std::strcmp(argv[1], "--write-images") == 0) {
    return ulv::writeImages(argv[2]);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
