// Dynamic arrays with a header in front of the elements; their elements may
// be records described by a structure descriptor.
#pragma once
#include <cstdint>

#include "runtime/structs.h"

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
