// Dynamic arrays with a header in front of the elements, structure
// descriptors that describe the dynamic members of a record, and plain
// memory blocks.
#pragma once
#include <cstddef>
#include <cstdint>

// A structure descriptor is a sequence of words ended by kDescEnd. Offsets and
// sizes are in bytes; sub-descriptors are stored as addresses.
using RtDescWord = std::intptr_t;
constexpr RtDescWord kDescEnd = -1;
constexpr RtDescWord kDescFixedArray = -2;  // -2, count, offset, element size, sub-descriptor
constexpr RtDescWord kDescEmbedded = -3;    // -3, offset, size, sub-descriptor
constexpr RtDescWord kDescArray =
    -4;  // -4, offset, element size, count, type tag, element descriptor
constexpr RtDescWord kDescList = -5;  // -5, offset, element size, element descriptor, type tag
constexpr RtDescWord kDescMap = -6;   // -6, offset, three parameter words
// Any word >= 0 is a string member at that offset.

constexpr std::int32_t kTagStruct = 7;
constexpr std::int32_t kTagString = 8;
constexpr std::int32_t kTagInt32 = 21;

// Header kept directly in front of the elements.
struct ArrayHeader {
  std::int32_t dimensions;
  std::int32_t element_size;
  const RtDescWord* descriptor;
  void** variable;
  std::int32_t count;
  std::int32_t type_tag;
};

// An array variable followed by its dimension words (sizes before
// allocation, strides after).
template <int N>
struct RtArrayVar {
  void* elements;
  std::int32_t dims[N];
};

void rt_arrays_init();
void* rt_array_alloc(std::int32_t element_size, std::int32_t count, std::int32_t type_tag,
                     const RtDescWord* descriptor, void** variable);
// variable points at an array variable followed by `dimensions` 32-bit sizes.
void* rt_array_alloc_dims(std::int32_t dimensions, std::int32_t element_size, std::int32_t type_tag,
                          const RtDescWord* descriptor, void* variable);
void rt_array_free(void* elements);
int rt_array_copy(void* source, void* destination, int reallocate);
ArrayHeader* rt_array_header(void* elements);

void rt_struct_init(void* base, const RtDescWord* descriptor);
int rt_struct_needs_init(const RtDescWord* descriptor);
void rt_struct_free(void* base, const RtDescWord* descriptor);
void rt_struct_copy(void* destination, std::size_t size, const RtDescWord* descriptor,
                    const void* source);

// Hooks through which the descriptor walk reaches arrays, lists and maps.
struct RtStructHooks {
  void* (*array_create)(std::int32_t element_size, std::int32_t count, std::int32_t type_tag,
                        const RtDescWord* descriptor, void** variable);
  int (*array_copy)(void* source, void* destination, int reallocate);
  void (*array_free)(void* elements);
  void* (*list_create)(std::int32_t element_size, void* variable, const RtDescWord* descriptor,
                       std::int32_t type_tag);
  int (*list_copy)(void* source, void* destination, int clear);
  void (*list_free)(void* header);
  void* (*map_create)(RtDescWord a, RtDescWord b, RtDescWord c, void* variable);
  int (*map_copy)(void* source, void* destination);
  void (*map_free)(void* map);
};
extern RtStructHooks rt_struct_hooks;

void rt_memory_init();
void rt_memory_end();
void* rt_mem_alloc(std::intptr_t bytes);
void rt_mem_free(void* block);
void* rt_mem_copy(const void* source, void* destination, std::size_t length);
std::int32_t rt_peek_long(const void* address);
std::int32_t rt_poke_long(void* address, std::int32_t value);
void rt_poke_word(void* address, std::uint16_t value);
