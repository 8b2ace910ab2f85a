// The allocator thresholds of heap_tuning.h. glibc's default trimming makes
// a software GL driver give its per-frame memory back and fault it in again
// every frame, which can make frames several times slower. The heap is not
// mapped ahead of use: on two cores zeroing that memory took the time it
// was to save, and what start-up did not fill stayed resident.
#include "platform/heap_tuning.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#include <mutex>

void plat_heap_tune_allocator() {
  static std::once_flag once;
  std::call_once(once, [] {
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);  // the largest glibc accepts
    mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
    mallopt(M_TOP_PAD, 64 * 1024 * 1024);
  });
}

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23  // Linux 5.14
#endif

void plat_memory_populate(void* block, std::size_t bytes) {
  constexpr std::size_t kWorthIt = 1024 * 1024;
  if (block == nullptr || bytes < kWorthIt) return;
  static const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  // Whole pages only; the partial ones at the ends fault in on use.
  const auto start = reinterpret_cast<std::uintptr_t>(block);
  const std::uintptr_t first = (start + page - 1) & ~(page - 1);
  const std::uintptr_t end = (start + bytes) & ~(page - 1);
  if (end <= first) return;
  // A refusal (an older kernel) only leaves the pages to fault in on use.
  madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
}
