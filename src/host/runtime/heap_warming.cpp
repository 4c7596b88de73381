#include "host/runtime/heap_warming.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <system_error>

namespace ulv {

namespace {

// Pages mapped per request: the helper checks for a stop between requests.
constexpr std::uintptr_t kStep = std::uintptr_t{2} << 20;

}  // namespace

HeapWarming::~HeapWarming() {
  stop_ = true;
  if (helper_.joinable()) helper_.join();
}

void HeapWarming::start(std::size_t bytes) {
#ifdef MADV_POPULATE_WRITE
  if (helper_.joinable() || bytes == 0) return;
  void* block = std::malloc(bytes);
  if (block == nullptr) return;
  const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto first = reinterpret_cast<std::uintptr_t>(block);
  const std::uintptr_t begin = (first + page - 1) / page * page;
  const std::uintptr_t end = (first + bytes) / page * page;
  std::free(block);
  try {
    helper_ = std::thread([this, begin, end] {
      for (std::uintptr_t at = begin; at < end && !stop_; at += kStep) {
        const std::uintptr_t length = std::min(kStep, end - at);
        if (madvise(reinterpret_cast<void*>(at), length, MADV_POPULATE_WRITE) != 0) return;
      }
    });
  } catch (const std::system_error&) {
    // No thread to be had: the pages are faulted in as they are used.
  }
#else
  (void)bytes;
#endif
}

}  // namespace ulv
