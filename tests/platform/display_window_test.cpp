// Display windows under a real X server (Xvfb in the test run): geometry,
// centring, full screen through a real mode or the letterboxed desktop, close
// requests through the event queue, cursor and global pointer.
#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <utility>

#include "platform/display.h"

namespace {
using Pair = std::pair<int, int>;

Pair size_of(PlatWindow* w) {
  Pair p;
  plat_window_size(w, &p.first, &p.second);
  return p;
}
Pair position_of(PlatWindow* w) {
  Pair p;
  plat_window_position(w, &p.first, &p.second);
  return p;
}
Pair desktop() {
  Pair p;
  plat_desktop_size(&p.first, &p.second);
  return p;
}

class DisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!plat_display_init()) GTEST_SKIP() << "no X display (run under xvfb-run)";
  }
  void TearDown() override {
    if (window_) plat_window_destroy(window_);
  }
  // Lets the X server and SDL settle asynchronous changes.
  static void settle() {
    for (int i = 0; i < 10; ++i) {
      plat_events_pump();
      usleep(5000);
    }
  }
  PlatWindow* window_ = nullptr;
};

TEST_F(DisplayTest, WindowHasClientSizeAndPosition) {
  window_ = plat_window_create("t", 100, 50, 320, 200, kPlatWindowDecorated, nullptr);
  ASSERT_NE(window_, nullptr);
  settle();
  EXPECT_EQ(size_of(window_), Pair(320, 200));
  EXPECT_EQ(position_of(window_), Pair(100, 50));
  plat_window_move(window_, 140, 60);
  settle();
  EXPECT_EQ(position_of(window_), Pair(140, 60));
  EXPECT_NE(plat_window_id(window_), 0u);
}

TEST_F(DisplayTest, CentresOnDesktopAndOnParent) {
  const auto [dw, dh] = desktop();
  ASSERT_GT(dw, 400);
  window_ = plat_window_create("", 0, 0, 400, 300, kPlatWindowCentred, nullptr);
  ASSERT_NE(window_, nullptr);
  settle();
  const auto [x, y] = position_of(window_);
  EXPECT_EQ(Pair(x, y), Pair((dw - 400) / 2, (dh - 300) / 2));

  PlatWindow* child = plat_window_create("", 0, 0, 100, 50, kPlatWindowCentred, window_);
  ASSERT_NE(child, nullptr);
  settle();
  EXPECT_EQ(position_of(child), Pair(x + (400 - 100) / 2, y + (300 - 50) / 2));
  plat_window_destroy(child);
}

TEST_F(DisplayTest, RefusesEmptySize) {
  EXPECT_EQ(plat_window_create("", 0, 0, 0, 100, 0, nullptr), nullptr);
  EXPECT_EQ(plat_window_create("", 0, 0, 100, -1, 0, nullptr), nullptr);
}

TEST_F(DisplayTest, FullScreenUsesRealModeOrLetterboxedDesktop) {
  window_ = plat_window_create("", 128, 128, 1024, 768, kPlatWindowDecorated, nullptr);
  ASSERT_NE(window_, nullptr);
  settle();
  const bool real_mode = plat_display_has_mode(1024, 768, 60);
  const PlatFullscreen got = plat_window_set_fullscreen(window_, true, 1024, 768);
  settle();
  Pair drawable;
  plat_window_drawable_size(window_, &drawable.first, &drawable.second);
  EXPECT_EQ(got, real_mode ? PlatFullscreen::Exclusive : PlatFullscreen::Desktop);
  EXPECT_EQ(drawable, real_mode ? Pair(1024, 768) : desktop());
  EXPECT_EQ(plat_window_fullscreen(window_), got);
  EXPECT_EQ(plat_window_refresh_hz(window_), 60);

  // Back to the window: size and place as before.
  EXPECT_EQ(plat_window_set_fullscreen(window_, false, 1024, 768), PlatFullscreen::Off);
  settle();
  EXPECT_EQ(size_of(window_), Pair(1024, 768));
  EXPECT_EQ(position_of(window_), Pair(128, 128));
}

TEST_F(DisplayTest, FullScreenOfNoSizeIsNotPossible) {
  EXPECT_FALSE(plat_fullscreen_possible(0, 768));
  EXPECT_FALSE(plat_fullscreen_possible(1024, 0));
  EXPECT_TRUE(plat_fullscreen_possible(1024, 768));
  window_ = plat_window_create("", 0, 0, 64, 64, 0, nullptr);
  ASSERT_NE(window_, nullptr);
  EXPECT_EQ(plat_window_set_fullscreen(window_, true, 0, 0), PlatFullscreen::Off);
}

