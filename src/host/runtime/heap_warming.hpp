// Page faults taken ahead, on a spare core.
#pragma once

#include <atomic>
#include <cstddef>
#include <thread>

namespace ulv {

// Each 4 KiB of fresh memory costs a page fault on first use: at 2048 x 2048
// the denoiser's working memory takes about 170 000 of them, a third of its
// time, and the faults land on the threads doing the work. A host that knows
// the size of the next call can have them taken while it still reads the
// image on one core: start() grows the heap by `bytes` and frees them at
// once, and a helper thread asks the kernel to map those pages
// (MADV_POPULATE_WRITE) while the caller goes on. The caller's allocations
// then find the pages mapped. Mapping never changes what the memory holds,
// so it is safe whatever the caller has stored there meanwhile; a range the
// heap no longer holds is refused by the kernel and ends the helper's work.
// Needs the heap kept (tuneMemoryForLargeArrays) and a kernel that knows
// MADV_POPULATE_WRITE (Linux 5.14); elsewhere it does nothing.
class HeapWarming {
 public:
  HeapWarming() = default;
  ~HeapWarming();  // stops the helper and waits for it
  HeapWarming(const HeapWarming&) = delete;
  HeapWarming& operator=(const HeapWarming&) = delete;

  void start(std::size_t bytes);

 private:
  std::atomic<bool> stop_ = false;
  std::thread helper_;
};

}  // namespace ulv
