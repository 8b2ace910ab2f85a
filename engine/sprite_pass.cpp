// The sprite pass of a frame: every sprite in sprite-list order draws its
// queued entries in call order, each with its own blend, transform and
// frame, and advances its animation once.
#include <bit>
#include <cmath>
#include <cstdint>
#include <utility>

#include "engine/objects_internal.h"
#include "engine/state_internal.h"
#include "runtime/lists.h"

namespace {
// Frame of an entry: speed 0 takes the entry's frame as it is, a running
// animation counts from its current frame.
int entry_frame(const SpriteRecord& sprite, const SpriteDrawEntry& entry) {
  if (sprite.speed <= 0.0f) return entry.frame;
  const int count = sprite.last_frame + 1;
  if (count <= 0) return sprite.current_frame;
  const int f = (sprite.current_frame + entry.frame) % count;
  return f < 0 ? f + count : f;
}

// The last angle's cosine and sine: entries in a row mostly share their
// angle (particles are drawn twice, most sprites never turn). Compared by
// bits, so a hit gives exactly what the calls would.
struct AngleMemo {
  std::uint32_t bits = std::bit_cast<std::uint32_t>(0.0f);
  float c = std::cos(0.0f), s = std::sin(0.0f);
};
AngleMemo g_angle;

std::pair<float, float> cos_sin(float angle) {
  const auto bits = std::bit_cast<std::uint32_t>(angle);
  if (bits != g_angle.bits) g_angle = {bits, std::cos(angle), std::sin(angle)};
  return {g_angle.c, g_angle.s};
}
}  // namespace

void eng_sprite_frame_rect(const SpriteRecord& sprite, int frame, std::int32_t rect[4]) {
  const int per_row = sprite.frames_per_row;
  // Without a full column the frames run down the left edge.
  const int column = per_row > 0 ? frame % per_row : 0;
  const int row = per_row > 0 ? frame / per_row : frame;
  rect[0] = column * sprite.frame_width;
  rect[1] = row * sprite.frame_height;
  rect[2] = rect[0] + sprite.frame_width;
  rect[3] = rect[1] + sprite.frame_height;
}

PlatQuad eng_sprite_entry_quad(const SpriteRecord& sprite, const SpriteDrawEntry& entry) {
  const auto* texture = reinterpret_cast<const TextureRecord*>(sprite.texture);
  PlatQuad quad{};
  quad.texture = texture->texture;
  std::int32_t rect[4] = {0, 0, texture->width, texture->height};
  if (sprite.animated) eng_sprite_frame_rect(sprite, entry_frame(sprite, entry), rect);
  quad.src_left = static_cast<float>(rect[0]);
  quad.src_top = static_cast<float>(rect[1]);
  quad.src_right = static_cast<float>(rect[2]);
  quad.src_bottom = static_cast<float>(rect[3]);
  quad.centre_x = sprite.centre[0];
  quad.centre_y = sprite.centre[1];
  // Scale, then rotate about the centre, then move the centre to where the
  // unrotated image's top-left corner lands on (x, y).
  const auto [c, s] = cos_sin(entry.angle);
  quad.m[0] = entry.scale_x * c;
  quad.m[1] = entry.scale_x * s;
  quad.m[2] = -entry.scale_y * s;
  quad.m[3] = entry.scale_y * c;
  quad.m[4] = entry.x + sprite.centre[0] * entry.scale_x;
  quad.m[5] = entry.y + sprite.centre[1] * entry.scale_y;
  quad.depth = entry.depth;
  quad.alpha = static_cast<std::uint8_t>(entry.alpha & 255);
  quad.src_blend = entry.src_blend;
  quad.dst_blend = entry.dst_blend;
  return quad;
}

void eng_sprite_advance(SpriteRecord& sprite, float frame_time) {
  sprite.frame_timer += frame_time * 60.0f;
  // Strictly greater: at speed 10 and exact 1/60 s frames the seventh frame
  // advances, not the sixth.
  if (!(sprite.frame_timer > 60.0f / sprite.speed)) return;
  sprite.current_frame += sprite.frame_step;
  if (sprite.current_frame > sprite.last_frame)
    sprite.current_frame = 0;
  else if (sprite.current_frame < 0)
    sprite.current_frame = sprite.last_frame;
  sprite.frame_timer = 0.0f;
}

void eng_sprite_pass() {
  ListHeader* sprites = g_engine.sprites.header;
  if (!sprites) return;
  PlatVideo* video = g_engine.screen.video;
  rt_list_reset(sprites);
  while (auto* sprite = static_cast<SpriteRecord*>(rt_list_next(sprites))) {
    sprite->collision.cache_valid = 0;
    bool first = true;
    for (SpriteDrawEntry* entry = sprite->queue_first; entry; entry = entry->next_of_sprite) {
      const PlatQuad quad = eng_sprite_entry_quad(*sprite, *entry);
      sprite->place[0] = quad.m[4];
      sprite->place[1] = quad.m[5];
      sprite->source[0] = static_cast<std::int32_t>(quad.src_left);
      sprite->source[1] = static_cast<std::int32_t>(quad.src_top);
      sprite->source[2] = static_cast<std::int32_t>(quad.src_right);
      sprite->source[3] = static_cast<std::int32_t>(quad.src_bottom);
      if (video) plat_video_draw_quad(video, quad);
      if (first && sprite->speed > 0.0f) eng_sprite_advance(*sprite, g_engine.screen.frame_time);
      first = false;
    }
    sprite->queue_first = sprite->queue_last = nullptr;
  }
  // Every queued entry belongs to a listed sprite and has just been drawn.
  if (g_engine.draw_queue.header) rt_list_clear(g_engine.draw_queue.header);
}
