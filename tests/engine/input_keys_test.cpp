// Keys and mouse through the scripted input source: the hit rule over the
// previous array, any-key reads, the mouse of the last flip, the virtual
// desktop pointer and the cursor display count.
#include "engine/input_keys.h"
#include "tests/engine/screen_test_fixture.h"

namespace {

using screen_test::ScreenTest;

class InputTest : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    ASSERT_EQ(eng_screen_open(320, 200, 32, 1), kEngOk);
  }
};

TEST_F(InputTest, HitIsSeenOnceUntilTheKeyIsSeenUp) {
  plat_input_script_key(DIK_P, true);
  EXPECT_EQ(eng_key_hit(DIK_P), 1);
  EXPECT_EQ(eng_key_hit(DIK_P), 0);
  EXPECT_EQ(eng_key_hit(DIK_P), 0);
  EXPECT_EQ(eng_key_down(DIK_P), 1);
  plat_input_script_key(DIK_P, false);
  EXPECT_EQ(eng_key_down(DIK_P), 0);
  plat_input_script_key(DIK_P, true);
  // key_down saw it up, but only eng_key_hit moves the previous array.
  EXPECT_EQ(eng_key_hit(DIK_P), 0);
  plat_input_script_key(DIK_P, false);
  EXPECT_EQ(eng_key_hit(DIK_P), 0);  // seen up now
  plat_input_script_key(DIK_P, true);
  EXPECT_EQ(eng_key_hit(DIK_P), 1);
}

TEST_F(InputTest, PressesBetweenTwoCallsAreMissed) {
  EXPECT_EQ(eng_key_hit(DIK_F), 0);
  plat_input_script_key(DIK_F, true);
  plat_input_script_key(DIK_F, false);
  EXPECT_EQ(eng_key_hit(DIK_F), 0);
}

TEST_F(InputTest, HitsOfDifferentKeysAreIndependent) {
  plat_input_script_key(DIK_S, true);
  plat_input_script_key(DIK_ADD, true);
  EXPECT_EQ(eng_key_hit(DIK_S), 1);
  EXPECT_EQ(eng_key_hit(DIK_ADD), 1);
  EXPECT_EQ(eng_key_hit(DIK_S), 0);
}

TEST_F(InputTest, AnyKeyIsDownWhileOneIsHeld) {
  EXPECT_EQ(eng_key_down(-1), 0);
  plat_input_script_key(DIK_MEDIASELECT, true);  // the highest code in use
  EXPECT_EQ(eng_key_down(-1), 1);
  plat_input_script_key(DIK_MEDIASELECT, false);
  plat_input_script_key(DIK_ESCAPE, true);
  EXPECT_EQ(eng_key_down(-1), 1);
  EXPECT_EQ(eng_key_down(DIK_ESCAPE), 1);
  plat_input_script_key(DIK_ESCAPE, false);
  EXPECT_EQ(eng_key_down(-1), 0);
}

TEST_F(InputTest, KeysOutsideTheArrayReadAsUp) {
  for (int key = 0; key < 256; ++key) plat_input_script_key(key, true);
  for (int key : {256, -2, 100000}) EXPECT_EQ(eng_key_down(key), 0) << key;
  for (int key : {257, -1, -100000}) EXPECT_EQ(eng_key_hit(key), 0) << key;
}

TEST_F(InputTest, MouseReadsTheLastFlipsPoll) {
  plat_input_script_motion(5, -3);
  plat_input_script_button(0, true);
  EXPECT_EQ(eng_mouse_dx(), 0);  // nothing polled yet
  EXPECT_EQ(eng_mouse_button(0), 0);
  eng_flip();
  EXPECT_EQ(eng_mouse_dx(), 5);
  EXPECT_EQ(eng_mouse_dx(), 5);  // the same value all frame
  EXPECT_EQ(eng_mouse_dy(), -3);
  EXPECT_EQ(eng_mouse_button(0), 1);
  for (int button : {1, 4, -1}) EXPECT_EQ(eng_mouse_button(button), 0) << button;
  plat_input_script_motion(1, 1);
  plat_input_script_motion(2, 2);
  plat_input_script_button(0, false);
  EXPECT_EQ(eng_mouse_dx(), 5);  // motion waits for the next flip
  eng_flip();
  EXPECT_EQ(eng_mouse_dx(), 3);
  EXPECT_EQ(eng_mouse_dy(), 3);
  EXPECT_EQ(eng_mouse_button(0), 0);
  eng_flip();
  EXPECT_EQ(eng_mouse_dx(), 0);
}

TEST_F(InputTest, DesktopPointerReadsBackWhereItWasPlaced) {
  EXPECT_NE(eng_mouse_set_pos(528, 384), 0);
  EXPECT_EQ(eng_desktop_mouse_x(), 528);
  EXPECT_EQ(eng_desktop_mouse_y(), 384);
}

TEST_F(InputTest, CursorHiddenByZeroAndShownByAnyOtherShape) {
  EXPECT_EQ(eng_cursor_set(0), 1);
  EXPECT_LE(g_engine.input.cursor_count, 0);
  EXPECT_LT(g_engine.input.cursor_count, 0);  // hidden: the count is below zero
  if (display()) {
    EXPECT_FALSE(plat_cursor_shown());
  }
  EXPECT_NE(eng_cursor_set(99), 0);  // unlisted: the arrow
  EXPECT_GT(g_engine.input.cursor_count, 0);
  if (display()) {
    EXPECT_TRUE(plat_cursor_shown());
  }
  EXPECT_EQ(eng_cursor_set(2), 99);  // returns what was set before
  // Repeated shows do not pile up: one hide is enough afterwards.
  eng_cursor_set(8);
  eng_cursor_set(8);
  eng_cursor_set(0);
  EXPECT_LT(g_engine.input.cursor_count, 0);
}

}  // namespace

TEST(InputWithoutScreen, NoDevicesReadAsNothing) {
  screen_test::start_libraries();
  plat_input_use_scripted();
  plat_input_script_key(DIK_ESCAPE, true);
  plat_input_script_button(0, true);
  g_engine.input.keyboard = g_engine.input.mouse = false;
  EXPECT_EQ(eng_key_down(DIK_ESCAPE), 0);
  EXPECT_EQ(eng_key_down(-1), 0);
  EXPECT_EQ(eng_key_hit(DIK_ESCAPE), 0);
  EXPECT_EQ(eng_mouse_button(0), 0);
  EXPECT_EQ(eng_mouse_dx(), 0);
  plat_input_use_real();
}
