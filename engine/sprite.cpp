// Sprites: creation (the list position is the drawing order), the setters of
// position-independent state, and queuing draws with the state of the moment.
#include "engine/objects_internal.h"
#include "engine/state_internal.h"
#include "runtime/lists.h"

// The game's blend names are the device's factors.
static_assert(int{kEngBlendSrcAlpha} == int{kBlendSrcAlpha} &&
              int{kEngBlendInvSrcAlpha} == int{kBlendInvSrcAlpha} &&
              int{kEngBlendDestAlpha} == int{kBlendDestAlpha});

namespace {
constexpr std::int32_t kBeginAlphaBlend = 16;

constexpr float kDepthOfLevel[] = {0.0f,  0.1f,   0.2f,  0.3f,   0.4f, 0.5f,
                                   0.98f, 0.985f, 0.99f, 0.995f, 1.0f};

bool valid_blend(int factor) {
  return factor >= kBlendZero && factor <= kBlendBothInvSrcAlpha;
}

// A new sprite goes directly after the sprite list's current element.
EngHandle new_sprite(TextureRecord* texture) {
  auto* sprite = static_cast<SpriteRecord*>(rt_list_add(g_engine.sprites.header));
  if (!sprite) return 0;
  eng_object_list_changed();
  sprite->texture = reinterpret_cast<EngHandle>(texture);
  sprite->begin_flags = kBeginAlphaBlend;
  sprite->texture_height = texture->height;
  sprite->texture_width = texture->width;
  sprite->centre[0] = static_cast<float>(texture->width) / 2.0f;
  sprite->centre[1] = static_cast<float>(texture->height) / 2.0f;
  sprite->place[0] = sprite->place[1] = 1.0f;
  sprite->scale[0] = sprite->scale[1] = 1.0f;
  sprite->frame_step = 1;
  sprite->src_blend = kBlendSrcAlpha;
  sprite->dst_blend = kBlendInvSrcAlpha;
  return reinterpret_cast<EngHandle>(sprite);
}
}  // namespace

EngHandle eng_sprite_load(const char* file) {
  if (!g_engine.sprites.header) return 0;
  TextureRecord* texture = eng_texture_load_file(file, true);
  return texture ? new_sprite(texture) : 0;
}

EngHandle eng_sprite_create(EngHandle texture_handle) {
  if (!g_engine.sprites.header) return 0;
  TextureRecord* texture = eng_find_texture(texture_handle);
  if (!texture) return 0;
  eng_texture_colour_key(texture, 0);
  return new_sprite(texture);
}

int eng_sprite_mask_colour(EngHandle handle, int colour) {
  SpriteRecord* sprite = eng_find_sprite(handle);
  if (!sprite) return 0;
  eng_texture_colour_key(reinterpret_cast<TextureRecord*>(sprite->texture), colour);
  return 1;
}

int eng_sprite_set_depth(EngHandle handle, int level) {
  SpriteRecord* sprite = eng_find_sprite(handle);
  if (!sprite) return 0;
  sprite->depth = level >= 1 && level <= 10 ? kDepthOfLevel[level] : 0.0f;
  return 1;
}

namespace {
// One division at a time: paired, GCC divides four lanes of which two are
// left-over stack bits, and a denormal among them costs a microcode assist
// on every call (particles set their scale thousands of times a frame).
[[gnu::noinline]] float factor_of_percent(float percent) {
  return percent / 100.0f;
}
}  // namespace

int eng_sprite_set_scale(EngHandle handle, float x_percent, float y_percent) {
  SpriteRecord* sprite = eng_find_sprite(handle);
  if (!sprite) return 0;
  sprite->scale[0] = factor_of_percent(x_percent);
  sprite->scale[1] = factor_of_percent(y_percent);
  return 1;
}

int eng_sprite_set_frames(EngHandle handle, int count, int speed, int frame_width,
                          int frame_height) {
  SpriteRecord* sprite = eng_find_sprite(handle);
  if (!sprite) return 0;
  sprite->animated = 1;
  sprite->last_frame = count - 1;
  sprite->speed = static_cast<float>(speed);
  sprite->frame_width = frame_width;
  sprite->frame_height = frame_height;
  sprite->centre[0] = static_cast<float>(frame_width) / 2.0f;
  sprite->centre[1] = static_cast<float>(frame_height) / 2.0f;
  // A zero frame width would divide by zero; such a sheet has no full column.
  sprite->frames_per_row = frame_width != 0 ? sprite->texture_width / frame_width : 0;
  return 1;
}

int eng_sprite_move_hotspot_x(EngHandle handle, float dx) {
  SpriteRecord* sprite = eng_find_sprite(handle);
  if (!sprite) return 0;
  sprite->centre[0] += dx;
  return 1;
}

int eng_sprite_move_hotspot_y(EngHandle handle, float dy) {
  SpriteRecord* sprite = eng_find_sprite(handle);
  if (!sprite) return 0;
  sprite->centre[1] += dy;
  return 1;
}

int eng_sprite_set_blend(EngHandle handle, int source, int destination) {
  SpriteRecord* sprite = eng_find_sprite(handle);
  if (!sprite) return 0;
  if (valid_blend(source)) sprite->src_blend = source;
  if (valid_blend(destination)) sprite->dst_blend = destination;
  return 1;
}

int eng_sprite_set_angle(EngHandle handle, float degrees) {
  SpriteRecord* sprite = eng_find_sprite(handle);
  if (!sprite) return 0;
  sprite->angle = degrees * kDegreesToRadians;
  return 1;
}

int eng_sprite_turn(EngHandle handle, float degrees_per_tick) {
  SpriteRecord* sprite = eng_find_sprite(handle);
  if (!sprite) return 0;
  sprite->angle += degrees_per_tick * 60.0f * g_engine.screen.frame_time * kDegreesToRadians;
  return 1;
}

void eng_sprite_queue(SpriteRecord* sprite, float x, float y, int alpha, int frame) {
  auto* entry = static_cast<SpriteDrawEntry*>(rt_list_add(g_engine.draw_queue.header));
  if (!entry) return;
  entry->sprite = reinterpret_cast<EngHandle>(sprite);
  entry->x = x;
  entry->y = y;
  entry->angle = sprite->angle;
  entry->scale_x = sprite->scale[0];
  entry->scale_y = sprite->scale[1];
  entry->depth = sprite->depth;
  entry->alpha = alpha & 255;
  entry->src_blend = sprite->src_blend;
  entry->dst_blend = sprite->dst_blend;
  entry->frame = frame;
  if (sprite->queue_last)
    sprite->queue_last->next_of_sprite = entry;
  else
    sprite->queue_first = entry;
  sprite->queue_last = entry;
}

int eng_sprite_draw(EngHandle handle, int x, int y, int alpha) {
  SpriteRecord* sprite = eng_find_sprite(handle);
  if (!sprite || !g_engine.draw_queue.header) return 0;
  eng_sprite_queue(sprite, static_cast<float>(x), static_cast<float>(y), alpha, 0);
  return 1;
}
