#include "host/runtime/memory_tuning.hpp"

#if __has_include(<malloc.h>)
#include <malloc.h>
#endif

namespace ulv {

void tuneMemoryForLargeArrays() {
#if defined(M_MMAP_MAX) && defined(M_TRIM_THRESHOLD)
  mallopt(M_MMAP_MAX, 0);
  mallopt(M_TRIM_THRESHOLD, -1);  // never give the heap top back
#endif
}

}  // namespace ulv
