// Private heaps over the C allocator. Destroying a heap frees every block it
// handed out, which is how the end sequence releases what nobody freed.
#pragma once
#include <cstddef>

struct RtHeap;

RtHeap* rt_heap_create();
void rt_heap_destroy(RtHeap* heap);
// Returns zero-filled memory when zero is true; null when memory runs out.
void* rt_heap_alloc(RtHeap* heap, std::size_t bytes, bool zero = true);
// Grows or shrinks a block; new bytes are zeroed when zero is true. The block
// stays with the heap that handed it out.
void* rt_heap_realloc(RtHeap* heap, void* block, std::size_t bytes, bool zero = true);
void rt_heap_free(RtHeap* heap, void* block);
std::size_t rt_heap_block_count(const RtHeap* heap);

// The main heap of the prologue; every library allocates its tables from it.
extern RtHeap* rt_main_heap;
// The main heap, created on first use when no prologue ran (library tests).
RtHeap* rt_heap_main();
