// The engine's object lists (textures, sprites, draw queue, boxes, fonts,
// font texts): their creation with structure descriptors and the handle
// lookups, which walk a list from its start as every operation does.
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

void renew(ListVar& list, std::size_t element_size, const RtDescWord* descriptor) {
  if (list.header) rt_list_free(list.header);
  rt_list_new(static_cast<std::int32_t>(element_size), &list, descriptor, kStructTag);
}

template <typename Record>
Record* find_in(ListVar& list, EngHandle handle) {
  ListHeader* header = list.header;
  if (!header) return nullptr;
  // The record found last is usually asked for again (glyphs, particles);
  // it is current already, so the walk would end on it anyway.
  if (handle && rt_list_current(header) == reinterpret_cast<void*>(handle))
    return reinterpret_cast<Record*>(handle);
  rt_list_reset(header);
  while (void* element = rt_list_next(header))
    if (element == reinterpret_cast<void*>(handle)) return static_cast<Record*>(element);
  return nullptr;
}
}  // namespace

void eng_object_lists_reset() {
  if (g_engine.textures.header) release_texture_copies(g_engine.textures.header);
  if (g_engine.sprites.header) release_sprite_pictures(g_engine.sprites.header);
  renew(g_engine.textures, sizeof(TextureRecord), kTextureRecordDesc);
  renew(g_engine.sprites, sizeof(SpriteRecord), kSpriteRecordDesc);
  renew(g_engine.draw_queue, sizeof(SpriteDrawEntry), nullptr);
  renew(g_engine.boxes, sizeof(BoxEntry), nullptr);
  renew(g_engine.fonts, sizeof(FontRecord), nullptr);
  renew(g_engine.text_queue, sizeof(FontTextEntry), kFontTextEntryDesc);
  g_engine.current_font = 0;
}

SpriteRecord* eng_find_sprite(EngHandle handle) {
  return find_in<SpriteRecord>(g_engine.sprites, handle);
}

TextureRecord* eng_find_texture(EngHandle handle) {
  return find_in<TextureRecord>(g_engine.textures, handle);
}
