// The numbered object registry. Numbered records live in a slot array that
// grows by a fixed step; dynamic records live in a chain of blocks whose
// record address is the handle.
#include "runtime/objects.h"

#include <cstring>

#include "runtime/heap.h"

namespace {
char* record_of(RtChainBlock* block) {
  return reinterpret_cast<char*>(block + 1);
}

RtChainBlock* block_of(void* record) {
  return static_cast<RtChainBlock*>(record) - 1;
}

bool is_live(const void* record) {
  std::int32_t first;
  std::memcpy(&first, record, sizeof first);
  return first != 0;
}

bool is_number(const ObjectTable* table, RtHandle id) {
  return id >= 0 && id < table->capacity;
}

// Grows the slot array so that it holds number id; false when memory runs out.
bool grow_slots(ObjectTable* table, RtHandle id) {
  std::int64_t capacity = static_cast<std::int64_t>(id) + table->grow_step;
  if (capacity > INT32_MAX) return false;
  auto* slots = static_cast<void**>(rt_heap_realloc(
      rt_heap_main(), table->slots, static_cast<std::size_t>(capacity) * sizeof(void*)));
  if (!slots) return false;
  table->slots = slots;
  table->capacity = static_cast<std::int32_t>(capacity);
  return true;
}
}  // namespace

ObjectTable* rt_objects_create(std::int32_t object_size, std::int32_t initial_slots,
                               RtFreeCallback free_callback) {
  if (object_size < 4 || initial_slots < 0) return nullptr;
  auto* table = static_cast<ObjectTable*>(rt_heap_alloc(rt_heap_main(), sizeof(ObjectTable)));
  if (!table) return nullptr;
  table->slots = static_cast<void**>(
      rt_heap_alloc(rt_heap_main(), static_cast<std::size_t>(initial_slots) * sizeof(void*)));
  table->object_size = object_size;
  table->grow_step = initial_slots;
  table->capacity = table->slots ? initial_slots : 0;
  table->free_callback = free_callback;
  return table;
}

void* rt_object_alloc(ObjectTable* table, RtHandle id) {
  if (!table) return nullptr;
  if (id == -1)
    return rt_chain_alloc(&table->chain_head, static_cast<std::size_t>(table->object_size));
  if (id < 0 || id > INT32_MAX) return nullptr;
  if (id >= table->capacity && !grow_slots(table, id)) return nullptr;
  void*& slot = table->slots[id];
  if (slot) {
    // Creating a live number replaces the old object: its library frees it.
    if (table->free_callback) table->free_callback(id);
    return slot;
  }
  slot = rt_heap_alloc(rt_heap_main(), static_cast<std::size_t>(table->object_size));
  return slot;
}

void* rt_object_get(ObjectTable* table, RtHandle id) {
  // Values outside the slot range must be handles of this table's chain; any
  // other value would be read as an address.
  void* record = rt_object_find(table, id);
  return record && is_live(record) ? record : nullptr;
}

void* rt_object_find(ObjectTable* table, RtHandle id) {
  if (!table) return nullptr;
  if (is_number(table, id)) {
    void* record = table->slots[id];
    return record && is_live(record) ? record : nullptr;
  }
  return rt_chain_contains(table->chain_head, reinterpret_cast<void*>(id));
}

void rt_object_release(ObjectTable* table, RtHandle id) {
  if (!table) return;
  if (is_number(table, id)) {
    if (table->slots[id])
      std::memset(table->slots[id], 0, static_cast<std::size_t>(table->object_size));
    return;
  }
  rt_chain_free(&table->chain_head, reinterpret_cast<void*>(id));
}

void rt_objects_enum_start(ObjectTable* table) {
  if (!table) return;
  table->enum_position = 0;
  RtChainBlock* oldest = table->chain_head;
  while (oldest && oldest->next) oldest = oldest->next;
  table->enum_cursor = oldest;
}

void* rt_objects_enum_next(ObjectTable* table, RtHandle* id_out) {
  if (!table) return nullptr;
  while (table->enum_position >= 0 && table->enum_position < table->capacity) {
    std::int32_t number = table->enum_position++;
    void* record = table->slots[number];
    if (record && is_live(record)) {
      if (id_out) *id_out = number;
      return record;
    }
  }
  if (RtChainBlock* block = table->enum_cursor) {
    // Move on first, so the caller may free what it gets.
    table->enum_cursor = block->prev;
    if (id_out) *id_out = reinterpret_cast<RtHandle>(record_of(block));
    return record_of(block);
  }
  return nullptr;
}

void rt_objects_free_all(ObjectTable* table) {
  if (!table || !table->free_callback) return;
  rt_objects_enum_start(table);
  RtHandle id = 0;
  while (rt_objects_enum_next(table, &id)) table->free_callback(id);
}

void* rt_chain_alloc(RtChainBlock** head, std::size_t bytes) {
  auto* block =
      static_cast<RtChainBlock*>(rt_heap_alloc(rt_heap_main(), sizeof(RtChainBlock) + bytes));
  if (!block) return nullptr;
  block->next = *head;
  if (*head) (*head)->prev = block;
  *head = block;
  return record_of(block);
}

void rt_chain_free(RtChainBlock** head, void* record) {
  // Only blocks of this chain are unlinked; a stray value changes nothing.
  if (!record || !rt_chain_contains(*head, record)) return;
  RtChainBlock* block = block_of(record);
  if (block == *head) {
    *head = block->next;
    if (*head) (*head)->prev = nullptr;
  } else {
    block->prev->next = block->next;
    if (block->next) block->next->prev = block->prev;
  }
  rt_heap_free(rt_heap_main(), block);
}

void* rt_chain_contains(RtChainBlock* first_block, void* record) {
  for (RtChainBlock* block = first_block; block; block = block->next)
    if (record_of(block) == record) return record;
  return nullptr;
}

void* rt_object_new(std::size_t size, void (*init)(void*), void (*)(void*)) {
  void* block = rt_heap_alloc(rt_heap_main(), size);
  if (block && init) init(block);
  return block;
}
