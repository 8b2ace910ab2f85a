// Structure descriptors: word sequences that name the dynamic members
// (strings, arrays, lists, maps) of a record, and the walks that initialise,
// copy and free those members.
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
