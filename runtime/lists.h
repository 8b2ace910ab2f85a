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

struct ListHeader;
struct MemPool;

// The list variable: its header and its current node.
struct ListVar {
  ListHeader* header;
  ListNode* current;
};

inline void* rt_node_element(ListNode* node) { return node ? reinterpret_cast<char*>(node) + sizeof(ListNode) : nullptr; }

void rt_lists_init();
ListHeader* rt_list_new(std::int32_t element_size, ListVar* variable,
                        const RtDescWord* descriptor, std::int32_t type_tag);
void rt_list_free(ListHeader* header);
void* rt_list_add(ListHeader* header);
void rt_list_reset(ListHeader* header);
void* rt_list_next(ListHeader* header);
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

MemPool* rt_pool_create(std::int32_t node_size, std::int32_t min_block, std::int32_t max_block,
                        std::int32_t flags);
void* rt_pool_alloc(MemPool* pool);
void rt_pool_free(MemPool* pool, void* node);
void rt_pool_clear(MemPool* pool);
void rt_pool_release(MemPool* pool);
std::int32_t rt_pool_capacity(const MemPool* pool);

void rt_run_once(std::int32_t* once_word, void (*operation)());
