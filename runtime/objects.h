// The numbered object registry: per-kind tables of object records addressed
// by a number the program chooses or by a dynamic handle (record address).
#pragma once
#include <cstddef>
#include <cstdint>

using RtHandle = std::intptr_t;
using RtFreeCallback = void (*)(RtHandle id);

struct RtChainBlock {
  RtChainBlock* next;  // the block created before this one
  RtChainBlock* prev;  // the block created after this one
  // the record follows
};

struct ObjectTable {
  std::int32_t object_size;
  std::int32_t grow_step;
  std::int32_t capacity;
  void** slots;
  RtChainBlock* chain_head;
  RtFreeCallback free_callback;
  std::int32_t enum_position;
  RtChainBlock* enum_cursor;
};

ObjectTable* rt_objects_create(std::int32_t object_size, std::int32_t initial_slots,
                               RtFreeCallback free_callback);
void* rt_object_alloc(ObjectTable* table, RtHandle id);
void* rt_object_get(ObjectTable* table, RtHandle id);
void* rt_object_find(ObjectTable* table, RtHandle id);
void rt_object_release(ObjectTable* table, RtHandle id);
void rt_objects_enum_start(ObjectTable* table);
void* rt_objects_enum_next(ObjectTable* table, RtHandle* id_out);
void rt_objects_free_all(ObjectTable* table);

// The dynamic-object chain, also used directly for chained records.
void* rt_chain_alloc(RtChainBlock** head, std::size_t bytes);
void rt_chain_free(RtChainBlock** head, void* record);
void* rt_chain_contains(RtChainBlock* first_block, void* record);

void* rt_object_new(std::size_t size, void (*init)(void*), void (*free_op)(void*));
template <typename T>
T* rt_thread_data(T* state) {
  return state;
}
