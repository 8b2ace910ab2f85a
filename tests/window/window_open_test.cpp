// Numbered windows over real X windows (Xvfb in the test run): style flags,
// caption default, centring, hidden and pop-up windows, re-opening a number,
// positions, the program icon, the event queue and the library's end.
#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cstdint>
#include <utility>

#include "platform/display.h"
#include "window/window.h"

namespace {

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!plat_display_init()) GTEST_SKIP() << "no X display (run under xvfb-run)";
    win_events_init();
    win_init();
  }
  void TearDown() override {
    if (plat_display_available()) win_end();
  }
  using Pair = std::pair<int, int>;
  static PlatWindow* plat(WinHandle number) { return win_plat_window(win_handle(number)); }
  static Pair position(WinHandle number) { return {win_x(number), win_y(number)}; }
  static Pair size(WinHandle number) {
    Pair p;
    plat_window_size(plat(number), &p.first, &p.second);
    return p;
  }
  static Pair desktop() {
    Pair p;
    plat_desktop_size(&p.first, &p.second);
    return p;
  }
  static void settle() {
    for (int i = 0; i < 10; ++i) {
      plat_events_pump();
      usleep(5000);
    }
  }
};

TEST_F(WindowTest, ScreenWindowIsCentredOnTheDesktop) {
  const auto [dw, dh] = desktop();
  const WinHandle handle = win_open(0, 0, 0, 1024, 768, "", 0x00C00001);
  ASSERT_NE(handle, 0);
  EXPECT_EQ(win_handle(0), handle);
  settle();
  EXPECT_EQ(size(0), Pair(1024, 768));
  EXPECT_EQ(position(0), Pair((dw - 1024) / 2, (dh - 768) / 2));
  EXPECT_TRUE(plat_window_decorated(plat(0)));
  EXPECT_TRUE(plat_window_visible(plat(0)));
}

TEST_F(WindowTest, CentringClampsToTheDesktop) {
  const auto [dw, dh] = desktop();
  ASSERT_NE(win_open(0, 0, 0, dw + 300, dh + 100, "", kWinCentreScreen), 0);
  settle();
  EXPECT_EQ(size(0), Pair(dw, dh));
  EXPECT_EQ(position(0), Pair(0, 0));
}

TEST_F(WindowTest, NoStyleGivesACaptionAndPopupGivesNone) {
  ASSERT_NE(win_open(0, 10, 10, 100, 100, nullptr, 0), 0);
  EXPECT_TRUE(plat_window_decorated(plat(0)));
  ASSERT_NE(win_open(1, 100, 50, 200, 100, "", kWsPopup), 0);
  settle();
  EXPECT_FALSE(plat_window_decorated(plat(1)));
  EXPECT_EQ(position(1), Pair(100, 50));
  // A tool window always has a caption, even when asked for as a pop-up.
  ASSERT_NE(win_open(2, 0, 0, 50, 50, "", std::uint32_t{kWsPopup} | kWinToolWindow), 0);
  EXPECT_TRUE(plat_window_decorated(plat(2)));
}

TEST_F(WindowTest, HiddenWindowStaysHidden) {
  ASSERT_NE(win_open(3, 0, 0, 64, 64, "", kWinHidden), 0);
  EXPECT_FALSE(plat_window_visible(plat(3)));
}

TEST_F(WindowTest, DefaultPositionAndCentringOnAParent) {
  const WinHandle parent = win_open(0, 200, 100, 400, 300, "", kWsCaption);
  ASSERT_NE(parent, 0);
  ASSERT_NE(win_open(1, kWinDefaultPosition, kWinDefaultPosition, 64, 64, "", 0), 0);
  settle();
  ASSERT_NE(win_open(2, 0, 0, 100, 60, "", kWinCentreParent, parent), 0);
  settle();
  EXPECT_EQ(position(2), Pair(200 + (400 - 100) / 2, 100 + (300 - 60) / 2));
  // A parent near the desktop's corner does not push the child off it.
  ASSERT_NE(win_open(3, 0, 0, 40, 40, "", 0), 0);
  settle();
  ASSERT_NE(win_open(4, 0, 0, 300, 300, "", kWinCentreParent, win_handle(3)), 0);
  settle();
  EXPECT_EQ(position(4), Pair(0, 0));
}

