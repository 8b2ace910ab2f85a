// Opening the screen: mode clamping, depths, result codes, the second open,
// and the switches through the reset routine (timed on the virtual clock,
// whose reset sleep of 100 ms shows whether a reset ran).
#include "tests/engine/screen_test_fixture.h"

namespace {

using screen_test::kResetSleep;
using screen_test::ScreenTest;

TEST_F(ScreenTest, ModesAreClampedToWindowOrFullScreen) {
  ASSERT_EQ(eng_screen_open(1024, 768, 32, 7), kEngOk);  // 7 behaves as 1
  EXPECT_EQ(g_engine.screen.windowed, 1);
  EXPECT_EQ(g_engine.screen.present_interval, kIntervalDefault);
  if (display()) {
    EXPECT_TRUE(plat_window_decorated(g_engine.screen.window));
    EXPECT_EQ(plat_window_fullscreen(g_engine.screen.window), PlatFullscreen::Off);
    EXPECT_EQ(win_handle(0), g_engine.screen.window_handle);
  }
  close_screen();
  ASSERT_EQ(eng_screen_open(1024, 768, 32, -5), kEngOk);  // -5 behaves as 0
  EXPECT_EQ(g_engine.screen.windowed, 0);
  EXPECT_EQ(g_engine.screen.present_interval, kIntervalOne);
  if (display()) {
    EXPECT_NE(plat_window_fullscreen(g_engine.screen.window), PlatFullscreen::Off);
    EXPECT_FALSE(plat_window_decorated(g_engine.screen.window));
  }
  EXPECT_EQ(g_engine.screen.width, 1024);
  EXPECT_EQ(g_engine.screen.height, 768);
  EXPECT_EQ(plat_video_width(g_engine.screen.video), 1024);
}

TEST_F(ScreenTest, FullScreenDepthOtherThan16IsAskedForAs32Bits) {
  ASSERT_EQ(eng_screen_open(640, 480, 24, 0), kEngOk);
  EXPECT_EQ(g_engine.screen.display_format, 22);  // X8R8G8B8, not R8G8B8
  close_screen();
  ASSERT_EQ(eng_screen_open(640, 480, 16, -1), kEngOk);
  EXPECT_EQ(g_engine.screen.display_format, 23);  // R5G6B5
  close_screen();
  ASSERT_EQ(eng_screen_open(640, 480, 8, 0), kEngOk);
  EXPECT_EQ(g_engine.screen.display_format, 22);
}

TEST_F(ScreenTest, SecondOpenIsRefusedAndLeavesTheFirst) {
  ASSERT_EQ(eng_screen_open(800, 600, 32, 1), kEngOk);
  PlatVideo* video = g_engine.screen.video;
  const std::intptr_t window = g_engine.screen.window_handle;
  const std::intptr_t textures = reinterpret_cast<std::intptr_t>(g_engine.textures.header);
  EXPECT_EQ(eng_screen_open(1024, 768, 32, 0), kEngAlreadyOpen);
  EXPECT_EQ(g_engine.screen.video, video);
  EXPECT_EQ(g_engine.screen.window_handle, window);
  EXPECT_EQ(reinterpret_cast<std::intptr_t>(g_engine.textures.header), textures);
  EXPECT_EQ(g_engine.screen.width, 800);
  EXPECT_EQ(g_engine.screen.windowed, 1);
}

TEST_F(ScreenTest, FullScreenWithoutASizeCannotBeShown) {
  EXPECT_EQ(eng_screen_open(0, 768, 32, 0), kEngModeNotOffered);
  EXPECT_EQ(eng_screen_open(1024, 0, 32, 0), kEngModeNotOffered);
  EXPECT_EQ(g_engine.screen.video, nullptr);
  EXPECT_EQ(win_handle(0), 0);
  // A window of no size fails at the device, and the screen stays closed.
  EXPECT_EQ(eng_screen_open(0, 0, 32, 1), kEngNoDirect3D);
  EXPECT_EQ(win_handle(0), 0);
  EXPECT_EQ(eng_screen_open(320, 200, 32, 1), kEngOk);
}

TEST_F(ScreenTest, NoAudioOutputIsNotFatal) {
  ASSERT_FALSE(plat_audio_is_open());
  EXPECT_EQ(eng_screen_open(320, 200, 32, 1), kEngOk);
  EXPECT_EQ(eng_last_error(), kEngNoSound);
  close_screen();
  plat_audio_use_manual(true);
  ASSERT_TRUE(plat_audio_open());
  EXPECT_EQ(eng_screen_open(320, 200, 32, 1), kEngOk);
  EXPECT_EQ(eng_last_error(), 0);
  plat_audio_close();
  plat_audio_use_manual(false);
}

TEST_F(ScreenTest, OpenMakesTheDefaultFontAndTheInputDevices) {
  ASSERT_EQ(eng_screen_open(320, 200, 32, 2), kEngOk);
  EXPECT_EQ(rt_list_size(g_engine.fonts.header), 1);
  EXPECT_EQ(g_engine.current_font, 0);  // the default font is not the current one
  EXPECT_TRUE(g_engine.input.keyboard);
  EXPECT_TRUE(g_engine.input.mouse);
}

TEST_F(ScreenTest, VsyncOnAFullScreenThatPresentsOnTheRetraceDoesNotReset) {
  ASSERT_EQ(eng_screen_open(640, 480, 32, 0), kEngOk);
  const auto t0 = now();
  EXPECT_EQ(eng_set_vsync(1), 0);
  EXPECT_EQ(now(), t0);  // no reset, no sleep
  EXPECT_EQ(eng_set_vsync(0), 0);
  EXPECT_EQ(now(), t0 + kResetSleep);
  EXPECT_EQ(g_engine.screen.present_interval, kIntervalImmediate);
  EXPECT_EQ(eng_set_vsync(0), 0);  // already immediate
  EXPECT_EQ(now(), t0 + kResetSleep);
  EXPECT_EQ(eng_set_vsync(1), 0);
  EXPECT_EQ(now(), t0 + 2 * kResetSleep);
  EXPECT_EQ(g_engine.screen.present_interval, kIntervalOne);
}

TEST_F(ScreenTest, VsyncOnAWindowResetsFromTheDefaultInterval) {
  ASSERT_EQ(eng_screen_open(640, 480, 32, 3), kEngOk);
  const auto t0 = now();
  eng_set_vsync(1);
  EXPECT_EQ(now(), t0 + kResetSleep);
  EXPECT_EQ(g_engine.screen.present_interval, kIntervalOne);
  // A device that is not usable is reset even with the interval in place.
  g_engine.screen.device_status = 1;
  eng_set_vsync(1);
  EXPECT_EQ(now(), t0 + 2 * kResetSleep);
  EXPECT_EQ(g_engine.screen.device_status, 0);
}

TEST_F(ScreenTest, OtherFlagValuesChangeNothing) {
  ASSERT_EQ(eng_screen_open(640, 480, 32, 1), kEngOk);
  const auto t0 = now();
  EXPECT_EQ(eng_set_fullscreen(2), 0);
  EXPECT_EQ(eng_set_fullscreen(-1), 0);
  EXPECT_EQ(eng_set_vsync(2), 0);
  EXPECT_EQ(now(), t0);
  EXPECT_EQ(g_engine.screen.windowed, 1);
  EXPECT_EQ(g_engine.screen.present_interval, kIntervalDefault);
}

TEST_F(ScreenTest, SwitchesBeforeAnyScreenDoNothing) {
  const auto t0 = now();
  EXPECT_EQ(eng_set_fullscreen(1), 0);
  EXPECT_EQ(eng_set_vsync(0), 0);
  EXPECT_EQ(now(), t0);
  EXPECT_EQ(eng_render(), 0);
}

TEST_F(ScreenTest, FullScreenAndBackRemembersTheWindowPosition) {
  ASSERT_EQ(eng_screen_open(400, 300, 32, 3), kEngOk);
  const int x = win_x(0), y = win_y(0);
  const auto t0 = now();
  eng_set_fullscreen(1);
  EXPECT_EQ(now(), t0 + kResetSleep);
  EXPECT_EQ(g_engine.screen.windowed, 0);
  EXPECT_EQ(g_engine.screen.remembered_x, x);
  EXPECT_EQ(g_engine.screen.remembered_y, y);
  eng_set_fullscreen(0);
  EXPECT_EQ(g_engine.screen.windowed, 1);
  EXPECT_EQ(g_engine.screen.device_status, 0);
  if (!display()) return;
  EXPECT_EQ(plat_window_fullscreen(g_engine.screen.window), PlatFullscreen::Off);
  int w = 0, h = 0;
  plat_window_size(g_engine.screen.window, &w, &h);
  EXPECT_EQ(w, 400);
  EXPECT_EQ(h, 300);
  EXPECT_EQ(win_x(0), x);
  EXPECT_EQ(win_y(0), y);
}

TEST_F(ScreenTest, WindowedSwitchKeepsAPositionRememberedEarlier) {
  ASSERT_EQ(eng_screen_open(400, 300, 32, 1), kEngOk);
  g_engine.screen.remembered_x = 17;
  g_engine.screen.remembered_y = 0;
  eng_set_fullscreen(0);  // windowed again: only the missing coordinate is taken
  EXPECT_EQ(g_engine.screen.remembered_x, 17);
  EXPECT_EQ(g_engine.screen.remembered_y, win_y(0));
  const int x = win_x(0);  // where the switch put the window back
  if (display()) {
    EXPECT_EQ(x, 17);
  }
  eng_set_fullscreen(1);  // full screen always takes both
  EXPECT_EQ(g_engine.screen.remembered_x, x);
}

TEST_F(ScreenTest, CloseButtonIsReportedOnce) {
  if (!plat_display_init()) GTEST_SKIP() << "needs a display window";
  ASSERT_EQ(eng_screen_open(320, 200, 32, 3), kEngOk);
  EXPECT_EQ(eng_close_requested(), 0);
  plat_window_post_close(g_engine.screen.window);
  EXPECT_EQ(eng_close_requested(), 1);
  EXPECT_EQ(eng_close_requested(), 1);  // it stays asked for
}

}  // namespace
