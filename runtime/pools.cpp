// Node pools: block growth and return, locked pools, and the process-wide
// registry that lets all lists of one node size share a pool.
#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

#include "runtime/heap.h"
#include "runtime/lists.h"
#include "runtime/pools.h"

struct RtPoolEntry {
  RtPoolEntry* next;
  RtPoolEntry* prev;
  MemPool* pool;
  std::int32_t slot_size;
  std::int32_t flags;
  std::int32_t references;
  std::thread::id thread;  // unlocked pools are shared within one thread
};

namespace {
using RegistryEntry = RtPoolEntry;

constexpr std::int32_t kSlotWord = sizeof(void*);  // owning block or next free slot
constexpr std::int32_t kMaxSlotSize = 1 << 24;

RegistryEntry* g_registry = nullptr;
std::mutex* g_registry_lock = nullptr;
std::int32_t g_registry_once = 0;

void create_registry_lock() {
  g_registry_lock = new std::mutex;
}

char* slot_at(PoolBlock* block, std::intptr_t index, std::int32_t slot_size) {
  return reinterpret_cast<char*>(block + 1) + index * slot_size;
}

void chain_push(PoolBlock** chain, PoolBlock* block) {
  block->prev = nullptr;
  block->next = *chain;
  if (*chain) (*chain)->prev = block;
  *chain = block;
}

void chain_unlink(PoolBlock** chain, PoolBlock* block) {
  if (block->prev)
    block->prev->next = block->next;
  else
    *chain = block->next;
  if (block->next) block->next->prev = block->prev;
}

// Blocks grow with the pool: a sixteenth of its capacity in multiples of 16.
std::int32_t next_block_slots(const MemPool* pool) {
  std::int32_t n = (pool->capacity / 16) & ~15;
  if (n < pool->min_block) n = pool->min_block;
  if (n > pool->max_block) n = pool->max_block;
  return n < 1 ? 1 : n;
}

PoolBlock* new_block(MemPool* pool) {
  std::int32_t n = next_block_slots(pool);
  auto bytes = [&](std::int32_t slots) {
    return sizeof(PoolBlock) + static_cast<std::size_t>(slots) * pool->slot_size;
  };
  auto* block = static_cast<PoolBlock*>(rt_heap_alloc(rt_heap_main(), bytes(n), false));
  if (!block) {
    n = 1;
    block = static_cast<PoolBlock*>(rt_heap_alloc(rt_heap_main(), bytes(1), false));
    if (!block) return nullptr;
  }
  block->free_chain = nullptr;
  block->capacity = n;
  block->used = 0;
  block->free_count = 0;
  pool->capacity += n;
  return block;
}

void* hand_out(PoolBlock* block, void* slot) {
  std::memcpy(slot, &block, kSlotWord);
  return static_cast<char*>(slot) + kSlotWord;
}

MemPool* make_pool(std::int32_t slot_size, std::int32_t min_block, std::int32_t max_block,
                   std::int32_t flags) {
  void* memory = rt_heap_alloc(rt_heap_main(), sizeof(MemPool));
  if (!memory) return nullptr;
  auto* pool = new (memory) MemPool{};
  pool->slot_size = slot_size;
  pool->min_block = min_block < 1 ? 1 : min_block;
  pool->max_block = max_block < pool->min_block ? pool->min_block : max_block;
  pool->locked = (flags & 3) == kPoolLocked;
  return pool;
}

void destroy_pool(MemPool* pool) {
  rt_pool_clear(pool);
  pool->~MemPool();
  rt_heap_free(rt_heap_main(), pool);
}

MemPool* shared_pool(std::int32_t slot_size, std::int32_t min_block, std::int32_t max_block,
                     std::int32_t flags) {
  rt_run_once(&g_registry_once, create_registry_lock);
  std::lock_guard guard(*g_registry_lock);
  // An unlocked pool is shared only by the lists of the thread that asks
  // for it: each list belongs to one thread, and so then does its pool.
  std::thread::id thread =
      (flags & 3) == kPoolLocked ? std::thread::id{} : std::this_thread::get_id();
  for (RegistryEntry* e = g_registry; e; e = e->next) {
    if (e->slot_size == slot_size && e->flags == flags && e->thread == thread) {
      ++e->references;
      return e->pool;
    }
  }
  auto* entry = static_cast<RegistryEntry*>(rt_heap_alloc(rt_heap_main(), sizeof(RegistryEntry)));
  if (!entry) return nullptr;
  MemPool* pool = make_pool(slot_size, min_block, max_block, flags & ~kPoolShared);
  if (!pool) {
    rt_heap_free(rt_heap_main(), entry);
    return nullptr;
  }
  new (entry) RegistryEntry{g_registry, nullptr, pool, slot_size, flags, 1, thread};
  if (g_registry) g_registry->prev = entry;
  g_registry = entry;
  pool->entry = entry;
  return pool;
}
}  // namespace

