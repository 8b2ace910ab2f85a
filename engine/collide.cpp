// The sprite collision test: bounding boxes at the tested positions, then the
// solid pixels of both sprites (or of one against the other's box) in the
// region where the boxes overlap.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "engine/objects_internal.h"
#include "engine/state_internal.h"

namespace {
enum CollideMode { kPixelsOnBox = 1, kTextureOnBox = 2, kPixelsOnPixels = 3 };

struct Box {
  int left, top, right, bottom;
};

// Positions far off any screen are held at a billion so the box arithmetic
// cannot overflow.
constexpr float kFarPosition = 1e9f;

int round_nearest(float v) {
  if (!(v > -kFarPosition)) return static_cast<int>(-kFarPosition);
  if (!(v < kFarPosition)) return static_cast<int>(kFarPosition);
  return static_cast<int>(std::nearbyint(v));
}

void sprite_size(const SpriteRecord& sprite, int* w, int* h) {
  *w = sprite.animated ? sprite.frame_width : sprite.texture_width;
  *h = sprite.animated ? sprite.frame_height : sprite.texture_height;
}

// The corners scaled and rotated about the centre and moved by (x, y), each
// rounded; then shifted so that an unrotated sprite with its centre at half
// its size gets exactly the rectangle it covers when drawn at (x, y).
Box transformed_box(const SpriteRecord& sprite, int x, int y) {
  int w, h;
  sprite_size(sprite, &w, &h);
  const float cx = sprite.centre[0], cy = sprite.centre[1];
  const float sx = sprite.scale[0], sy = sprite.scale[1];
  const float c = std::cos(sprite.angle), s = std::sin(sprite.angle);
  Box box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  for (int corner = 0; corner < 4; ++corner) {
    const float qx = ((corner & 1 ? w : 0) - cx) * sx;
    const float qy = ((corner & 2 ? h : 0) - cy) * sy;
    const int px = round_nearest(qx * c - qy * s + cx + static_cast<float>(x));
    const int py = round_nearest(qx * s + qy * c + cy + static_cast<float>(y));
    box = {std::min(box.left, px), std::min(box.top, py), std::max(box.right, px),
           std::max(box.bottom, py)};
  }
  const int shift_x = round_nearest(static_cast<float>(w) * (sx - 1.0f) / 2.0f);
  const int shift_y = round_nearest(static_cast<float>(h) * (sy - 1.0f) / 2.0f);
  return {box.left + shift_x, box.top + shift_y, box.right + shift_x, box.bottom + shift_y};
}

Box stored_box(const SpriteCollision& collision) {
  return {collision.box[0], collision.box[1], collision.box[2], collision.box[3]};
}

// The box of the last test stays with the sprite. A shot is tested against
// every enemy from the same place, so it is mostly asked for again.
Box store_box(SpriteRecord& sprite, int x, int y) {
  int w, h;
  sprite_size(sprite, &w, &h);
  const auto bits = [](float v) { return std::bit_cast<std::uint32_t>(v); };
  const CollisionBoxInputs inputs{w,
                                  h,
                                  {bits(sprite.centre[0]), bits(sprite.centre[1])},
                                  {bits(sprite.scale[0]), bits(sprite.scale[1])},
                                  bits(sprite.angle),
                                  x,
                                  y};
  SpriteCollision& collision = sprite.collision;
  if (!collision.box_known || !(collision.box_inputs == inputs)) {
    const Box box = transformed_box(sprite, x, y);
    collision.box[0] = box.left;
    collision.box[1] = box.top;
    collision.box[2] = box.right;
    collision.box[3] = box.bottom;
    collision.box_inputs = inputs;
    collision.box_known = 1;
  }
  return stored_box(collision);
}

Box box_for_mode(SpriteRecord& sprite, int x, int y, int mode) {
  if (mode == kTextureOnBox) {
    int w, h;
    sprite_size(sprite, &w, &h);
    const auto far = [](long long v) {
      return static_cast<int>(std::clamp<long long>(v, -1000000000LL, 1000000000LL));
    };
    return {far(x), far(y), far(static_cast<long long>(x) + w), far(static_cast<long long>(y) + h)};
  }
  const SpriteCollision& collision = sprite.collision;
  const bool reuse = mode != kPixelsOnBox && mode != kPixelsOnPixels && collision.cache_valid &&
                     collision.box_inputs.x == x && collision.box_inputs.y == y;
  if (reuse) return stored_box(collision);
  return store_box(sprite, x, y);
}

// The part of `other` inside `own`, in own's box coordinates.
Box region_in(const Box& own, const Box& other) {
  const int w = own.right - own.left, h = own.bottom - own.top;
  return {std::clamp(other.left - own.left, 0, std::max(w, 0)),
          std::clamp(other.top - own.top, 0, std::max(h, 0)),
          std::clamp(other.right - own.left, 0, std::max(w, 0)),
          std::clamp(other.bottom - own.top, 0, std::max(h, 0))};
}

struct Pixels {
  const std::uint32_t* data;
  int width, height;
};

// A region can only be read when it is non-empty and lies in the picture:
// a box that outgrew the picture cached earlier in the frame cannot.
bool readable(const Pixels& pixels, const Box& region) {
  return pixels.data && region.left < region.right && region.top < region.bottom &&
         region.right <= pixels.width && region.bottom <= pixels.height;
}

const std::uint32_t* row_of(const Pixels& pixels, const Box& region, int row) {
  return pixels.data + static_cast<std::size_t>(region.top + row) * pixels.width + region.left;
}

bool any_solid(const Pixels& pixels, const Box& region) {
  const int w = region.right - region.left;
  for (int row = 0; row < region.bottom - region.top; ++row) {
    const std::uint32_t* p = row_of(pixels, region, row);
    if (std::any_of(p, p + w, [](std::uint32_t v) { return v != 0; })) return true;
  }
  return false;
}

bool solid_meets_solid(const Pixels& a, const Box& ra, const Pixels& b, const Box& rb) {
  const int w = ra.right - ra.left;
  for (int row = 0; row < ra.bottom - ra.top; ++row) {
    const std::uint32_t* pa = row_of(a, ra, row);
    const std::uint32_t* pb = row_of(b, rb, row);
    for (int x = 0; x < w; ++x)
      if (pa[x] != 0 && pb[x] != 0) return true;
  }
  return false;
}

// The sprite's collision picture, rendered at its first test after its
// pass and reused for the rest of the frame.
Pixels picture_of(SpriteRecord& sprite, const Box& box) {
  SpriteCollision& collision = sprite.collision;
  if (!collision.cache_valid) {
    eng_collision_render(sprite, box.right - box.left, box.bottom - box.top);
    collision.cache_valid = 1;
  }
  return {collision.picture, collision.picture_width, collision.picture_height};
}

bool overlapping(const Box& a, const Box& b) {
  return !(a.left > b.right || b.left > a.right || a.top > b.bottom || b.top > a.bottom);
}
}  // namespace