TEST_F(DisplayTest, CloseRequestArrivesThroughThePump) {
  window_ = plat_window_create("", 0, 0, 64, 64, 0, nullptr);
  ASSERT_NE(window_, nullptr);
  static int closes = 0;
  closes = 0;
  plat_display_set_event_hook([](PlatWindow*, PlatWindowEvent e, int, int) {
    if (e == PlatWindowEvent::Close) ++closes;
  });
  plat_events_pump();
  EXPECT_FALSE(plat_window_close_requested(window_));
  plat_window_post_close(window_);
  EXPECT_FALSE(plat_window_close_requested(window_));  // not before the pump
  plat_events_pump();
  EXPECT_TRUE(plat_window_close_requested(window_));
  EXPECT_EQ(closes, 1);
  plat_window_clear_close_request(window_);
  EXPECT_FALSE(plat_window_close_requested(window_));
  plat_display_set_event_hook(nullptr);
}

TEST_F(DisplayTest, HiddenWindowIsNotShown) {
  window_ = plat_window_create("", 0, 0, 64, 64, kPlatWindowHidden, nullptr);
  ASSERT_NE(window_, nullptr);
  EXPECT_FALSE(plat_window_visible(window_));
  plat_window_show(window_, true);
  EXPECT_TRUE(plat_window_visible(window_));
}

TEST_F(DisplayTest, CursorHidesAndTakesSystemShapes) {
  plat_cursor_show(false);
  EXPECT_FALSE(plat_cursor_shown());
  plat_cursor_show(true);
  EXPECT_TRUE(plat_cursor_shown());
  for (int s = 0; s <= static_cast<int>(PlatCursor::Help); ++s)
    EXPECT_TRUE(plat_cursor_set(static_cast<PlatCursor>(s))) << s;
}

TEST_F(DisplayTest, WarpsTheDesktopPointer) {
  // Other test processes may move or briefly confine the shared pointer; one
  // clean read suffices.
  bool matched = false;
  for (int attempt = 0; attempt < 40 && !matched; ++attempt) {
    if (attempt) usleep(50000);
    plat_mouse_warp_global(321, 234);
    int x = 0, y = 0;
    plat_mouse_global(&x, &y);
    matched = x == 321 && y == 234;
  }
  EXPECT_TRUE(matched);
}

}  // namespace

TEST(Letterbox, FitsAndCentresKeepingAspect) {
  // x, y, width, height of 1024 × 768 on each screen size.
  const auto box = [](int w, int h) {
    const PlatRect r = plat_letterbox(1024, 768, w, h);
    return std::array{r.x, r.y, r.width, r.height};
  };
  EXPECT_EQ(box(1024, 768), (std::array{0, 0, 1024, 768}));
  EXPECT_EQ(box(1280, 1024), (std::array{0, 32, 1280, 960}));    // bars above and below
  EXPECT_EQ(box(1920, 1080), (std::array{240, 0, 1440, 1080}));  // bars left and right
  const std::array none = box(0, 600);
  EXPECT_EQ(none[2], 0);
  EXPECT_EQ(none[3], 0);
}

namespace {

// Waits until the window has the focus as SDL reports it, or gives up.
bool wait_focus(PlatWindow* window, bool focused) {
  for (int i = 0; i < 100; ++i) {
    plat_events_pump();
    if (plat_window_has_focus(window) == focused) return true;
    usleep(10000);
  }
  return false;
}

TEST_F(DisplayTest, PointerIsGrabbedOnlyWhileTheWindowHasFocus) {
  window_ = plat_window_create("", 0, 0, 200, 200, kPlatWindowDecorated, nullptr);
  ASSERT_NE(window_, nullptr);
  plat_window_set_mouse_grab(window_, true);
  settle();
  plat_window_focus(window_);
  if (!wait_focus(window_, true)) GTEST_SKIP() << "this display gives no focus to clients";
  EXPECT_TRUE(plat_mouse_grabbed());
  // Another window takes the focus (as Alt-Tab would): the pointer goes free.
  PlatWindow* other = plat_window_create("", 300, 0, 100, 100, kPlatWindowDecorated, nullptr);
  ASSERT_NE(other, nullptr);
  settle();
  plat_window_focus(other);
  EXPECT_TRUE(wait_focus(window_, false));
  EXPECT_FALSE(plat_mouse_grabbed());
  plat_window_focus(window_);
  EXPECT_TRUE(wait_focus(window_, true));
  EXPECT_TRUE(plat_mouse_grabbed());
  plat_window_destroy(other);
  plat_window_set_mouse_grab(window_, false);
  EXPECT_FALSE(plat_mouse_grabbed());
}

}  // namespace