MemPool* rt_pool_create(std::int32_t node_size, std::int32_t min_block, std::int32_t max_block,
                        std::int32_t flags) {
  if (node_size < 0 || node_size > kMaxSlotSize) return nullptr;
  // Each slot carries one pointer word in front of the node; slots stay
  // aligned for the pointers in the nodes.
  std::int32_t slot_size = (node_size + kSlotWord + kSlotWord - 1) & ~(kSlotWord - 1);
  if (flags & kPoolShared) return shared_pool(slot_size, min_block, max_block, flags);
  return make_pool(slot_size, min_block, max_block, flags);
}

void* rt_pool_alloc_new_block(MemPool* pool) {
  PoolBlock* block = new_block(pool);
  if (!block) return nullptr;
  block->used = 1;
  chain_push(rt_pool_block_is_full(block) ? &pool->full : &pool->available, block);
  return hand_out(block, slot_at(block, 0, pool->slot_size));
}

void rt_pool_block_filled(MemPool* pool, PoolBlock* block) {
  chain_unlink(&pool->available, block);
  chain_push(&pool->full, block);
}

void rt_pool_block_changed(MemPool* pool, PoolBlock* block, bool was_full) {
  if (block->free_count == block->used) {
    // Every slot handed out is back: the block returns to the heap.
    chain_unlink(was_full ? &pool->full : &pool->available, block);
    pool->capacity -= static_cast<std::int32_t>(block->capacity);
    rt_heap_free(rt_heap_main(), block);
  } else {
    chain_unlink(&pool->full, block);
    chain_push(&pool->available, block);
  }
}

void* rt_pool_alloc_locked(MemPool* pool) {
  std::lock_guard guard(pool->lock);
  return rt_pool_take(pool);
}

void rt_pool_free_locked(MemPool* pool, void* node) {
  std::lock_guard guard(pool->lock);
  rt_pool_give(pool, node);
}

void rt_pool_clear(MemPool* pool) {
  if (!pool) return;
  std::unique_lock guard(pool->lock, std::defer_lock);
  if (pool->locked) guard.lock();
  for (PoolBlock** chain : {&pool->full, &pool->available}) {
    for (PoolBlock* block = *chain; block;) {
      PoolBlock* next = block->next;
      rt_heap_free(rt_heap_main(), block);
      block = next;
    }
    *chain = nullptr;
  }
  pool->capacity = 0;
}

bool rt_pool_empty(MemPool* pool) {
  if (!pool || pool->entry) return false;
  std::unique_lock guard(pool->lock, std::defer_lock);
  if (pool->locked) guard.lock();
  while (PoolBlock* block = pool->full) {
    chain_unlink(&pool->full, block);
    chain_push(&pool->available, block);
  }
  for (PoolBlock* block = pool->available; block; block = block->next) {
    block->free_chain = nullptr;
    block->used = 0;
    block->free_count = 0;
  }
  return true;
}

void rt_pool_release(MemPool* pool) {
  if (!pool) return;
  RegistryEntry* entry = pool->entry;
  if (!entry) {
    destroy_pool(pool);
    return;
  }
  std::lock_guard guard(*g_registry_lock);
  if (--entry->references > 0) return;
  if (entry->prev)
    entry->prev->next = entry->next;
  else
    g_registry = entry->next;
  if (entry->next) entry->next->prev = entry->prev;
  rt_heap_free(rt_heap_main(), entry);
  pool->entry = nullptr;
  destroy_pool(pool);
}

std::int32_t rt_pool_capacity(const MemPool* pool) {
  return pool ? pool->capacity : 0;
}

std::int32_t rt_pool_block_count(const MemPool* pool) {
  if (!pool) return 0;
  std::int32_t n = 0;
  for (const PoolBlock* b = pool->full; b; b = b->next) ++n;
  for (const PoolBlock* b = pool->available; b; b = b->next) ++n;
  return n;
}

std::int32_t rt_pool_slot_size(const MemPool* pool) {
  return pool ? pool->slot_size : 0;
}

void rt_run_once(std::int32_t* once_word, void (*operation)()) {
  std::atomic_ref<std::int32_t> word(*once_word);
  std::int32_t state = 0;
  if (word.compare_exchange_strong(state, 1, std::memory_order_acquire)) {
    operation();
    word.store(2, std::memory_order_release);
    return;
  }
  while (word.load(std::memory_order_acquire) != 2) std::this_thread::yield();
}
