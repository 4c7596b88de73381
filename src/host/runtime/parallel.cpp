#include "ulvadern/parallel.hpp"

#include <algorithm>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

#include "host/runtime/cancellation.hpp"

namespace ulv {

namespace {
thread_local unsigned threads = 1;

unsigned clampedCount(unsigned count) {
  return std::clamp(count, 1u, kMaxWorkerThreads);
}
}  // namespace

unsigned workerThreads() {
  return threads;
}

ScopedWorkerThreads::ScopedWorkerThreads(unsigned count) : previous_(threads) {
  threads = clampedCount(count);
}

ScopedWorkerThreads::~ScopedWorkerThreads() {
  threads = previous_;
}

void parallelRanges(std::size_t n, std::size_t grain,
                    const std::function<void(std::size_t, std::size_t)>& body) {
  checkpoint("element-wise");
  const std::size_t parts = std::min<std::size_t>(threads, n / std::max<std::size_t>(grain, 1));
  if (parts <= 1) {
    if (n > 0) body(0, n);
    return;
  }
  const auto bound = [&](std::size_t part) { return n / parts * part + std::min(part, n % parts); };
  std::vector<std::exception_ptr> failures(parts);
  const auto run = [&](std::size_t part) {
    try {
      body(bound(part), bound(part + 1));
    } catch (...) {
      failures[part] = std::current_exception();
    }
  };
  std::vector<std::thread> helpers;
  helpers.reserve(parts - 1);
  for (std::size_t part = 1; part < parts; ++part) {
    try {
      helpers.emplace_back(run, part);
    } catch (const std::system_error&) {
      run(part);  // no thread to be had: this range here
    }
  }
  run(0);
  for (std::thread& helper : helpers) helper.join();
  for (const std::exception_ptr& failure : failures) {
    if (failure) std::rethrow_exception(failure);
  }
}

}  // namespace ulv
