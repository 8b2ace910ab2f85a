// Linked lists with a current element. Adding inserts after the current
// element; deleting the current element while walking makes the previous one
// current, so the walk goes on with the element that followed.
#include <vector>

#include "runtime/heap.h"
#include "runtime/lists.h"

namespace {
constexpr std::int32_t kListMinBlock = 16;
constexpr std::int32_t kListMaxBlock = 65536;

void* element_of(ListNode* node) {
  return rt_node_element(node);
}

ListNode* walk_forward(ListNode* node, std::int32_t steps) {
  while (node && steps-- > 0) node = node->next;
  return node;
}

ListNode* walk_backward(ListNode* node, std::int32_t steps) {
  while (node && steps-- > 0) node = node->prev;
  return node;
}

// Finds the node at index by the shorter way from the ends or the current
// node; o is the current index before the call.
ListNode* find_node(const ListHeader* h, std::int32_t index, std::int32_t o, bool stale) {
  std::int32_t n = h->count;
  if (stale) {
    if (index < n / 2) return walk_forward(h->first, index);
    return walk_backward(h->last, n - index - 1);
  }
  if (index > o) {
    if (index - o < n - index) return walk_forward(h->current, index - o);
    return walk_backward(h->last, n - index - 1);
  }
  if (o - index < index) return walk_backward(h->current, o - index);
  return walk_forward(h->first, index);
}

int list_copy_hook(void* source, void* destination, int clear) {
  return rt_list_copy(static_cast<ListHeader*>(source), static_cast<ListHeader*>(destination),
                      clear);
}
void list_free_hook(void* header) {
  rt_list_free(static_cast<ListHeader*>(header));
}
void* list_create_hook(std::int32_t element_size, void* variable, const RtDescWord* descriptor,
                       std::int32_t type_tag) {
  return rt_list_new(element_size, static_cast<ListVar*>(variable), descriptor, type_tag);
}

ListHeader* new_list(std::int32_t element_size, ListVar* variable, const RtDescWord* descriptor,
                     std::int32_t type_tag, std::int32_t pool_flags) {
  if (element_size < 0) return nullptr;
  auto* h = static_cast<ListHeader*>(rt_heap_alloc(rt_heap_main(), sizeof(ListHeader)));
  if (!h) return nullptr;
  if (!variable) {
    variable = static_cast<ListVar*>(rt_heap_alloc(rt_heap_main(), sizeof(ListVar)));
    h->owns_variable = 1;
  }
  std::int32_t node_size = element_size + static_cast<std::int32_t>(sizeof(ListNode));
  h->pool = rt_pool_create(node_size, kListMinBlock, kListMaxBlock, pool_flags);
  if (!variable || !h->pool) {
    if (h->owns_variable) rt_heap_free(rt_heap_main(), variable);
    rt_pool_release(h->pool);
    rt_heap_free(rt_heap_main(), h);
    return nullptr;
  }
  h->current_slot = &variable->current;
  h->node_size = node_size;
  h->descriptor = descriptor;
  h->type_tag = type_tag;
  h->index_stale = 1;
  h->needs_init = static_cast<std::uint8_t>(rt_struct_needs_init(descriptor));
  h->variable = variable;
  variable->header = h;
  return h;
}
}  // namespace

void rt_lists_init() {
  rt_struct_hooks.list_create = list_create_hook;
  rt_struct_hooks.list_copy = list_copy_hook;
  rt_struct_hooks.list_free = list_free_hook;
}

ListHeader* rt_list_new(std::int32_t element_size, ListVar* variable, const RtDescWord* descriptor,
                        std::int32_t type_tag) {
  return new_list(element_size, variable, descriptor, type_tag, kPoolShared);
}

ListHeader* rt_list_new_private(std::int32_t element_size, ListVar* variable,
                                const RtDescWord* descriptor, std::int32_t type_tag) {
  return new_list(element_size, variable, descriptor, type_tag, 0);
}

void rt_list_free(ListHeader* h) {
  if (!h) return;
  rt_list_clear(h);
  rt_pool_release(h->pool);
  h->variable->header = nullptr;
  h->variable->current = nullptr;
  if (h->owns_variable) rt_heap_free(rt_heap_main(), h->variable);
  rt_heap_free(rt_heap_main(), h);
}

void rt_list_reset(ListHeader* h) {
  if (!h) return;
  h->index_stale = 1;
  rt_list_set_current(h, nullptr);
}

void* rt_list_first(ListHeader* h) {
  if (!h) return nullptr;
  rt_list_set_current(h, h->first);
  h->current_index = 0;
  h->index_stale = 0;
  return element_of(h->first);
}

void* rt_list_last(ListHeader* h) {
  if (!h) return nullptr;
  rt_list_set_current(h, h->last);
  h->current_index = h->count - 1;
  h->index_stale = 0;
  return element_of(h->last);
}

void* rt_list_select(ListHeader* h, std::int32_t index) {
  if (!h) return nullptr;
  std::int32_t old_index = h->current_index;
  // Without a current node the old index says nothing, whatever the flag.
  bool stale = h->index_stale || !h->current;
  h->current_index = index;
  ListNode* node = nullptr;
  if (index >= 0 && index < h->count) node = find_node(h, index, old_index, stale);
  h->index_stale = node ? 0 : 1;
  rt_list_set_current(h, node);
  return element_of(node);
}

std::int32_t rt_list_size(const ListHeader* h) {
  return h ? h->count : 0;
}

void rt_list_clear(ListHeader* h) {
  if (!h) return;
  // A private pool holds this list's nodes only: they go back all at once.
  const bool emptied = rt_pool_empty(h->pool);
  for (ListNode* node = h->first; node && (h->descriptor || !emptied);) {
    ListNode* next = node->next;
    if (h->descriptor) rt_struct_free(element_of(node), h->descriptor);
    if (!emptied) rt_pool_free(h->pool, node);
    node = next;
  }
  h->first = h->last = nullptr;
  h->count = 0;
  h->index_stale = 1;
  rt_list_set_current(h, nullptr);
}

int rt_list_copy(ListHeader* source, ListHeader* destination, int clear) {
  if (!source || !destination) return 0;
  // Elements of another size would be copied past the end of the new nodes.
  if (source->node_size != destination->node_size) return 0;
  std::size_t size = static_cast<std::size_t>(source->node_size) - sizeof(ListNode);
  if (source == destination) {
    // Copying a list into itself: take the original elements first, so the
    // copies are neither lost to the clear nor copied again.
    if (clear) return 1;
    std::vector<ListNode*> nodes;
    for (ListNode* n = source->first; n; n = n->next) nodes.push_back(n);
    for (ListNode* n : nodes) {
      void* element = rt_list_add(destination);
      if (element) rt_struct_copy(element, size, source->descriptor, element_of(n));
    }
    return 1;
  }
  if (clear) rt_list_clear(destination);
  for (ListNode* n = source->first; n; n = n->next) {
    void* element = rt_list_add(destination);
    if (element) rt_struct_copy(element, size, source->descriptor, element_of(n));
  }
  return 1;
}

void* rt_list_current(const ListHeader* h) {
  return h ? element_of(h->current) : nullptr;
}

std::int32_t rt_list_current_index(const ListHeader* h) {
  return h ? h->current_index : 0;
}

MemPool* rt_list_pool(const ListHeader* h) {
  return h ? h->pool : nullptr;
}
