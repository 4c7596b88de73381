// Allocator settings for hosts that run the library on large images.
#pragma once

namespace ulv {

// Every runtime operation returns a new array, so a call on a 2048 x 2048
// image allocates and frees hundreds of 32 MiB blocks. glibc serves blocks
// that large with mmap and unmaps them on free, and every reuse then pays a
// page fault per 4 KiB (about half the run time). This keeps freed memory in
// the process for reuse instead: no mmap for single blocks, no trimming of
// the heap top. Peak memory stays the same (freed blocks are reused, not
// added); the process keeps its peak until it exits. Call once, at start-up,
// before any thread starts. Hosts that are not glibc-based ignore it.
void tuneMemoryForLargeArrays();

}  // namespace ulv
