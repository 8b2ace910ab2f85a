// A private heap over the C allocator. Each block carries a small header that
// links it into its heap, so destroying the heap frees all of them. Heaps are
// serialized like the platform heaps they stand in for: pools and lists may be
// created from several threads.
#include "runtime/heap.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {
struct BlockHeader {
  BlockHeader* next;
  BlockHeader* prev;
  std::size_t bytes;
  RtHeap* owner;  // a block freed through a newer heap still finds its own
};
static_assert(sizeof(BlockHeader) % 16 == 0, "user blocks stay 16-byte aligned");
}  // namespace

struct RtHeap {
  std::mutex lock;
  BlockHeader* first = nullptr;
  std::size_t count = 0;
};

RtHeap* rt_main_heap = nullptr;

namespace {
std::atomic<std::size_t> g_allocations{0};
std::atomic<std::size_t> g_fail_at{0};  // 0: no allocation fails

// Counts an allocation; true when the test hook makes this one fail.
bool injected_failure() {
  const std::size_t n = ++g_allocations;
  return n == g_fail_at.load(std::memory_order_relaxed);
}
}  // namespace

void rt_heap_fail_at(std::size_t nth) {
  g_fail_at = nth == 0 ? 0 : g_allocations + nth;
}

std::size_t rt_heap_allocations() {
  return g_allocations;
}

void rt_out_of_memory(const char* what) {
  std::fprintf(stderr, "shooter: out of memory (%s); ending\n", what);
  std::fflush(stderr);
  std::_Exit(kRtExitOutOfMemory);
}

RtHeap* rt_heap_create() {
  return new RtHeap;
}

void rt_heap_destroy(RtHeap* heap) {
  if (!heap) return;
  for (BlockHeader* b = heap->first; b;) {
    BlockHeader* next = b->next;
    std::free(b);
    b = next;
  }
  delete heap;
}

static void link(RtHeap* heap, BlockHeader* b) {
  b->owner = heap;
  b->prev = nullptr;
  b->next = heap->first;
  if (heap->first) heap->first->prev = b;
  heap->first = b;
  ++heap->count;
}

static void unlink(RtHeap* heap, BlockHeader* b) {
  if (b->prev)
    b->prev->next = b->next;
  else
    heap->first = b->next;
  if (b->next) b->next->prev = b->prev;
  --heap->count;
}

void* rt_heap_alloc(RtHeap* heap, std::size_t bytes, bool zero) {
  if (!heap || bytes > SIZE_MAX / 2 || injected_failure()) return nullptr;
  auto* b = static_cast<BlockHeader*>(zero ? std::calloc(1, sizeof(BlockHeader) + bytes)
                                           : std::malloc(sizeof(BlockHeader) + bytes));
  if (!b) return nullptr;
  b->bytes = bytes;
  std::lock_guard guard(heap->lock);
  link(heap, b);
  return b + 1;
}

void* rt_heap_realloc(RtHeap* heap, void* block, std::size_t bytes, bool zero) {
  if (!block) return rt_heap_alloc(heap, bytes, zero);
  if (bytes > SIZE_MAX / 2 || injected_failure()) return nullptr;
  BlockHeader* old = static_cast<BlockHeader*>(block) - 1;
  RtHeap* owner = old->owner;
  std::lock_guard guard(owner->lock);
  std::size_t old_bytes = old->bytes;
  unlink(owner, old);
  auto* b = static_cast<BlockHeader*>(std::realloc(old, sizeof(BlockHeader) + bytes));
  if (!b) {
    link(owner, old);
    return nullptr;
  }
  if (zero && bytes > old_bytes)
    std::memset(reinterpret_cast<char*>(b + 1) + old_bytes, 0, bytes - old_bytes);
  b->bytes = bytes;
  link(owner, b);
  return b + 1;
}

void rt_heap_free(RtHeap* heap, void* block) {
  if (!heap || !block) return;
  BlockHeader* b = static_cast<BlockHeader*>(block) - 1;
  RtHeap* owner = b->owner;
  {
    std::lock_guard guard(owner->lock);
    unlink(owner, b);
  }
  std::free(b);
}

std::size_t rt_heap_block_count(const RtHeap* heap) {
  if (!heap) return 0;
  std::lock_guard guard(const_cast<RtHeap*>(heap)->lock);
  return heap->count;
}

RtHeap* rt_heap_main() {
  if (!rt_main_heap) rt_main_heap = rt_heap_create();
  return rt_main_heap;
}
