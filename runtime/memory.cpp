// Plain memory blocks from a heap of their own, and word reads and writes at
// any address.
#include <cstring>

#include "runtime/heap.h"
#include "runtime/memory.h"

namespace {
RtHeap* g_memory_heap = nullptr;

RtHeap* memory_heap() {
  if (!g_memory_heap) g_memory_heap = rt_heap_create();
  return g_memory_heap;
}
}  // namespace

void rt_memory_init() {
  // A fresh heap for the blocks; an older one stays until the process ends.
  g_memory_heap = rt_heap_create();
}

void rt_memory_end() {}

void* rt_mem_alloc(std::intptr_t bytes) {
  if (bytes <= 0) return nullptr;
  return rt_heap_alloc(memory_heap(), static_cast<std::size_t>(bytes));
}

void rt_mem_free(void* block) {
  rt_heap_free(memory_heap(), block);
}

void* rt_mem_copy(const void* source, void* destination, std::size_t length) {
  if (length) std::memmove(destination, source, length);
  return static_cast<char*>(destination) + length;
}

std::int32_t rt_peek_long(const void* address) {
  std::int32_t value;
  std::memcpy(&value, address, sizeof value);
  return value;
}

std::int32_t rt_poke_long(void* address, std::int32_t value) {
  std::memcpy(address, &value, sizeof value);
  return value;
}

void rt_poke_word(void* address, std::uint16_t value) {
  std::memcpy(address, &value, sizeof value);
}
