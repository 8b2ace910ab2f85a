// The main loop: fire sampling, pause and the control keys, the status
// display's score and bar, and the frame time after a pause.
#include <sys/stat.h>

#include <cstdio>

#include "engine/input_keys.h"
#include "tests/game/game_fixture.h"

using namespace game_test;

namespace {
void press(int dik) {
  plat_input_script_key(dik, true);
}
void release(int dik) {
  plat_input_script_key(dik, false);
}
// Held for one pass of the loop.
void tap(int dik) {
  press(dik);
  GameTest::pass();
  release(dik);
}
bool file_exists(const char* name) {
  struct stat st {};
  return stat(name, &st) == 0;
}
}  // namespace

TEST_F(GameTest, FireButtonIsSampledEvery150Milliseconds) {
  plat_input_script_button(0, true);
  std::vector<int> fired_at;
  for (int frame = 0; frame < 40; ++frame) {
    pass(0.016);
    if (count(g_lists.shots) > 0) fired_at.push_back(frame);
    rt_list_clear(g_lists.shots.header);
  }
  plat_input_script_button(0, false);
  // The button is read at the flip, so the check in frame 0 sees it up; the
  // next check comes only after 150 ms have passed, then every 10th frame.
  ASSERT_EQ(fired_at.size(), 3u) << ::testing::PrintToString(fired_at);
  EXPECT_EQ(fired_at[0], 10);
  for (std::size_t i = 1; i < fired_at.size(); ++i) EXPECT_EQ(fired_at[i] - fired_at[i - 1], 10);

  // A press that comes and goes between two checks fires nothing.
  pass(0.016);          // the flip now reads the button up
  game_timers_start();  // a check in the next pass, then none for 150 ms
  rt_list_clear(g_lists.shots.header);
  int shots = 0;
  for (int frame = 0; frame < 9; ++frame) {
    plat_input_script_button(0, frame >= 2 && frame < 6);
    pass(0.016);
    shots += count(g_lists.shots);
  }
  EXPECT_EQ(shots, 0);
}

TEST_F(GameTest, PauseStopsTheWorldAndSIsOnlyReadWhilePaused) {
  std::remove("Gamebild.png");
  tap(DIK_S);
  pass();
  EXPECT_FALSE(file_exists("Gamebild.png"));  // S while running does nothing

  press(DIK_P);
  press(DIK_S);
  pass();  // P and S in one running pass: paused, no screenshot
  release(DIK_P);
  release(DIK_S);
  EXPECT_EQ(g_game.paused, 1);
  EXPECT_FALSE(file_exists("Gamebild.png"));

  game_marker_spawn(1);
  float size = static_cast<float>(elements(g_lists.spawn_markers)[0]->size);
  tap(DIK_ADD);
  pass();
  EXPECT_EQ(count(g_lists.spawn_markers), 2);  // keypad + works while paused
  EXPECT_FLOAT_EQ(static_cast<float>(elements(g_lists.spawn_markers)[0]->size), size);

  tap(DIK_S);
  ASSERT_TRUE(file_exists("Gamebild.png"));
  std::FILE* f = std::fopen("Gamebild.png", "rb");
  unsigned char head[26] = {};
  ASSERT_EQ(std::fread(head, 1, sizeof head, f), sizeof head);
  std::fclose(f);
  EXPECT_EQ(head[0], 'B');  // BMP data under the PNG name
  EXPECT_EQ(head[1], 'M');
  EXPECT_EQ(head[18] | head[19] << 8, 1024);
  EXPECT_EQ(head[22] | head[23] << 8, 768);

  tap(DIK_P);
  EXPECT_EQ(g_game.paused, 0);
  std::remove("Gamebild.png");
}

TEST_F(GameTest, FKeyResetsTheShipAndSwitchesTheDisplayOrTheFlash) {
  g_game.facing = 45;
  g_game.ship_x = 100;
  g_game.fullscreen = 1;
  g_game.paused = 1;  // works in either state
  tap(DIK_F);
  EXPECT_FLOAT_EQ(g_game.ship_angle, 45);
  EXPECT_FLOAT_EQ(g_game.ship_x, static_cast<float>(g_game.aim_x - 16));
  EXPECT_EQ(g_game.fullscreen, 0);
  EXPECT_EQ(g_game.flash, 0);
  pass();  // F is seen up again

  g_game.variant = &kGameShooterAlt;
  tap(DIK_F);
  EXPECT_EQ(g_game.fullscreen, 0);  // the alternative program keeps its display
  EXPECT_EQ(g_game.flash, 1);       // and shows the flash in the next running frame
  g_game.paused = 0;
  pass();
  EXPECT_EQ(g_game.flash, 0);
}

TEST_F(GameTest, FrameTimeAfterAPauseCoversThePause) {
  pass(0.016);
  g_game.paused = 1;
  for (int i = 0; i < 100; ++i) pass(0.02);  // two seconds paused, nothing presented
  g_game.paused = 0;
  pass(0.016);
  EXPECT_NEAR(eng_frame_time(), 2.016, 1e-4);  // the first present after the pause
  pass(0.016);
  EXPECT_NEAR(eng_frame_time(), 0.016, 1e-4);
}

namespace {
// Columns of one row that differ between two pictures.
std::vector<int> differing_columns(const std::vector<std::uint32_t>& a,
                                   const std::vector<std::uint32_t>& b, int row) {
  std::vector<int> cols;
  for (int x = 0; x < 1024; ++x)
    if (a[row * 1024 + x] != b[row * 1024 + x]) cols.push_back(x);
  return cols;
}

std::vector<std::uint32_t> status_frame(float energy, int score, bool with_score = true) {
  g_game.energy = energy;
  g_game.score = score;
  if (with_score) game_score_draw();
  game_status_draw();
  eng_render();
  return GameTest::frame_pixels();
}
}  // namespace

TEST_F(GameTest, EnergyBarHasOneSegmentPerUnitPlusOne) {
  auto none = status_frame(-1, 0);
  auto full = status_frame(199.5f, 0);  // rounds to 200 (ties to even): 201 segments
  auto cols = differing_columns(none, full, 673);
  ASSERT_FALSE(cols.empty());
  EXPECT_EQ(cols.front(), 412);
  EXPECT_EQ(cols.back(), 612);       // beyond the frame's right side at 611
  EXPECT_EQ(cols.size(), 200u);      // every column but the frame's own at 611
  auto low = status_frame(0.5f, 0);  // rounds to 0: one segment
  cols = differing_columns(none, low, 673);
  ASSERT_EQ(cols.size(), 1u);
  EXPECT_EQ(cols[0], 412);
}

TEST_F(GameTest, ScoreIsCentredOnSixteenPixelGlyphs) {
  // The leftmost glyph pixel moves by 16 per two more digits.
  auto leftmost = [](int score) {
    auto px = status_frame(-1, score);
    auto blank = status_frame(-1, 0, false);
    int left = 1024;
    for (int y = 100; y < 116; ++y)
      for (int x = 300; x < 700; ++x)
        if (px[y * 1024 + x] != blank[y * 1024 + x] && x < left) left = x;
    return left;
  };
  for (auto [score, from] : {std::pair{0, 512}, {10, 496}, {100, 496}, {1000, 480}}) {
    const int left = leftmost(score);
    EXPECT_GE(left, from) << score;
    EXPECT_LT(left, from + 16) << score;
  }
}