int eng_sprite_collide(EngHandle a, int xa, int ya, EngHandle b, int xb, int yb, int mode) {
  SpriteRecord* sprite_a = eng_find_sprite(a);
  SpriteRecord* sprite_b = eng_find_sprite(b);
  if (!sprite_a || !sprite_b) return 0;
  // Each box is kept apart from the records, so a sprite tested against
  // itself at another position keeps both boxes.
  const Box box_a = box_for_mode(*sprite_a, xa, ya, mode);
  const Box box_b = box_for_mode(*sprite_b, xb, yb, mode);
  if (!overlapping(box_a, box_b)) return 0;
  const Box region_a = region_in(box_a, box_b);
  if (mode == kTextureOnBox) {
    auto& texture = *reinterpret_cast<TextureRecord*>(sprite_a->texture);
    const Pixels pixels{eng_texture_texels(&texture), texture.width, texture.height};
    return readable(pixels, region_a) && any_solid(pixels, region_a) ? 1 : 0;
  }
  // Collision pictures are rendered with the device; an unusable one makes
  // every pixel test fail.
  if (g_engine.screen.device_status != 0) return 0;
  const Pixels pixels_a = picture_of(*sprite_a, box_a);
  if (mode != kPixelsOnPixels)
    return readable(pixels_a, region_a) && any_solid(pixels_a, region_a) ? 1 : 0;
  const Pixels pixels_b = picture_of(*sprite_b, box_b);
  const Box region_b = region_in(box_b, box_a);
  if (!readable(pixels_a, region_a) || !readable(pixels_b, region_b)) return 0;
  return solid_meets_solid(pixels_a, region_a, pixels_b, region_b) ? 1 : 0;
}
