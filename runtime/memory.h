// Plain memory blocks from a heap of their own, and unaligned reads and
// writes of words at an address.
#pragma once
#include <cstddef>
#include <cstdint>

void rt_memory_init();
void rt_memory_end();
void* rt_mem_alloc(std::intptr_t bytes);
void rt_mem_free(void* block);
void* rt_mem_copy(const void* source, void* destination, std::size_t length);
std::int32_t rt_peek_long(const void* address);
std::int32_t rt_poke_long(void* address, std::int32_t value);
void rt_poke_word(void* address, std::uint16_t value);
