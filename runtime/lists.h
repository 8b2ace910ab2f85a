// Doubly linked lists with a current element, on node pools shared by all
// lists of the same node size.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include "runtime/arrays.h"
#include "runtime/pools.h"

struct ListNode {
  ListNode* next;
  ListNode* prev;
  // the element follows
};

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
// A list with a pool of its own, for one filled and cleared every frame:
// its clear keeps the pool's blocks, and its adds then take the nodes in
// order from them rather than from free slots scattered among other lists'.
ListHeader* rt_list_new_private(std::int32_t element_size, ListVar* variable,
                                const RtDescWord* descriptor, std::int32_t type_tag);
void rt_list_free(ListHeader* header);
void rt_list_reset(ListHeader* header);
// Adding and deleting run thousands of times a frame for particles, so
// they are inline; structure members and pool blocks go through the library.
inline void rt_list_set_current(ListHeader* h, ListNode* node) {
  h->current = node;
  if (h->current_slot) *h->current_slot = node;
}

// Zeroes a node in 16-byte steps: nodes are small, and fixed-size stores
// beat a call to memset.
inline void rt_list_zero_node(ListNode* node, std::int32_t size) {
  char* p = reinterpret_cast<char*>(node);
  std::int32_t k = 0;
  for (; k + 16 <= size; k += 16) std::memset(p + k, 0, 16);
  if (k < size) std::memset(p + k, 0, static_cast<std::size_t>(size - k));
}

// Inserts after the current element, or at the front without one; the new
// element becomes current.
inline void* rt_list_add(ListHeader* h) {
  if (!h) return nullptr;
  auto* node = static_cast<ListNode*>(rt_pool_alloc(h->pool));
  if (!node) return nullptr;
  rt_list_zero_node(node, h->node_size);
  if (h->needs_init) rt_struct_init(rt_node_element(node), h->descriptor);
  ++h->count;
  if (!h->current) {
    node->next = h->first;
    if (h->first) h->first->prev = node;
    h->current_index = 0;
    h->index_stale = 0;
  } else {
    node->prev = h->current;
    node->next = h->current->next;
    if (node->next) node->next->prev = node;
    h->current->next = node;
    ++h->current_index;
  }
  if (!node->prev) h->first = node;
  if (!node->next) h->last = node;
  rt_list_set_current(h, node);
  return rt_node_element(node);
}

// Deletes the current element; the previous one becomes current, so a walk
// goes on with the element that followed. A deleted first element leaves no
// current one, unless flags has kListDeleteKeepFirst.
inline void rt_list_delete_ex(ListHeader* h, std::int32_t flags) {
  if (!h) return;
  ListNode* node = h->current;
  if (!node) {
    rt_list_set_current(h, nullptr);
    return;
  }
  --h->count;
  if (node->next)
    node->next->prev = node->prev;
  else
    h->last = node->prev;
  ListNode* current = nullptr;
  if (node->prev) {
    node->prev->next = node->next;
    current = node->prev;
    --h->current_index;
  } else {
    h->first = node->next;
    if (h->first && (flags & kListDeleteKeepFirst)) {
      current = h->first;
      h->current_index = 0;
      h->index_stale = 0;
    } else {
      h->index_stale = 1;
    }
  }
  if (h->descriptor) rt_struct_free(rt_node_element(node), h->descriptor);
  rt_pool_free(h->pool, node);
  rt_list_set_current(h, current);
}

inline void rt_list_delete(ListHeader* h) {
  rt_list_delete_ex(h, 0);
}

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
std::int32_t rt_list_size(const ListHeader* header);
void rt_list_clear(ListHeader* header);
int rt_list_copy(ListHeader* source, ListHeader* destination, int clear);
// The current element, or null.
void* rt_list_current(const ListHeader* header);
std::int32_t rt_list_current_index(const ListHeader* header);
MemPool* rt_list_pool(const ListHeader* header);
