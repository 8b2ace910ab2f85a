// Sprite collision: the rectangle test, the four modes, rotated and scaled
// sprites, the per-frame collision picture and its agreement with the
// screen.
#include "tests/engine/sprite_test_fixture.h"

namespace sprite_test {
namespace {

constexpr std::uint32_t kOpaque = 0xFFFFFFFF;

class Collide : public EngineTest {
 protected:
  // 16 × 16, solid on the left half only.
  EngHandle left_half() {
    return sprite(16, 16, [](int x, int) { return x < 8 ? kOpaque : 0u; });
  }
  static std::array<int, 4> box(EngHandle s) {
    const auto& b = record(s).collision.box;
    return {b[0], b[1], b[2], b[3]};
  }
};

TEST_F(Collide, OpaqueSpritesOverlappingByHalfCollide) {
  const EngHandle a = solid_sprite(16, 16, kOpaque);
  const EngHandle b = solid_sprite(16, 16, kOpaque);
  EXPECT_EQ(eng_sprite_collide(a, 0, 0, b, 8, 8, 3), 1);
  EXPECT_EQ(eng_sprite_collide(a, 0, 0, b, 40, 8, 3), 0);
  EXPECT_EQ(box(a), (std::array<int, 4>{0, 0, 16, 16}));
  EXPECT_EQ(box(b), (std::array<int, 4>{40, 8, 56, 24}));
}

TEST_F(Collide, SharedEdgePassesTheRectangleTestButHasNoPixelsInCommon) {
  const EngHandle a = solid_sprite(16, 16, kOpaque);
  const EngHandle b = solid_sprite(16, 16, kOpaque);
  EXPECT_EQ(eng_sprite_collide(a, 0, 0, b, 16, 0, 3), 0);
  EXPECT_EQ(record(a).collision.cache_valid, 1) << "past the rectangle test to the pictures";
  EXPECT_EQ(eng_sprite_collide(a, 0, 0, b, 17, 0, 3), 0);
  render();
  EXPECT_EQ(eng_sprite_collide(a, 0, 0, b, 17, 0, 3), 0);
  EXPECT_EQ(record(a).collision.cache_valid, 0) << "stopped by the rectangle test";
  for (int mode : {0, 1, 2, 3}) {
    EXPECT_EQ(eng_sprite_collide(a, 0, 0, b, 16, 0, mode), 0) << "mode " << mode;
    EXPECT_EQ(eng_sprite_collide(a, 0, 0, b, 15, 0, mode), 1) << "mode " << mode;
  }
  // One pixel in common is a collision too.
  EXPECT_EQ(eng_sprite_collide(a, 0, 0, b, 15, 15, 3), 1);
}

TEST_F(Collide, OverlapOnlyWhereOneIsTransparentIsNoCollision) {
  const EngHandle a = left_half();
  const EngHandle b = solid_sprite(16, 16, kOpaque);
  EXPECT_EQ(eng_sprite_collide(a, 0, 0, b, 10, 0, 3), 0);
  EXPECT_EQ(eng_sprite_collide(a, 0, 0, b, 10, 0, 1), 0);
  EXPECT_EQ(eng_sprite_collide(b, 10, 0, a, 0, 0, 1), 1) << "pixels of b against the box of a";
  EXPECT_EQ(eng_sprite_collide(a, 0, 0, b, 7, 0, 3), 1);
}

TEST_F(Collide, RotatedSpriteHasALargerBoxAndTurnedPixels) {
  const EngHandle square = solid_sprite(16, 16, kOpaque);
  const EngHandle dot = solid_sprite(2, 2, kOpaque);
  eng_sprite_set_angle(square, 45);
  EXPECT_EQ(eng_sprite_collide(square, 0, 0, dot, 100, 100, 3), 0);
  const auto b = box(square);
  EXPECT_EQ(b, (std::array<int, 4>{-3, -3, 19, 19}));
  EXPECT_NEAR((b[2] - b[0]) / 16.0, 1.41, 0.05);
  // The corner of the box is empty, the tip of the diamond is not.
  EXPECT_EQ(eng_sprite_collide(square, 0, 0, dot, -3, -3, 3), 0);
  EXPECT_EQ(eng_sprite_collide(square, 0, 0, dot, 7, -3, 3), 1);

  const EngHandle bar = solid_sprite(16, 2, kOpaque);
  EXPECT_EQ(eng_sprite_collide(bar, 0, 0, dot, 7, 5, 3), 0);
  eng_sprite_set_angle(bar, 90);
  render();  // a new frame: the bar's picture is rendered again
  EXPECT_EQ(eng_sprite_collide(bar, 0, 0, dot, 7, 5, 3), 1);
  EXPECT_EQ(box(bar), (std::array<int, 4>{7, -7, 9, 9}));
  EXPECT_EQ(eng_sprite_collide(bar, 0, 0, dot, 10, 5, 3), 0);
}

TEST_F(Collide, ScaledSpriteReachesAsFarAsItIsDrawn) {
  const EngHandle big = solid_sprite(8, 8, kOpaque);
  const EngHandle dot = solid_sprite(2, 2, kOpaque);
  EXPECT_EQ(eng_sprite_collide(big, 0, 0, dot, 12, 12, 3), 0);
  eng_sprite_set_scale(big, 200, 200);
  render();
  EXPECT_EQ(eng_sprite_collide(big, 0, 0, dot, 12, 12, 3), 1);
  EXPECT_EQ(box(big), (std::array<int, 4>{0, 0, 16, 16}));
  eng_sprite_set_scale(big, 50, 50);
  render();
  EXPECT_EQ(eng_sprite_collide(big, 0, 0, dot, 4, 4, 3), 0);
  EXPECT_EQ(eng_sprite_collide(big, 0, 0, dot, 3, 3, 3), 1);
}

TEST_F(Collide, PictureIsReusedWithinAFrameAndRenderedAgainInTheNext) {
  const EngHandle a = left_half();
  const EngHandle dot = solid_sprite(4, 4, kOpaque);
  EXPECT_EQ(eng_sprite_collide(a, 0, 0, dot, 2, 4, 3), 1);
  eng_sprite_set_angle(a, 180);  // the solid half is now on the right
  EXPECT_EQ(eng_sprite_collide(a, 0, 0, dot, 12, 4, 3), 0) << "the picture of the first test";
  EXPECT_EQ(eng_sprite_collide(a, 0, 0, dot, 2, 4, 3), 1);
  render();
  EXPECT_EQ(eng_sprite_collide(a, 0, 0, dot, 12, 4, 3), 1);
  EXPECT_EQ(eng_sprite_collide(a, 0, 0, dot, 2, 4, 3), 0);
}

TEST_F(Collide, BoxLargerThanThePictureOfTheFrameFindsNothing) {
  const EngHandle bar = solid_sprite(16, 2, kOpaque);
  const EngHandle dot = solid_sprite(2, 2, kOpaque);
  EXPECT_EQ(eng_sprite_collide(bar, 0, 0, dot, 7, 0, 3), 1);
  eng_sprite_set_angle(bar, 90);
  EXPECT_EQ(eng_sprite_collide(bar, 0, 0, dot, 7, 5, 3), 0);
  render();
  EXPECT_EQ(eng_sprite_collide(bar, 0, 0, dot, 7, 5, 3), 1);
}

TEST_F(Collide, ModeTwoUsesTheTextureUnscaledAndUnrotated) {
  const EngHandle a = left_half();
  const EngHandle dot = solid_sprite(4, 4, kOpaque);
  eng_sprite_set_scale(a, 50, 50);
  eng_sprite_set_angle(a, 180);
  EXPECT_EQ(eng_sprite_collide(a, 0, 0, dot, 10, 0, 2), 0);
  EXPECT_EQ(eng_sprite_collide(a, 0, 0, dot, 4, 0, 2), 1);
  EXPECT_EQ(eng_sprite_collide(a, 0, 0, dot, 10, 0, 1), 0) << "drawn 8 wide";
}

TEST_F(Collide, OtherModesKeepTheBoxWhileThePositionStays) {
  const EngHandle a = solid_sprite(8, 8, kOpaque);
  const EngHandle dot = solid_sprite(2, 2, kOpaque);
  eng_sprite_set_scale(a, 400, 400);
  EXPECT_EQ(eng_sprite_collide(a, 0, 0, dot, 4, 4, 0), 1);
  eng_sprite_set_scale(a, 100, 100);
  EXPECT_EQ(eng_sprite_collide(a, 0, 0, dot, 20, 20, 4), 1) << "box and picture of 32 × 32";
  EXPECT_EQ(eng_sprite_collide(a, 0, 0, dot, 20, 20, 1), 0) << "mode 1 computes the box again";
  EXPECT_EQ(eng_sprite_collide(a, 1, 0, dot, 20, 20, 7), 0) << "a new position, a new box";
}

// A shot is tested against every enemy from one place: on either side of
// the test, the box follows each change of the sprite between two tests at
// the same positions in one frame.
TEST_F(Collide, BoxFollowsEveryChangeOfTheSpriteAtTheSamePlace) {
  const std::function<void(EngHandle)> changes[] = {
      [](EngHandle) {},
      [](EngHandle s) { eng_sprite_set_scale(s, 150, 150); },
      [](EngHandle s) { eng_sprite_move_hotspot_x(s, 2); },
      [](EngHandle s) { eng_sprite_move_hotspot_y(s, -3); },
      [](EngHandle s) { eng_sprite_set_angle(s, 30); },
      [](EngHandle s) { eng_sprite_set_frames(s, 2, 0, 4, 8); },
  };
  const std::array<int, 4> expected[] = {
      {100, 100, 108, 108}, {100, 100, 112, 112}, {99, 100, 111, 112},
      {99, 102, 111, 114},  {95, 97, 111, 114},   {97, 99, 109, 113},
  };
  for (bool first : {true, false}) {
    SCOPED_TRACE(first ? "first side" : "second side");
    const EngHandle moved = solid_sprite(8, 8, kOpaque);
    const EngHandle other = solid_sprite(8, 8, kOpaque);
    for (std::size_t i = 0; i < std::size(changes); ++i) {
      changes[i](moved);
      if (first)
        eng_sprite_collide(moved, 100, 100, other, 0, 0, 3);
      else
        eng_sprite_collide(other, 0, 0, moved, 100, 100, 3);
      EXPECT_EQ(box(moved), expected[i]) << "after change " << i;
    }
  }
}

TEST_F(Collide, PixelTestsFailWhileTheDeviceIsUnusable) {
  const EngHandle a = solid_sprite(8, 8, kOpaque);
  const EngHandle b = solid_sprite(8, 8, kOpaque);
  g_engine.screen.device_status = 1;
  EXPECT_EQ(eng_sprite_collide(a, 0, 0, b, 4, 4, 3), 0);
  EXPECT_EQ(eng_sprite_collide(a, 0, 0, b, 4, 4, 1), 0);
  EXPECT_EQ(eng_sprite_collide(a, 0, 0, b, 4, 4, 2), 1) << "the texture needs no rendering";
  g_engine.screen.device_status = 0;
  EXPECT_EQ(eng_sprite_collide(a, 0, 0, b, 4, 4, 3), 1);
}

TEST_F(Collide, SpriteAgainstItselfKeepsBothBoxes) {
  const EngHandle a = solid_sprite(8, 8, kOpaque);
  EXPECT_EQ(eng_sprite_collide(a, 0, 0, a, 100, 100, 3), 0);
  EXPECT_EQ(eng_sprite_collide(a, 0, 0, a, 4, 4, 3), 1);
}

TEST_F(Collide, AnimatedSpritesShowTheirFrame) {
  // Frame 0 solid, frame 1 transparent.
  const EngHandle sheet = sprite(16, 8, [](int x, int) { return x < 8 ? kOpaque : 0u; });
  eng_sprite_set_frames(sheet, 2, 0, 8, 8);
  const EngHandle dot = solid_sprite(2, 2, kOpaque);
  // Speed 0: the frame of the draw queued last.
  eng_text_draw(sheet, 0, 0, "\x01", 255, 0, 0);
  EXPECT_EQ(eng_sprite_collide(sheet, 0, 0, dot, 3, 3, 3), 0);
  render();
  EXPECT_EQ(eng_sprite_collide(sheet, 0, 0, dot, 3, 3, 3), 1) << "empty queue: frame 0";
  // Running: the current frame.
  eng_sprite_set_frames(sheet, 2, 5, 8, 8);
  record(sheet).current_frame = 1;
  render();
  EXPECT_EQ(eng_sprite_collide(sheet, 0, 0, dot, 3, 3, 3), 0);
}

// The picture of a turned sprite holds what the screen shows of it, pixel
// for pixel, when both place it at the same sub-pixel offset.
TEST_F(Collide, PictureMatchesTheScreen) {
  const EngHandle s = sprite(12, 12, [](int x, int y) {
    return (x / 3 + y / 3) % 2 ? 0u : argb(255, 40 + x * 15, 200 - y * 10, 90);
  });
  eng_sprite_set_angle(s, 30);
  const EngHandle far = solid_sprite(1, 1, kOpaque);
  eng_sprite_collide(s, 200, 100, far, 400, 400, 3);
  eng_sprite_draw(s, 200, 100, 255);
  EXPECT_EQ(eng_sprite_collide(s, 200, 100, s, 200, 100, 3), 1);
  const SpriteCollision& c = record(s).collision;
  ASSERT_EQ(box(s), (std::array<int, 4>{198, 98, 214, 114}));
  ASSERT_EQ(c.picture_width, 16);
  ASSERT_EQ(c.picture_height, 16);
  render();
  const Pixels shown = screen();
  int solid = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const std::uint32_t p = c.picture[y * 16 + x];
      EXPECT_EQ(p & 0xFFFFFF, shown[(98 + y) * kWidth + 198 + x]) << x << "," << y;
      solid += p != 0;
    }
  EXPECT_GT(solid, 40);
  EXPECT_LT(solid, 16 * 16 - 40);
}

}  // namespace
}  // namespace sprite_test
