// Dynamic arrays with their header in front of the elements.
#include <cstring>

#include "runtime/arrays.h"
#include "runtime/heap.h"

namespace {
char* block_of(void* elements) {
  return static_cast<char*>(elements) - sizeof(ArrayHeader);
}

// Bytes of the elements, or -1 when the sizes are negative or too large.
std::int64_t element_bytes(std::int32_t element_size, std::int64_t count) {
  if (element_size < 0 || count < 0) return -1;
  std::int64_t bytes = element_size * count;
  if (count != 0 && bytes / count != element_size) return -1;
  if (bytes > (std::int64_t{1} << 40)) return -1;
  return bytes;
}
}  // namespace

void rt_arrays_init() {
  rt_struct_hooks.array_create = rt_array_alloc;
  rt_struct_hooks.array_copy = rt_array_copy;
  rt_struct_hooks.array_free = rt_array_free;
}

ArrayHeader* rt_array_header(void* elements) {
  return elements ? reinterpret_cast<ArrayHeader*>(block_of(elements)) : nullptr;
}

void* rt_array_alloc(std::int32_t element_size, std::int32_t count, std::int32_t type_tag,
                     const RtDescWord* descriptor, void** variable) {
  // Re-declaring an array discards its old contents.
  if (variable && *variable) rt_array_free(*variable);
  std::int64_t bytes = element_bytes(element_size, count);
  if (bytes < 0) return nullptr;
  auto* block = static_cast<char*>(
      rt_heap_alloc(rt_heap_main(), sizeof(ArrayHeader) + static_cast<std::size_t>(bytes)));
  if (!block) return nullptr;
  auto* header = reinterpret_cast<ArrayHeader*>(block);
  *header = {1, element_size, descriptor, variable, count, type_tag};
  char* elements = block + sizeof(ArrayHeader);
  if (variable) *variable = elements;
  if (rt_struct_needs_init(descriptor))
    for (std::int32_t i = 0; i < count; ++i)
      rt_struct_init(elements + static_cast<std::size_t>(i) * element_size, descriptor);
  return elements;
}

void* rt_array_alloc_dims(std::int32_t dimensions, std::int32_t element_size, std::int32_t type_tag,
                          const RtDescWord* descriptor, void* variable) {
  if (dimensions <= 0 || !variable) return nullptr;
  auto* words = reinterpret_cast<std::int32_t*>(static_cast<char*>(variable) + sizeof(void*));
  std::int64_t total = 1;
  for (std::int32_t k = 0; k < dimensions; ++k) {
    if (words[k] < 0) return nullptr;
    total *= words[k];
    if (total > INT32_MAX) return nullptr;
  }
  // Sizes become strides: the product of all later sizes, the last one 1.
  std::int32_t stride = 1;
  for (std::int32_t k = dimensions - 1; k >= 0; --k) {
    std::int32_t size = words[k];
    words[k] = stride;
    stride *= size;
  }
  void* elements = rt_array_alloc(element_size, static_cast<std::int32_t>(total), type_tag,
                                  descriptor, static_cast<void**>(variable));
  if (elements) rt_array_header(elements)->dimensions = dimensions;
  return elements;
}

void rt_array_free(void* elements) {
  if (!elements) return;
  ArrayHeader* header = rt_array_header(elements);
  if (header->descriptor)
    for (std::int32_t i = 0; i < header->count; ++i)
      rt_struct_free(
          static_cast<char*>(elements) + static_cast<std::size_t>(i) * header->element_size,
          header->descriptor);
  if (header->variable) *header->variable = nullptr;
  rt_heap_free(rt_heap_main(), header);
}

int rt_array_copy(void* source, void* destination, int reallocate) {
  if (!source || !destination) return 0;
  ArrayHeader* src = rt_array_header(source);
  if (reallocate) {
    if (source == destination) return 1;
    ArrayHeader* old = rt_array_header(destination);
    std::int32_t dimensions = old->dimensions;
    void** variable = old->variable;
    if (!variable) rt_array_free(destination);
    destination =
        rt_array_alloc(src->element_size, src->count, src->type_tag, src->descriptor, variable);
    if (!destination) return 0;
    rt_array_header(destination)->dimensions = dimensions;
  }
  ArrayHeader* dst = rt_array_header(destination);
  // Equal counts of unequal elements would copy past the destination's end.
  if (src->count != dst->count || src->element_size != dst->element_size) return 0;
  if (source == destination) return 1;
  auto size = static_cast<std::size_t>(src->element_size);
  if (src->descriptor) {
    for (std::int32_t i = 0; i < src->count; ++i)
      rt_struct_copy(static_cast<char*>(destination) + i * size, size, src->descriptor,
                     static_cast<char*>(source) + i * size);
  } else {
    std::memcpy(destination, source, size * static_cast<std::size_t>(src->count));
  }
  return 1;
}
