// Sprites on the screen: placement, zoom, rotation, drawing order, depth,
// per-entry blend and alpha, animation timing and draws kept while the
// device is unusable. Exact on the soft device; gl within the device
// tolerance for the cases run on both.
#include "tests/engine/sprite_test_fixture.h"

namespace sprite_test {
namespace {

constexpr std::uint32_t kWhite = 0xFFFFFFFF;
constexpr std::uint32_t kRed = 0xFFFF0000;
constexpr std::uint32_t kGreen = 0xFF00FF00;
constexpr std::uint32_t kBlue = 0xFF0000FF;

// Cases run on both back ends.
class SpriteDraw : public BackendTest {
 protected:
  // gl may round a channel differently from the soft reference.
  void expect_pixel(int x, int y, std::uint32_t rgb) const {
    const std::uint32_t got = pixel(x, y);
    const int tolerance = GetParam() == PlatVideoBackend::Soft ? 0 : 2;
    for (int shift = 0; shift < 24; shift += 8) {
      const int a = static_cast<int>(got >> shift & 255), b = static_cast<int>(rgb >> shift & 255);
      EXPECT_LE(std::abs(a - b), tolerance)
          << "pixel (" << x << ", " << y << ") is " << std::hex << got << ", expected " << rgb;
    }
  }
  void expect_pixels(std::initializer_list<At> points) const {
    for (const At& a : points) expect_pixel(a.x, a.y, a.rgb);
  }
};

TEST_P(SpriteDraw, HalfScaleSpriteCoversHalfItsSizeFromItsCorner) {
  const EngHandle s = solid_sprite(64, 64, kWhite);
  eng_sprite_set_scale(s, 50, 50);
  eng_sprite_draw(s, 100, 100, 255);
  render();
  expect_pixels({{100, 100, 0xFFFFFF}, {131, 131, 0xFFFFFF}, {132, 100, 0}, {100, 132, 0}});
  expect_pixels({{99, 100, 0}, {100, 99, 0}});
}

TEST_P(SpriteDraw, CreationOrderDecidesWhatIsOnTopNotCallOrder) {
  const EngHandle a = solid_sprite(8, 8, kRed);
  const EngHandle b = solid_sprite(8, 8, kGreen);
  eng_sprite_draw(b, 10, 10, 255);
  eng_sprite_draw(a, 12, 12, 255);
  render();
  expect_pixels({{15, 15, 0x00FF00}, {19, 19, 0xFF0000}, {10, 10, 0x00FF00}});
}

TEST_P(SpriteDraw, SpriteDrawnTwiceUsesTheAngleOfEachCall) {
  const EngHandle s = solid_sprite(8, 2, kWhite);
  eng_sprite_draw(s, 100, 100, 255);
  eng_sprite_set_angle(s, 90);
  eng_sprite_draw(s, 100, 100, 255);
  render();
  // The first copy lies flat, the second stands on the same centre.
  expect_pixels({{100, 100, 0xFFFFFF}, {107, 101, 0xFFFFFF}, {104, 97, 0xFFFFFF}});
  expect_pixels({{103, 104, 0xFFFFFF}, {102, 104, 0}, {105, 104, 0}, {104, 96, 0}, {104, 105, 0}});
}

TEST_P(SpriteDraw, LaterSpriteAtDepthOneStaysBehindEarlierSpriteAtDepthZero) {
  const EngHandle front = solid_sprite(8, 8, kRed);
  const EngHandle back = solid_sprite(16, 16, kBlue);
  eng_sprite_set_depth(back, 10);
  eng_sprite_draw(front, 50, 50, 255);
  eng_sprite_draw(back, 46, 46, 255);
  render();
  expect_pixels({{50, 50, 0xFF0000}, {57, 57, 0xFF0000}, {46, 46, 0x0000FF}, {58, 58, 0x0000FF}});
}

TEST_P(SpriteDraw, EachEntryBlendsWithItsOwnFactorsAndAlpha) {
  const EngHandle s = solid_sprite(4, 4, 0xFF404040);
  eng_sprite_draw(s, 0, 0, 255);
  eng_sprite_set_blend(s, kBlendOne, kBlendOne);
  eng_sprite_draw(s, 0, 0, 255);
  eng_sprite_set_blend(s, kBlendSrcAlpha, kBlendDestAlpha);
  eng_sprite_draw(s, 10, 0, 255);
  eng_sprite_draw(s, 10, 0, 255);
  const EngHandle white = solid_sprite(4, 4, kWhite);
  eng_sprite_draw(white, 20, 0, 128);
  render();
  expect_pixels({{1, 1, 0x808080}, {11, 1, 0x808080}, {21, 1, 0x808080}});
}

INSTANTIATE_TEST_SUITE_P(Backends, SpriteDraw,
                         ::testing::Values(PlatVideoBackend::Soft, PlatVideoBackend::GL),
                         [](const auto& info) {
                           return info.param == PlatVideoBackend::Soft ? "soft" : "gl";
                         });

class SpriteRender : public EngineTest {};

TEST_F(SpriteRender, HotspotIsThePivotAndLeavesTheUnrotatedImageInPlace) {
  const EngHandle s = solid_sprite(4, 2, kWhite);
  eng_sprite_move_hotspot_x(s, -2);  // centre (0, 1): the left edge's middle
  eng_sprite_set_scale(s, 200, 100);
  eng_sprite_draw(s, 10, 10, 255);
  eng_sprite_set_scale(s, 100, 100);
  eng_sprite_set_angle(s, 90);
  eng_sprite_draw(s, 20, 20, 255);
  render();
  expect_screen({{10, 10, 0xFFFFFFu}, {17, 11, 0xFFFFFFu}, {18, 10, 0u}, {9, 10, 0u}});
  // Turned about (20, 21): the bar hangs down from there.
  expect_screen({{19, 21, 0xFFFFFFu}, {20, 24, 0xFFFFFFu}, {21, 21, 0u}, {19, 20, 0u}});
  expect_screen({{19, 25, 0u}});
}

TEST_F(SpriteRender, UnrotatedSpriteShowsItsTexelsOneToOne) {
  const EngHandle s =
      sprite(5, 3, [](int x, int y) { return argb(255, 10 + x * 40, 20 + y * 60, 200); });
  eng_sprite_draw(s, 300, 200, 255);
  render();
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x)
      EXPECT_EQ(pixel(300 + x, 200 + y), argb(0, 10 + x * 40, 20 + y * 60, 200));
}

// Four 2 × 2 frames of different colours side by side.
class SpriteAnimation : public EngineTest {
 protected:
  EngHandle sheet(int speed) {
    const std::uint32_t colours[] = {kRed, kGreen, kBlue, kWhite};
    const EngHandle s = sprite(8, 2, [&](int x, int) { return colours[x / 2]; });
    eng_sprite_set_frames(s, 4, speed, 2, 2);
    return s;
  }
};

TEST_F(SpriteAnimation, AdvancesOnlyWhenTheTimerIsStrictlyAboveItsPeriod) {
  const EngHandle s = sheet(10);
  g_engine.screen.frame_time = 1.0f / 60.0f;
  ASSERT_EQ(g_engine.screen.frame_time * 60.0f, 1.0f);
  for (int frame = 1; frame <= 8; ++frame) {
    eng_sprite_draw(s, 0, 0, 255);
    eng_sprite_draw(s, 4, 0, 255);
    render();
    // The first draw of a frame shows the frame before the advance, later
    // draws the one after; the timer starts again from 0.
    const std::uint32_t first = frame <= 7 ? 0xFF0000 : 0x00FF00;
    const std::uint32_t second = frame <= 6 ? 0xFF0000 : 0x00FF00;
    EXPECT_EQ(pixel(0, 0), first) << "frame " << frame;
    EXPECT_EQ(pixel(4, 0), second) << "frame " << frame;
  }
  EXPECT_EQ(record(s).current_frame, 1);
  EXPECT_EQ(record(s).frame_timer, 1.0f);
}

TEST_F(SpriteAnimation, NoAdvanceWithoutADrawAndWrapAtTheLastFrame) {
  const EngHandle s = sheet(60);
  g_engine.screen.frame_time = 0.05f;  // three ticks: above the period of 1
  render();
  EXPECT_EQ(record(s).current_frame, 0) << "not drawn, not advanced";
  for (int frame = 0; frame < 4; ++frame) {
    eng_sprite_draw(s, 0, 0, 255);
    render();
  }
  EXPECT_EQ(record(s).current_frame, 0) << "3 wraps to 0";
  record(s).frame_step = -1;
  eng_sprite_draw(s, 0, 0, 255);
  render();
  EXPECT_EQ(record(s).current_frame, 3) << "below 0 wraps to the last";
}

TEST_F(SpriteAnimation, RunningAnimationAddsTheEntryFrameAndSpeedZeroTakesItAsIs) {
  const EngHandle running = sheet(1);
  record(running).current_frame = 3;
  eng_text_draw(running, 0, 0, "\x01", 255, 0, 0);  // entry frame 1: (3 + 1) mod 4
  const EngHandle still = sheet(0);
  record(still).current_frame = 3;
  eng_text_draw(still, 10, 0, "\x02", 255, 0, 0);
  render();
  expect_screen({{0, 0, 0xFF0000u}, {10, 0, 0x0000FFu}});
}

TEST_F(SpriteRender, DrawsWaitWhileTheDeviceIsUnusable) {
  const EngHandle s = solid_sprite(4, 4, kWhite);
  render();
  eng_sprite_draw(s, 0, 0, 255);
  g_engine.screen.device_status = 1;
  render();
  eng_sprite_draw(s, 10, 0, 255);
  render();
  EXPECT_EQ(rt_list_size(g_engine.draw_queue.header), 2);
  EXPECT_EQ(pixel(0, 0), 0u);
  g_engine.screen.device_status = 0;
  render();
  expect_screen({{0, 0, 0xFFFFFFu}, {10, 0, 0xFFFFFFu}});
  EXPECT_EQ(rt_list_size(g_engine.draw_queue.header), 0);
  render();
  EXPECT_EQ(pixel(0, 0), 0u) << "each entry is drawn once";
}

}  // namespace
}  // namespace sprite_test
