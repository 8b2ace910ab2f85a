// Doubly linked lists with a current element, on node pools shared by all
// lists of the same node size.
#pragma once
#include <cstddef>
#include <cstdint>
#include "runtime/arrays.h"

struct ListNode {
  ListNode* next;
  ListNode* prev;
  // the element follows
};

struct MemPool;

// The list variable: its header and its current node.
struct ListHeader;
struct ListVar {
  ListHeader* header;
  ListNode* current;
};

struct ListHeader {
  ListNode* first;
  ListNode* last;
  ListNode* current;
  ListNode** current_slot;  // the variable's second word, kept equal to current
  std::int32_t count;
  std::int32_t current_index;  // valid only while index_stale is 0
  const RtDescWord* descriptor;
  MemPool* pool;
  ListVar* variable;
  std::int32_t node_size;  // element size + sizeof(ListNode)
  std::int32_t type_tag;
  std::uint8_t index_stale;
  std::uint8_t needs_init;
  std::uint8_t owns_variable;
};

inline void* rt_node_element(ListNode* node) {
  return node ? reinterpret_cast<char*>(node) + sizeof(ListNode) : nullptr;
}

// Flags of rt_list_delete_ex.
constexpr std::int32_t kListDeleteKeepFirst =
    1;  // a deleted first node's successor becomes current

void rt_lists_init();
ListHeader* rt_list_new(std::int32_t element_size, ListVar* variable, const RtDescWord* descriptor,
                        std::int32_t type_tag);
void rt_list_free(ListHeader* header);
void* rt_list_add(ListHeader* header);
void rt_list_reset(ListHeader* header);
// Walks run over every element each frame, so this one is inline.
inline void* rt_list_next(ListHeader* h) {
  if (!h) return nullptr;
  ListNode* node;
  if (!h->current) {
    node = h->first;
    h->current_index = 0;
  } else if (h->current->next) {
    node = h->current->next;
    ++h->current_index;
  } else {
    if (h->current_slot) *h->current_slot = h->current;  // the last stays current
    return nullptr;
  }
  h->current = node;
  if (h->current_slot) *h->current_slot = node;
  if (!node) return nullptr;
  // Start fetching the element after this one while the caller works.
  if (node->next) __builtin_prefetch(node->next);
  return rt_node_element(node);
}
void* rt_list_first(ListHeader* header);
void* rt_list_last(ListHeader* header);
void* rt_list_select(ListHeader* header, std::int32_t index);
void rt_list_delete(ListHeader* header);
void rt_list_delete_ex(ListHeader* header, std::int32_t flags);
std::int32_t rt_list_size(const ListHeader* header);
void rt_list_clear(ListHeader* header);
int rt_list_copy(ListHeader* source, ListHeader* destination, int clear);
// The current element, or null.
void* rt_list_current(const ListHeader* header);
std::int32_t rt_list_current_index(const ListHeader* header);
MemPool* rt_list_pool(const ListHeader* header);

// Pool flags: kPoolShared asks for the shared pool of the slot size and
// flags; low bits equal to kPoolLocked ask for a pool with its own lock.
constexpr std::int32_t kPoolLocked = 1;
constexpr std::int32_t kPoolShared = 4;

MemPool* rt_pool_create(std::int32_t node_size, std::int32_t min_block, std::int32_t max_block,
                        std::int32_t flags);
void* rt_pool_alloc(MemPool* pool);
void rt_pool_free(MemPool* pool, void* node);
void rt_pool_clear(MemPool* pool);
void rt_pool_release(MemPool* pool);
// Total slots in all blocks, number of blocks, and bytes per slot.
std::int32_t rt_pool_capacity(const MemPool* pool);
std::int32_t rt_pool_block_count(const MemPool* pool);
std::int32_t rt_pool_slot_size(const MemPool* pool);

// Runs operation exactly once per once word (0 not run, 1 running, 2 done),
// even when several threads arrive together.
void rt_run_once(std::int32_t* once_word, void (*operation)());
