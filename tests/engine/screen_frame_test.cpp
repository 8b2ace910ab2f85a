// The frame: the frame time from the 100-ns clock, the 10-µs ticks, rendering
// only while the device is usable and from a black clear, and the start-up
// operations called before the screen opens.
#include <vector>

#include "runtime/maths.h"
#include "tests/engine/screen_test_fixture.h"

namespace {

using screen_test::kStart;
using screen_test::ScreenTest;

std::vector<std::uint32_t> back_buffer() {
  PlatVideo* video = g_engine.screen.video;
  std::vector<std::uint32_t> pixels(
      static_cast<std::size_t>(plat_video_width(video) * plat_video_height(video)));
  plat_video_read_back(video, pixels.data());
  return pixels;
}

TEST_F(ScreenTest, FrameTimeIsTheTimeBetweenFlips) {
  ASSERT_EQ(eng_screen_open(320, 200, 32, 1), kEngOk);
  EXPECT_FLOAT_EQ(eng_frame_time(), 0.016f);
  plat_clock_advance_100ns(250'000);  // 25 ms since the screen opened
  eng_flip();
  EXPECT_FLOAT_EQ(eng_frame_time(), 0.025f);
  EXPECT_FLOAT_EQ(eng_frame_time(), 0.025f);  // reading does not change it
  plat_clock_advance_100ns(166'667);
  eng_flip();
  EXPECT_FLOAT_EQ(eng_frame_time(), 0.0166667f);
  // A long pause is measured whole by the next flip.
  plat_clock_advance_100ns(30'000'000);
  eng_flip();
  EXPECT_FLOAT_EQ(eng_frame_time(), 3.0f);
  eng_flip();
  EXPECT_FLOAT_EQ(eng_frame_time(), 0.0f);
}

TEST_F(ScreenTest, StartUpSetsTheFirstFrameTimeAgain) {
  g_engine.screen.frame_time = 0.5f;
  ASSERT_EQ(eng_screen_open(320, 200, 32, 1), kEngOk);
  EXPECT_FLOAT_EQ(eng_frame_time(), 0.016f);
  EXPECT_EQ(g_engine.screen.last_flip, kStart);
}

TEST_F(ScreenTest, TicksAreTenMicrosecondUnitsCutTo32Bits) {
  plat_clock_set_100ns(12'345'600);
  EXPECT_EQ(eng_ticks(), 123'456);
  plat_clock_set_100ns((0x1'0000'0000ull + 7) * 100 + 99);
  EXPECT_EQ(eng_ticks(), 7);
  plat_clock_set_100ns(0xFFFF'FFFFull * 100);
  EXPECT_EQ(eng_ticks(), -1);
}

TEST_F(ScreenTest, RenderClearsToBlackAndDrawsBoxesOnTop) {
  ASSERT_EQ(eng_screen_open(64, 48, 32, 1), kEngOk);
  eng_box_draw(10, 10, 5, 5, 0x00FF00, 1);  // filled
  eng_render();
  auto pixels = back_buffer();
  EXPECT_NE(pixels[12 * 64 + 12], 0u);
  EXPECT_EQ(pixels[0], 0u);
  eng_flip();
  eng_render();  // nothing queued: the whole frame is black again
  pixels = back_buffer();
  EXPECT_EQ(pixels[12 * 64 + 12], 0u);
}

TEST_F(ScreenTest, NothingIsDrawnWhileTheDeviceIsUnusable) {
  ASSERT_EQ(eng_screen_open(64, 48, 32, 1), kEngOk);
  eng_render();
  g_engine.screen.device_status = 1;
  eng_box_draw(0, 0, 8, 8, 0xFFFFFF, 1);
  eng_render();
  EXPECT_EQ(back_buffer()[3 * 64 + 3], 0u);
  EXPECT_EQ(rt_list_size(g_engine.boxes.header), 1);  // kept for the next good frame
  g_engine.screen.device_status = 0;
  eng_render();
  EXPECT_NE(back_buffer()[3 * 64 + 3], 0u);
}

TEST_F(ScreenTest, FlipPresentsAndKeepsTheDeviceUsable) {
  ASSERT_EQ(eng_screen_open(64, 48, 32, 1), kEngOk);
  eng_render();
  const auto t0 = plat_time_100ns();
  EXPECT_EQ(eng_flip(), 0);
  EXPECT_EQ(g_engine.screen.device_status, 0);
  EXPECT_EQ(plat_time_100ns(), t0);  // no recovery sleep after a good present
}

TEST(EngineStartUp, RandomRangeIsInclusiveOfBothEnds) {
  rt_random_seed(1234);
  bool low = false, high = false;
  for (int i = 0; i < 2000; ++i) {
    const int r = eng_random_range(-3, 4);
    ASSERT_GE(r, -3);
    ASSERT_LE(r, 4);
    low |= r == -3;
    high |= r == 4;
  }
  EXPECT_TRUE(low);
  EXPECT_TRUE(high);
  EXPECT_EQ(eng_random_range(9, 9), 9);
}

TEST(EngineStartUp, InitAndStringsInitPrepareNothingVisible) {
  // Runs on its own: a second string start-up abandons the first string heap.
  if (!rt_main_heap) rt_main_heap = rt_heap_create();
  EXPECT_EQ(eng_init(), 0);
  eng_strings_init();  // the string start-up: an empty temporary buffer
  EXPECT_EQ(rt_str_position(), 0);
  rt_str_append("xy");
  EXPECT_EQ(rt_str_position(), 2);
  EXPECT_EQ(eng_init(), 0);
  EXPECT_EQ(rt_str_position(), 2);  // eng_init touches nothing
}

}  // namespace
