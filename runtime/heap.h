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

// Test hook: the nth allocation or reallocation from now on, on any heap,
// fails as if memory had run out (0: none fails).
void rt_heap_fail_at(std::size_t nth);
// Allocations and reallocations made so far, on every heap.
std::size_t rt_heap_allocations();

// Exit code of a program that ran out of memory where it cannot go on.
inline constexpr int kRtExitOutOfMemory = 4;
// Says so in one line on standard error and ends the process at once.
[[noreturn]] void rt_out_of_memory(const char* what);
