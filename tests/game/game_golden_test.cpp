// Whole game frames on the soft device kept as golden pictures: the start,
// a fight with enemies, shots and explosions, and the same fight paused.
#include "engine/input_keys.h"
#include "tests/game/game_fixture.h"
#include "tests/game/golden.h"

using namespace game_test;

namespace {
class GoldenTest : public GameTest {
 public:
  void SetUp() override {
    GameTest::SetUp();
    // Earlier tests of the process may have turned shared sprites and moved
    // the background on; every scene starts from the same state.
    for (int kind = 0; kind <= 20; ++kind)
      for (int frame = 0; frame < 2; ++frame)
        eng_sprite_set_angle(game_enemy_sprite(kind, frame), 0);
    eng_sprite_set_angle(g_assets.circle_sprite, 0);
    GameState& g = g_game;
    g.bg_index = 2;
    g.bg_old_index = 0;
    g.fade_active = 0;
    g.fade_counter = 0;
    g.bg_angle = 0;
    g.border_alpha = 20;
    g.pulse_dir = 0;
    g.bg_change_due = rt_ticks() - 1;
    rt_random_seed(kSeed);
  }

  static void passes(int count) {
    for (int i = 0; i < count; ++i) ASSERT_TRUE(pass());
  }

  static void fight() {
    for (int i = 0; i < 3; ++i) game_marker_spawn(static_cast<std::int8_t>(i % 2 + 1));
    add_enemy(300, 200, 1);
    add_enemy(650, 250, 2);
    add_enemy(350, 560, 3);
    add_shot(560, 376, 0, 700);
    add_shot(420, 300, 225, 700);
    game_explosion_spawn(620, 520, 1, 1);
    game_explosion_spawn(300, 420, 3, 0);
    g_game.score = 1230;
    g_game.energy = 140;
    g_game.speed = 4;
    g_game.thrusting = 1;
    game_exhaust_spawn();
  }

  static void expect_golden(const char* name) {
    PlatVideo* video = g_engine.screen.video;
    golden::expect_matches(name, frame_pixels(), plat_video_width(video), plat_video_height(video));
  }
};
}  // namespace

TEST_F(GoldenTest, StartOfAGame) {
  for (int i = 0; i < 3; ++i) game_marker_spawn(1);
  passes(30);
  expect_golden("start");
}

TEST_F(GoldenTest, MidFightWithExplosions) {
  fight();
  passes(12);
  expect_golden("fight");
}

TEST_F(GoldenTest, PausedFightStaysAsItWas) {
  fight();
  passes(23);
  plat_input_script_key(DIK_P, true);
  passes(1);  // the last running frame; P pauses after it
  plat_input_script_key(DIK_P, false);
  const auto at_pause = frame_pixels();
  passes(120);  // two seconds that would move everything
  ASSERT_EQ(g_game.paused, 1);
  EXPECT_TRUE(frame_pixels() == at_pause) << "a paused game drew a frame";
  expect_golden("paused");
}