TEST_F(WindowTest, ReopeningANumberReplacesTheWindow) {
  const WinHandle first = win_open(0, 0, 0, 64, 64, "", 0);
  ASSERT_NE(first, 0);
  plat_window_post_close(plat(0));
  plat_events_pump();
  EXPECT_EQ(win_events_pending(0, kWinEventClose), 1);
  const WinHandle second = win_open(0, 0, 0, 80, 80, "", 0);
  ASSERT_NE(second, 0);
  EXPECT_EQ(win_handle(0), second);
  EXPECT_EQ(win_plat_window(first == second ? 0 : first), nullptr);  // the old one is gone
  EXPECT_EQ(win_events_pending(0, kWinEventClose), 0);               // its events went with it
  EXPECT_EQ(size(0).first, 80);
}

TEST_F(WindowTest, CloseEventsAreQueuedOnceAndDroppedWithTheWindow) {
  ASSERT_NE(win_open(0, 0, 0, 64, 64, "", 0), 0);
  ASSERT_NE(win_open(1, 0, 0, 64, 64, "", 0), 0);
  settle();
  plat_window_post_close(plat(0));
  plat_window_post_close(plat(0));  // the same event again is not queued twice
  plat_window_post_close(plat(1));
  plat_events_pump();
  EXPECT_EQ(win_events_pending(0, kWinEventClose), 1);
  EXPECT_EQ(win_events_pending(1, kWinEventClose), 1);
  win_close(0);
  EXPECT_EQ(win_events_pending(0, kWinEventClose), 0);
  EXPECT_EQ(win_events_pending(1, kWinEventClose), 1);
}

TEST_F(WindowTest, MissingWindowsGiveZeroAndCloseQuietly) {
  EXPECT_EQ(win_handle(7), 0);
  EXPECT_EQ(position(7), Pair(0, 0));
  win_close(7);
  win_close(-1);
  win_close(123456789);
  EXPECT_EQ(win_plat_window(0x1234), nullptr);
  EXPECT_EQ(win_open(5, 0, 0, 0, 10, "", 0), 0);  // failed open releases the number
  EXPECT_EQ(win_handle(5), 0);
}

TEST_F(WindowTest, DynamicWindowsUseTheirRecordAddress) {
  const WinHandle id = win_open(-1, 0, 0, 64, 64, "", 0);
  ASSERT_NE(id, 0);
  const WinHandle handle = win_handle(id);
  ASSERT_NE(handle, 0);
  EXPECT_NE(handle, id);
  EXPECT_NE(win_plat_window(handle), nullptr);
  win_close(id);
  EXPECT_EQ(win_handle(id), 0);
  EXPECT_EQ(win_plat_window(handle), nullptr);
}

TEST_F(WindowTest, EndClosesEveryWindow) {
  const WinHandle a = win_open(0, 0, 0, 64, 64, "", 0);
  const WinHandle b = win_open(-1, 0, 0, 64, 64, "", 0);
  ASSERT_NE(a, 0);
  ASSERT_NE(b, 0);
  win_end();
  EXPECT_EQ(win_handle(0), 0);
  EXPECT_EQ(win_plat_window(a), nullptr);
  win_init();  // for the fixture's own end
}

TEST_F(WindowTest, EveryWindowGetsTheProgramIcon) {
  std::array<std::uint8_t, 4 * 4 * 4> pixels{};
  pixels.fill(0xC0);
  const PlatIcon icon{4, 4, pixels.data()};
  ASSERT_NE(win_open(0, 0, 0, 64, 64, "", 0), 0);
  EXPECT_EQ(plat_window_icon(plat(0)).rgba, nullptr) << "no program icon yet";

  win_set_program_icon(&icon);
  const WinHandle dynamic = win_open(-1, 0, 0, 64, 64, "", kWinToolWindow);
  ASSERT_NE(win_open(1, 0, 0, 64, 64, "", kWinHidden), 0);
  for (PlatWindow* window : {plat(dynamic), plat(1)}) {
    const PlatIcon got = plat_window_icon(window);
    EXPECT_EQ(got.rgba, pixels.data());
    EXPECT_EQ(got.width, 4);
    EXPECT_EQ(got.height, 4);
  }
  // An empty picture is refused and leaves the window as it was.
  EXPECT_FALSE(plat_window_set_icon(plat(1), PlatIcon{0, 4, pixels.data()}));
  EXPECT_FALSE(plat_window_set_icon(plat(1), PlatIcon{4, 4, nullptr}));
  EXPECT_EQ(plat_window_icon(plat(1)).rgba, pixels.data());
  win_set_program_icon(nullptr);
}

TEST(WindowLibrary, ThemeHasNoVisualStyles) {
  win_theme_init();
  EXPECT_EQ(win_visual_styles(), 0);
  win_theme_end();
}

}  // namespace
