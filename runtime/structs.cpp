// The structure descriptor walk: creating, freeing and deep-copying the
// strings, arrays, lists and sub-structures of one record.
#include <cstring>

#include "runtime/arrays.h"
#include "runtime/lists.h"
#include "runtime/strings.h"
#include "runtime/structs.h"

RtStructHooks rt_struct_hooks{};

namespace {
const RtDescWord* sub_descriptor(RtDescWord word) {
  return reinterpret_cast<const RtDescWord*>(word);
}

// Words of each entry kind, the kind word included.
int entry_words(RtDescWord kind) {
  switch (kind) {
    case kDescFixedArray:
      return 5;
    case kDescEmbedded:
      return 4;
    case kDescArray:
      return 6;
    case kDescList:
      return 5;
    case kDescMap:
      return 5;
    default:
      return 1;
  }
}

template <typename T>
T& member(void* base, RtDescWord offset) {
  return *reinterpret_cast<T*>(static_cast<char*>(base) + offset);
}

template <typename T>
const T& member(const void* base, RtDescWord offset) {
  return *reinterpret_cast<const T*>(static_cast<const char*>(base) + offset);
}

void copy_string(void* dst, const void* src, RtDescWord offset) {
  char*& target = member<char*>(dst, offset);
  if (target) rt_str_free(target);
  target = nullptr;
  rt_str_duplicate(&target, member<char*>(src, offset));
}

void copy_array(void* dst, const void* src, RtDescWord offset) {
  const RtStructHooks& hooks = rt_struct_hooks;
  void*& target = member<void*>(dst, offset);
  if (target && hooks.array_free) hooks.array_free(target);
  target = nullptr;
  void* source = member<void*>(src, offset);
  if (!source || !hooks.array_create || !hooks.array_copy) return;
  const ArrayHeader* h = rt_array_header(source);
  hooks.array_create(h->element_size, h->count, h->type_tag, h->descriptor, &target);
  if (target) hooks.array_copy(source, target, 0);
}

void copy_list(void* dst, const void* src, RtDescWord offset) {
  const RtStructHooks& hooks = rt_struct_hooks;
  auto& target = member<ListVar>(dst, offset);
  if (target.header && hooks.list_free) hooks.list_free(target.header);
  target = {};
  ListHeader* source = member<ListVar>(src, offset).header;
  if (!source || !hooks.list_create || !hooks.list_copy) return;
  auto element_size = source->node_size - static_cast<std::int32_t>(sizeof(ListNode));
  hooks.list_create(element_size, &target, source->descriptor, source->type_tag);
  if (target.header) hooks.list_copy(source, target.header, 0);
}

void copy_map(void* dst, const void* src, const RtDescWord* e) {
  const RtStructHooks& hooks = rt_struct_hooks;
  void*& target = member<void*>(dst, e[1]);
  if (target && hooks.map_free) hooks.map_free(target);
  target = nullptr;
  void* source = member<void*>(src, e[1]);
  if (!source || !hooks.map_create || !hooks.map_copy) return;
  hooks.map_create(e[2], e[3], e[4], &target);
  if (target) hooks.map_copy(source, target);
}

// Copies one member; returns its offset and size in the record.
void copy_member(void* dst, const void* src, const RtDescWord* e, RtDescWord& offset,
                 std::size_t& size) {
  char* d = static_cast<char*>(dst);
  const char* s = static_cast<const char*>(src);
  switch (e[0]) {
    case kDescFixedArray:
      offset = e[2];
      size = static_cast<std::size_t>(e[1] * e[3]);
      for (RtDescWord i = 0; i < e[1]; ++i)
        rt_struct_copy(d + e[2] + i * e[3], static_cast<std::size_t>(e[3]), sub_descriptor(e[4]),
                       s + e[2] + i * e[3]);
      return;
    case kDescEmbedded:
      offset = e[1];
      size = static_cast<std::size_t>(e[2]);
      rt_struct_copy(d + e[1], size, sub_descriptor(e[3]), s + e[1]);
      return;
    case kDescArray:
      offset = e[1];
      size = sizeof(void*);
      copy_array(dst, src, e[1]);
      return;
    case kDescList:
      offset = e[1];
      size = sizeof(ListVar);
      copy_list(dst, src, e[1]);
      return;
    case kDescMap:
      offset = e[1];
      size = sizeof(void*);
      copy_map(dst, src, e);
      return;
    default:
      offset = e[0];
      size = sizeof(char*);
      copy_string(dst, src, e[0]);
      return;
  }
}
}  // namespace

