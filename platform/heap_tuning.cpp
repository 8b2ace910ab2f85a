// The allocator thresholds of heap_tuning.h. glibc's default trimming makes
// a software GL driver give its per-frame memory back and fault it in again
// every frame, which can make frames several times slower. The heap is not
// mapped ahead of use: on two cores zeroing that memory took the time it
// was to save, and what start-up did not fill stayed resident.
#include "platform/heap_tuning.h"

#include <malloc.h>

#include <mutex>

void plat_heap_tune_allocator() {
  static std::once_flag once;
  std::call_once(once, [] {
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);  // the largest glibc accepts
    mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
    mallopt(M_TOP_PAD, 64 * 1024 * 1024);
  });
}
