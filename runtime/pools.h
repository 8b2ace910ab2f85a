// Node pools: blocks of fixed-size slots that grow with the pool and go back
// to the heap once all their slots are free. Taking and giving back a slot
// are inline, since particle lists do both thousands of times a frame; block
// changes and locked pools go through the library.
#pragma once
#include <cstdint>
#include <cstring>
#include <mutex>

struct PoolBlock {
  PoolBlock* next;
  PoolBlock* prev;
  void* free_chain;        // free slots, linked through their first word
  std::intptr_t capacity;  // slots in this block
  std::intptr_t used;      // slots handed out from the fresh area
  std::intptr_t free_count;
  // the slots follow
};
static_assert(sizeof(PoolBlock) % sizeof(void*) == 0, "slots stay pointer-aligned");

struct RtPoolEntry;

struct MemPool {
  PoolBlock* full;       // blocks without a free slot
  PoolBlock* available;  // blocks with free or never-used slots
  RtPoolEntry* entry;    // the shared-pool registry entry; null for a private pool
  std::int32_t capacity;
  std::int32_t slot_size;
  std::int32_t min_block;
  std::int32_t max_block;
  std::int32_t locked;
  std::mutex lock;
};

// Pool flags: kPoolShared asks for the shared pool of the slot size and
// flags; low bits equal to kPoolLocked ask for a pool with its own lock.
constexpr std::int32_t kPoolLocked = 1;
constexpr std::int32_t kPoolShared = 4;

MemPool* rt_pool_create(std::int32_t node_size, std::int32_t min_block, std::int32_t max_block,
                        std::int32_t flags);
void rt_pool_clear(MemPool* pool);
// Takes back every slot of a private pool at once and keeps its blocks, for
// an owner that drops all its nodes together; slots are then handed out in
// block order again. False, changing nothing, for a shared pool.
bool rt_pool_empty(MemPool* pool);
void rt_pool_release(MemPool* pool);
// Total slots in all blocks, number of blocks, and bytes per slot.
std::int32_t rt_pool_capacity(const MemPool* pool);
std::int32_t rt_pool_block_count(const MemPool* pool);
std::int32_t rt_pool_slot_size(const MemPool* pool);

// The library's side of taking and giving back slots.
void* rt_pool_alloc_new_block(MemPool* pool);
void rt_pool_block_filled(MemPool* pool, PoolBlock* block);
void rt_pool_block_changed(MemPool* pool, PoolBlock* block, bool was_full);
void* rt_pool_alloc_locked(MemPool* pool);
void rt_pool_free_locked(MemPool* pool, void* node);

inline bool rt_pool_block_is_full(const PoolBlock* block) {
  return block->free_count == 0 && block->used == block->capacity;
}

// Takes a slot without locking; returns the node behind its owner word.
inline void* rt_pool_take(MemPool* pool) {
  PoolBlock* block = pool->available;
  if (!block) return rt_pool_alloc_new_block(pool);
  char* slot;
  if (block->free_count > 0) {
    slot = static_cast<char*>(block->free_chain);
    std::memcpy(&block->free_chain, slot, sizeof(void*));
    --block->free_count;
  } else {
    slot = reinterpret_cast<char*>(block + 1) + block->used++ * pool->slot_size;
  }
  if (rt_pool_block_is_full(block)) rt_pool_block_filled(pool, block);
  std::memcpy(slot, &block, sizeof(void*));  // a slot opens with its block's address
  return slot + sizeof(void*);
}

// Gives a slot back without locking; freed slots are reused last first.
inline void rt_pool_give(MemPool* pool, void* node) {
  char* slot = static_cast<char*>(node) - sizeof(void*);
  PoolBlock* block;
  std::memcpy(&block, slot, sizeof(void*));
  bool was_full = rt_pool_block_is_full(block);
  std::memcpy(slot, &block->free_chain, sizeof(void*));
  block->free_chain = slot;
  ++block->free_count;
  if (was_full || block->free_count == block->used) rt_pool_block_changed(pool, block, was_full);
}

inline void* rt_pool_alloc(MemPool* pool) {
  if (!pool) return nullptr;
  return pool->locked ? rt_pool_alloc_locked(pool) : rt_pool_take(pool);
}

inline void rt_pool_free(MemPool* pool, void* node) {
  if (!pool || !node) return;
  if (pool->locked)
    rt_pool_free_locked(pool, node);
  else
    rt_pool_give(pool, node);
}

// Runs operation exactly once per once word (0 not run, 1 running, 2 done),
// even when several threads arrive together.
void rt_run_once(std::int32_t* once_word, void (*operation)());