namespace {
// Calls `member_op` for every entry of the descriptor that is not a nested
// structure, descending into fixed arrays and embedded structures.
template <typename Op>
void for_each_member(char* base, const RtDescWord* d, Op member_op) {
  for (const RtDescWord* e = d; e[0] != kDescEnd; e += entry_words(e[0])) {
    if (e[0] == kDescFixedArray) {
      for (RtDescWord i = 0; i < e[1]; ++i)
        for_each_member(base + e[2] + i * e[3], sub_descriptor(e[4]), member_op);
    } else if (e[0] == kDescEmbedded) {
      for_each_member(base + e[1], sub_descriptor(e[3]), member_op);
    } else {
      member_op(base, e);
    }
  }
}
}  // namespace

void rt_struct_init(void* base, const RtDescWord* d) {
  if (!base || !d) return;
  const RtStructHooks& hooks = rt_struct_hooks;
  for_each_member(static_cast<char*>(base), d, [&](char* b, const RtDescWord* e) {
    switch (e[0]) {
      case kDescArray:
        if (hooks.array_create)
          hooks.array_create(static_cast<std::int32_t>(e[2]), static_cast<std::int32_t>(e[3]),
                             static_cast<std::int32_t>(e[4]), sub_descriptor(e[5]),
                             &member<void*>(b, e[1]));
        break;
      case kDescList:
        if (hooks.list_create)
          hooks.list_create(static_cast<std::int32_t>(e[2]), b + e[1], sub_descriptor(e[3]),
                            static_cast<std::int32_t>(e[4]));
        break;
      case kDescMap:
        if (hooks.map_create) hooks.map_create(e[2], e[3], e[4], b + e[1]);
        break;
      default:
        break;  // strings start null
    }
  });
}

int rt_struct_needs_init(const RtDescWord* d) {
  if (!d) return 0;
  for (const RtDescWord* e = d; e[0] != kDescEnd; e += entry_words(e[0])) {
    switch (e[0]) {
      case kDescArray:
      case kDescList:
      case kDescMap:
        return 1;
      case kDescFixedArray:
        if (rt_struct_needs_init(sub_descriptor(e[4]))) return 1;
        break;
      case kDescEmbedded:
        if (rt_struct_needs_init(sub_descriptor(e[3]))) return 1;
        break;
      default:
        break;
    }
  }
  return 0;
}

void rt_struct_free(void* base, const RtDescWord* d) {
  if (!base || !d) return;
  const RtStructHooks& hooks = rt_struct_hooks;
  for_each_member(static_cast<char*>(base), d, [&](char* b, const RtDescWord* e) {
    switch (e[0]) {
      case kDescArray:
        if (hooks.array_free) hooks.array_free(member<void*>(b, e[1]));
        break;
      case kDescList:
        if (hooks.list_free) hooks.list_free(member<ListVar>(b, e[1]).header);
        break;
      case kDescMap:
        if (hooks.map_free && member<void*>(b, e[1])) hooks.map_free(member<void*>(b, e[1]));
        break;
      default:
        if (char* text = member<char*>(b, e[0])) rt_str_free(text);
        break;
    }
  });
}

void rt_struct_copy(void* destination, std::size_t size, const RtDescWord* d, const void* source) {
  if (!destination || !source || destination == source) return;
  char* dst = static_cast<char*>(destination);
  const char* src = static_cast<const char*>(source);
  if (!d) {
    std::memcpy(dst, src, size);
    return;
  }
  std::size_t copied = 0;
  for (const RtDescWord* e = d; e[0] != kDescEnd; e += entry_words(e[0])) {
    RtDescWord offset = 0;
    std::size_t member_size = 0;
    copy_member(dst, src, e, offset, member_size);
    auto at = static_cast<std::size_t>(offset);
    if (at > copied) std::memcpy(dst + copied, src + copied, at - copied);
    if (at + member_size > copied) copied = at + member_size;
  }
  if (size > copied) std::memcpy(dst + copied, src + copied, size - copied);
}
