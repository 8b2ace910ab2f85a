// Sprite operations: handles, the list position of new sprites, the setters
// and the draw queue's copy of the sprite state.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "tests/engine/sprite_test_fixture.h"

namespace sprite_test {
namespace {

class SpriteOps : public EngineTest {};

TEST_F(SpriteOps, HandlesNotInTheSpriteListAreRefused) {
  const EngHandle texture = solid_texture(4, 4, 0xFFFFFFFF);
  const EngHandle sprite = eng_sprite_create(texture);
  ASSERT_NE(sprite, 0);
  for (EngHandle bad : {EngHandle{0}, texture}) {
    EXPECT_EQ(eng_sprite_set_depth(bad, 1), 0);
    EXPECT_EQ(eng_sprite_set_scale(bad, 50, 50), 0);
    EXPECT_EQ(eng_sprite_set_frames(bad, 2, 0, 2, 2), 0);
    EXPECT_EQ(eng_sprite_move_hotspot_x(bad, 1), 0);
    EXPECT_EQ(eng_sprite_move_hotspot_y(bad, 1), 0);
    EXPECT_EQ(eng_sprite_set_blend(bad, 2, 2), 0);
    EXPECT_EQ(eng_sprite_set_angle(bad, 10), 0);
    EXPECT_EQ(eng_sprite_turn(bad, 10), 0);
    EXPECT_EQ(eng_sprite_mask_colour(bad, 0), 0);
    EXPECT_EQ(eng_sprite_draw(bad, 0, 0, 255), 0);
    EXPECT_EQ(eng_sprite_collide(bad, 0, 0, sprite, 0, 0, 3), 0);
    EXPECT_EQ(eng_text_draw(bad, 0, 0, "A", 255, 32, 0), 0);
  }
  EXPECT_EQ(eng_sprite_create(sprite), 0) << "a sprite is not a texture";
  EXPECT_EQ(rt_list_size(g_engine.draw_queue.header), 0);
  EXPECT_EQ(rt_list_size(g_engine.sprites.header), 1);
}

// The list order is the drawing order: a new sprite goes after the sprite
// the last sprite operation found, or after the last one a walk reached.
TEST_F(SpriteOps, NewSpriteGoesAfterTheSpriteLastFound) {
  const EngHandle a = solid_sprite(2, 2, 0xFFFFFFFF);
  const EngHandle b = solid_sprite(2, 2, 0xFFFFFFFF);
  EXPECT_EQ(sprite_order(), (std::vector<EngHandle>{a, b}));
  eng_sprite_set_depth(a, 1);
  const EngHandle c = solid_sprite(2, 2, 0xFFFFFFFF);
  EXPECT_EQ(sprite_order(), (std::vector<EngHandle>{a, c, b}));
  // A failed lookup walks to the end.
  eng_sprite_set_depth(0, 1);
  const EngHandle d = solid_sprite(2, 2, 0xFFFFFFFF);
  EXPECT_EQ(sprite_order(), (std::vector<EngHandle>{a, c, b, d}));
  // So does the render's pass.
  eng_sprite_set_angle(a, 0);
  render();
  const EngHandle e = solid_sprite(2, 2, 0xFFFFFFFF);
  EXPECT_EQ(sprite_order(), (std::vector<EngHandle>{a, c, b, d, e}));
}

// Lookups remember where they found a record; a remembered find must leave
// the list as the walk would, and be forgotten once the list changes.
TEST_F(SpriteOps, RememberedFindsLeaveTheListAsAWalkWould) {
  const EngHandle a = solid_sprite(2, 2, 0xFFFFFFFF);
  const EngHandle b = solid_sprite(2, 2, 0xFFFFFFFF);
  const EngHandle c = solid_sprite(2, 2, 0xFFFFFFFF);
  ListHeader* sprites = g_engine.sprites.header;
  auto index_of = [](EngHandle h) {
    const std::vector<EngHandle> order = sprite_order();
    return static_cast<std::int32_t>(std::find(order.begin(), order.end(), h) - order.begin());
  };
  for (EngHandle h : {a, c, a, b, a, c, b}) {
    ASSERT_EQ(eng_sprite_set_depth(h, 1), 1);
    EXPECT_EQ(rt_list_current(sprites), reinterpret_cast<void*>(h));
    EXPECT_EQ(rt_list_current_index(sprites), index_of(h));
  }
  eng_sprite_set_depth(c, 1);
  eng_sprite_set_depth(a, 1);  // remembered: the new sprite goes after a
  const EngHandle d = solid_sprite(2, 2, 0xFFFFFFFF);
  EXPECT_EQ(sprite_order(), (std::vector<EngHandle>{a, d, b, c}));
  eng_sprite_set_depth(a, 1);
  eng_sprite_set_depth(c, 1);  // c moved one place down
  EXPECT_EQ(rt_list_current_index(sprites), 3);
  // A removed texture is not found again, though a lookup found it before.
  const EngHandle t = solid_texture(2, 2, 0xFFFFFFFF);
  const EngHandle u = solid_texture(2, 2, 0xFFFFFFFF);
  ASSERT_NE(eng_find_texture(t), nullptr);
  ASSERT_NE(eng_find_texture(u), nullptr);
  eng_texture_remove(eng_find_texture(t));
  EXPECT_NE(eng_find_texture(u), nullptr);
  EXPECT_EQ(eng_find_texture(t), nullptr);
  EXPECT_EQ(eng_sprite_create(t), 0);
}

TEST_F(SpriteOps, DepthLevels) {
  const EngHandle s = solid_sprite(2, 2, 0xFFFFFFFF);
  const std::pair<int, float> table[] = {
      {1, 0.1f},  {2, 0.2f},   {3, 0.3f},  {4, 0.4f},  {5, 0.5f}, {6, 0.98f}, {7, 0.985f},
      {8, 0.99f}, {9, 0.995f}, {10, 1.0f}, {11, 0.0f}, {0, 0.0f}, {-3, 0.0f}};
  for (auto [level, depth] : table) {
    eng_sprite_set_depth(s, 5);
    EXPECT_EQ(eng_sprite_set_depth(s, level), 1);
    EXPECT_EQ(record(s).depth, depth) << "level " << level;
  }
}

TEST_F(SpriteOps, BlendFactorsOutsideTheRangeKeepTheirOldValue) {
  const EngHandle s = solid_sprite(2, 2, 0xFFFFFFFF);
  EXPECT_EQ(eng_sprite_set_blend(s, 0, 2), 1);
  EXPECT_EQ(record(s).src_blend, kBlendSrcAlpha);
  EXPECT_EQ(record(s).dst_blend, kBlendOne);
  eng_sprite_set_blend(s, 13, 14);
  EXPECT_EQ(record(s).src_blend, 13);
  EXPECT_EQ(record(s).dst_blend, kBlendOne);
  eng_sprite_set_blend(s, 1, -1);
  EXPECT_EQ(record(s).src_blend, kBlendZero);
}

TEST_F(SpriteOps, AnglesUseTheEnginesDegreeFactor) {
  const EngHandle s = solid_sprite(2, 2, 0xFFFFFFFF);
  eng_sprite_set_angle(s, 90);
  EXPECT_EQ(record(s).angle, 90.0f * 0.01745299994945526f);
  g_engine.screen.frame_time = 0.5f;
  eng_sprite_turn(s, 2);
  EXPECT_FLOAT_EQ(record(s).angle, (90.0f + 2 * 60 * 0.5f) * 0.01745299994945526f);
}

// Entries in a row reuse the last angle's cosine and sine: -0 after 0, NaN
// and a return to an earlier angle still give each entry its own quad.
TEST_F(SpriteOps, EachEntrysQuadTurnsByItsOwnAngle) {
  const SpriteRecord& r = record(eng_sprite_create(solid_texture(4, 4, 0xFFFFFFFF)));
  SpriteDrawEntry entry{};
  entry.scale_x = 1.5f;
  entry.scale_y = 0.5f;
  const std::vector<float> angles = {0.0f, -0.0f, 0.3f, 0.3f, NAN, NAN, 0.0f, -0.3f, 0.3f};
  for (float angle : angles) {
    entry.angle = angle;
    const PlatQuad quad = eng_sprite_entry_quad(r, entry);
    const float c = std::cos(angle), s = std::sin(angle);
    const float turn[4] = {1.5f * c, 1.5f * s, -0.5f * s, 0.5f * c};
    EXPECT_EQ(std::memcmp(quad.m, turn, sizeof turn), 0) << "angle " << angle;
  }
}

TEST_F(SpriteOps, FramesAreCountedRowByRow) {
  const EngHandle s = solid_sprite(256, 256, 0xFFFFFFFF);
  record(s).current_frame = 3;
  record(s).frame_timer = 2;
  ASSERT_EQ(eng_sprite_set_frames(s, 58, 0, 32, 32), 1);
  const SpriteRecord& r = record(s);
  EXPECT_EQ(r.frames_per_row, 8);
  EXPECT_EQ(r.last_frame, 57);
  EXPECT_EQ(r.animated, 1);
  EXPECT_EQ(r.centre[0], 16.0f);
  EXPECT_EQ(r.current_frame, 3) << "not reset";
  EXPECT_EQ(r.frame_timer, 2.0f) << "not reset";
  std::array<std::int32_t, 4> rect{};
  eng_sprite_frame_rect(r, 9, rect.data());
  EXPECT_EQ(rect, (std::array<std::int32_t, 4>{32, 32, 64, 64}));
  // A zero frame width would divide by zero.
  EXPECT_EQ(eng_sprite_set_frames(s, 4, 0, 0, 8), 1);
  EXPECT_EQ(record(s).frames_per_row, 0);
}

TEST_F(SpriteOps, DrawQueuesTheStateOfTheMoment) {
  const EngHandle s = solid_sprite(4, 4, 0xFFFFFFFF);
  eng_sprite_set_angle(s, 30);
  eng_sprite_set_scale(s, 200, 300);
  eng_sprite_set_depth(s, 2);
  eng_sprite_set_blend(s, 2, 2);
  ASSERT_EQ(eng_sprite_draw(s, 5, -6, 0x1FF), 1);
  eng_sprite_set_angle(s, 0);
  eng_sprite_set_scale(s, 100, 100);
  eng_sprite_set_depth(s, 0);
  eng_sprite_set_blend(s, 5, 6);
  ASSERT_EQ(eng_sprite_draw(s, 1, 2, 10), 1);
  ASSERT_EQ(rt_list_size(g_engine.draw_queue.header), 2);
  const auto* first = static_cast<SpriteDrawEntry*>(rt_list_first(g_engine.draw_queue.header));
  EXPECT_EQ(first->sprite, s);
  EXPECT_EQ(first->x, 5.0f);
  EXPECT_EQ(first->y, -6.0f);
  EXPECT_EQ(first->angle, 30 * 0.01745299994945526f);
  EXPECT_EQ(first->scale_x, 2.0f);
  EXPECT_EQ(first->scale_y, 3.0f);
  EXPECT_EQ(first->depth, 0.2f);
  EXPECT_EQ(first->alpha, 0xFF);
  EXPECT_EQ(first->src_blend, 2);
  EXPECT_EQ(first->frame, 0);
  const auto* second = static_cast<SpriteDrawEntry*>(rt_list_next(g_engine.draw_queue.header));
  EXPECT_EQ(second->angle, 0.0f);
  EXPECT_EQ(second->alpha, 10);
  EXPECT_EQ(second->src_blend, 5);
}

TEST_F(SpriteOps, OperationsBeforeTheScreenOpensDoNothing) {
  eng_object_lists_reset();
  rt_list_free(g_engine.sprites.header);
  rt_list_free(g_engine.textures.header);
  rt_list_free(g_engine.draw_queue.header);
  EXPECT_EQ(eng_sprite_load("GFX\\none.png"), 0);
  EXPECT_EQ(eng_sprite_create(0), 0);
  EXPECT_EQ(eng_texture_create(4, 4), 0);
  EXPECT_EQ(eng_sprite_draw(0, 0, 0, 255), 0);
  eng_sprite_pass();
  eng_object_lists_reset();  // back for the tear-down
}

}  // namespace
}  // namespace sprite_test
