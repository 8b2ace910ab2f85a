// The engine's object lists (textures, sprites, draw queue, boxes, fonts,
// font texts): their creation with structure descriptors and the handle
// lookups, which walk a list from its start as every operation does.
#include <array>
#include <cstddef>

#include "engine/objects_internal.h"
#include "engine/state_internal.h"
#include "runtime/heap.h"
#include "runtime/lists.h"

const RtDescWord kTextureRecordDesc[] = {offsetof(TextureRecord, file_name), kDescEnd};
const RtDescWord kSpriteRecordDesc[] = {kDescEnd};
const RtDescWord kFontTextEntryDesc[] = {offsetof(FontTextEntry, text), kDescEnd};

namespace {
constexpr std::int32_t kStructTag = kTagStruct;

// CPU copies hang off the records; a list that goes away takes them along.
void release_texture_copies(ListHeader* textures) {
  rt_list_reset(textures);
  while (auto* t = static_cast<TextureRecord*>(rt_list_next(textures))) {
    rt_heap_free(rt_main_heap, t->texels);
    t->texels = nullptr;
  }
}

void release_sprite_pictures(ListHeader* sprites) {
  rt_list_reset(sprites);
  while (auto* s = static_cast<SpriteRecord*>(rt_list_next(sprites))) {
    rt_heap_free(rt_main_heap, s->collision.picture);
    s->collision.picture = nullptr;
  }
}

void renew(ListVar& list, std::size_t element_size, const RtDescWord* descriptor,
           bool cleared_each_frame = false) {
  eng_object_list_changed();
  if (list.header) rt_list_free(list.header);
  const auto size = static_cast<std::int32_t>(element_size);
  if (cleared_each_frame) {
    rt_list_new_private(size, &list, descriptor, kStructTag);
  } else {
    rt_list_new(size, &list, descriptor, kStructTag);
  }
}

// Adds and deletes of the texture and sprite lists so far: a remembered
// find is good while the count has not moved.
std::uint64_t g_list_changes = 0;

// Where each list found its records. A walk chases every node before the
// one asked for, and a frame asks for the same sprites (particles,
// collision partners) over and over; a remembered find leaves the list as
// the walk did: the record current, its index known, the index marked
// stale as a reset marks it.
struct Found {
  EngHandle handle = 0;
  ListNode* node = nullptr;
  std::int32_t index = 0;
};

// A frame's particles alone ask for a dozen sprites in turn, so each place
// is kept in a slot picked by the handle's address bits rather than among
// the last few; two records sharing a slot only cost each other walks.
struct FindMemory {
  const ListHeader* header = nullptr;
  std::uint64_t changes = 0;
  std::array<Found, 64> found{};
};

Found& slot_for(FindMemory& memory, EngHandle handle) {
  const auto bits = static_cast<std::uintptr_t>(handle);
  return memory.found[(bits >> 4 ^ bits >> 10) % memory.found.size()];
}

FindMemory g_sprite_finds, g_texture_finds;

ListNode* walk_to(ListHeader* header, EngHandle handle) {
  rt_list_reset(header);
  while (void* element = rt_list_next(header))
    if (element == reinterpret_cast<void*>(handle)) return header->current;
  return nullptr;
}

template <typename Record>
Record* find_in(ListVar& list, FindMemory& memory, EngHandle handle) {
  ListHeader* header = list.header;
  if (!header) return nullptr;
  // The record found last is usually asked for again (glyphs, particles);
  // it is current already, so the walk would end on it anyway.
  if (handle && rt_list_current(header) == reinterpret_cast<void*>(handle))
    return reinterpret_cast<Record*>(handle);
  if (memory.header != header || memory.changes != g_list_changes) {
    memory = FindMemory{header, g_list_changes};
  } else if (const Found& f = slot_for(memory, handle); handle && f.handle == handle) {
    header->index_stale = 1;
    rt_list_set_current(header, f.node);
    header->current_index = f.index;
    return reinterpret_cast<Record*>(handle);
  }
  ListNode* node = walk_to(header, handle);
  if (!node) return nullptr;
  slot_for(memory, handle) = {handle, node, header->current_index};
  return reinterpret_cast<Record*>(handle);
}
}  // namespace

void eng_object_lists_reset() {
  if (g_engine.textures.header) release_texture_copies(g_engine.textures.header);
  if (g_engine.sprites.header) release_sprite_pictures(g_engine.sprites.header);
  renew(g_engine.textures, sizeof(TextureRecord), kTextureRecordDesc);
  renew(g_engine.sprites, sizeof(SpriteRecord), kSpriteRecordDesc);
  // Walked by sprite, not in queue order: entries taken in order from a
  // pool of their own lie together rather than among the game's particles.
  renew(g_engine.draw_queue, sizeof(SpriteDrawEntry), nullptr, true);
  renew(g_engine.boxes, sizeof(BoxEntry), nullptr);
  renew(g_engine.fonts, sizeof(FontRecord), nullptr);
  renew(g_engine.text_queue, sizeof(FontTextEntry), kFontTextEntryDesc);
  g_engine.current_font = 0;
}

void eng_object_list_changed() {
  ++g_list_changes;
}

SpriteRecord* eng_find_sprite(EngHandle handle) {
  return find_in<SpriteRecord>(g_engine.sprites, g_sprite_finds, handle);
}

TextureRecord* eng_find_texture(EngHandle handle) {
  return find_in<TextureRecord>(g_engine.textures, g_texture_finds, handle);
}
