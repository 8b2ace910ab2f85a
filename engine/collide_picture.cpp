// Collision pictures: a sprite rendered on the CPU with its current scale,
// rotation and frame, by the soft device's own rasterizer, so that a pixel
// is solid exactly where the sprite leaves a mark on the screen.
#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/objects_internal.h"
#include "engine/state_internal.h"
#include "platform/video_soft_raster.h"
#include "runtime/heap.h"
#include "runtime/lists.h"

namespace {
constexpr std::uint16_t kFarDepth = 0xFFFF;

// Scratch of the alpha pass; collision runs on the main thread only.
std::vector<std::uint32_t> g_alpha_texels;
std::vector<std::uint32_t> g_alpha_colour;
std::vector<std::uint16_t> g_depth;

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

bool finite_quad(const PlatQuad& quad) {
  return std::all_of(std::begin(quad.m), std::end(quad.m),
                     [](float v) { return std::isfinite(v); });
}

bool reserve_picture(SpriteCollision& collision, std::size_t texels) {
  if (texels <= static_cast<std::size_t>(collision.picture_capacity)) return true;
  void* grown = rt_heap_realloc(rt_main_heap, collision.picture, texels * 4, false);
  if (!grown) return false;
  collision.picture = static_cast<std::uint32_t*>(grown);
  collision.picture_capacity = static_cast<std::int32_t>(texels);
  return true;
}

// Renders into colour (0x00RRGGBB) with a fresh depth buffer, blended onto
// transparent black as the sprite batcher blends.
void raster(std::uint32_t* colour, int width, int height, const SoftImage& image,
            const PlatQuad& quad) {
  const std::size_t count = static_cast<std::size_t>(width) * height;
  std::fill(colour, colour + count, 0u);
  g_depth.assign(count, kFarDepth);
  soft_raster_quad(SoftSurface{colour, g_depth.data(), width, height}, image, quad);
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
  std::fill(collision.picture, collision.picture + count, 0u);

  const auto& texture = *reinterpret_cast<const TextureRecord*>(sprite.texture);
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
  if (!finite_quad(quad) || !texture.texels) return true;

  // Colour pass, then the same quad over a texture whose colour is its
  // alpha: that pass leaves in each channel what the blend leaves in alpha.
  raster(collision.picture, width, height, SoftImage{texture.texels, texture.width, texture.height},
         quad);
  const std::size_t texels = static_cast<std::size_t>(texture.width) * texture.height;
  g_alpha_texels.resize(texels);
  for (std::size_t i = 0; i < texels; ++i) {
    const std::uint32_t a = texture.texels[i] >> 24;
    g_alpha_texels[i] = a << 24 | a << 16 | a << 8 | a;
  }
  g_alpha_colour.resize(count);
  raster(g_alpha_colour.data(), width, height,
         SoftImage{g_alpha_texels.data(), texture.width, texture.height}, quad);
  for (std::size_t i = 0; i < count; ++i) collision.picture[i] |= (g_alpha_colour[i] & 0xFF) << 24;
  return true;
}
