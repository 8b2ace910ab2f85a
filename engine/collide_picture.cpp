// Collision pictures: a sprite rendered on the CPU with its current scale,
// rotation and frame, as the soft device draws it, so that a pixel is solid
// exactly where the sprite leaves a mark on the screen.
#include <cmath>

#include "engine/objects_internal.h"
#include "engine/state_internal.h"
#include "platform/video_picture.h"
#include "runtime/heap.h"
#include "runtime/lists.h"

namespace {

// The frame a collision picture shows: the whole texture, the running
// animation's current frame, or for speed 0 the frame of the draw queue's
// current entry (the draw queued last; frame 0 when the queue is empty).
void picture_source(const SpriteRecord& sprite, const TextureRecord& texture, PlatQuad& quad) {
  std::int32_t rect[4] = {0, 0, texture.width, texture.height};
  if (sprite.animated) {
    int frame = sprite.current_frame;
    if (sprite.speed <= 0.0f) {
      const auto* entry =
          g_engine.draw_queue.header
              ? static_cast<const SpriteDrawEntry*>(rt_list_current(g_engine.draw_queue.header))
              : nullptr;
      frame = entry ? entry->frame : 0;
    }
    eng_sprite_frame_rect(sprite, frame, rect);
  }
  quad.src_left = static_cast<float>(rect[0]);
  quad.src_top = static_cast<float>(rect[1]);
  quad.src_right = static_cast<float>(rect[2]);
  quad.src_bottom = static_cast<float>(rect[3]);
  quad.centre_x = static_cast<float>(rect[2] - rect[0]) / 2.0f;
  quad.centre_y = static_cast<float>(rect[3] - rect[1]) / 2.0f;
}

bool reserve_picture(SpriteCollision& collision, std::size_t texels) {
  if (texels <= static_cast<std::size_t>(collision.picture_capacity)) return true;
  void* grown = rt_heap_realloc(rt_main_heap, collision.picture, texels * 4, false);
  if (!grown) return false;
  collision.picture = static_cast<std::uint32_t*>(grown);
  collision.picture_capacity = static_cast<std::int32_t>(texels);
  return true;
}

}  // namespace

bool eng_collision_render(SpriteRecord& sprite, int width, int height) {
  SpriteCollision& collision = sprite.collision;
  collision.picture_width = collision.picture_height = 0;
  if (width < 1 || height < 1 || width > kMaxPictureSide || height > kMaxPictureSide) return false;
  const std::size_t count = static_cast<std::size_t>(width) * height;
  if (!reserve_picture(collision, count)) return false;
  collision.picture_width = width;
  collision.picture_height = height;

  auto& texture = *reinterpret_cast<TextureRecord*>(sprite.texture);
  PlatQuad quad{};
  picture_source(sprite, texture, quad);
  const float c = std::cos(sprite.angle), s = std::sin(sprite.angle);
  quad.m[0] = sprite.scale[0] * c;
  quad.m[1] = sprite.scale[0] * s;
  quad.m[2] = -sprite.scale[1] * s;
  quad.m[3] = sprite.scale[1] * c;
  quad.m[4] = static_cast<float>(width) / 2.0f;
  quad.m[5] = static_cast<float>(height) / 2.0f;
  quad.alpha = 255;
  quad.src_blend = kBlendSrcAlpha;
  quad.dst_blend = kBlendInvSrcAlpha;
  // Colour in the low bytes, what the blend leaves in alpha on top; clear
  // without texels.
  plat_video_picture_draw(collision.picture, width, height, quad, eng_texture_texels(&texture),
                          texture.width, texture.height);
  return true;
}
