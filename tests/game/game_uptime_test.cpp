// Long uptime: the game's timers keep working at 30 days of uptime and across
// the wraps of the millisecond tick (49.7 days) and the 10-µs tick (11.9 h).
#include "tests/game/game_fixture.h"

using namespace game_test;

namespace {
constexpr std::uint64_t kDay = 86'400ull * 10'000'000ull;
// 100-ns value at which the 32-bit millisecond tick wraps.
constexpr std::uint64_t kTickWrap = (1ull << 32) * 10'000ull;
// 100-ns value at which the 32-bit 10-µs tick wraps.
constexpr std::uint64_t kFineWrap = (1ull << 32) * 100ull;

// Sets the uptime as if the game had started there.
void set_uptime(std::uint64_t t) {
  plat_clock_set_100ns(t);
  eng_flip();
  game_timers_start();
}

std::vector<int> fire_frames(int frames) {
  plat_input_script_button(0, true);
  std::vector<int> at;
  for (int f = 0; f < frames; ++f) {
    plat_clock_advance_100ns(160'000);
    game_loop_pass();
    if (count(g_lists.shots) > 0) at.push_back(f);
    rt_list_clear(g_lists.shots.header);
  }
  plat_input_script_button(0, false);
  return at;
}
}  // namespace

TEST_F(GameTest, FireCadenceHoldsAtThirtyDaysAndAcrossTheTickWrap) {
  for (std::uint64_t start :
       {std::uint64_t{30 * kDay}, std::uint64_t{kTickWrap - 60 * 160'000ull}}) {
    clear_scene();
    set_uptime(start);
    auto at = fire_frames(120);  // crosses the wrap in the second case
    ASSERT_GE(at.size(), 11u) << start;
    for (std::size_t i = 1; i < at.size(); ++i) EXPECT_EQ(at[i] - at[i - 1], 10) << start;
  }
}

TEST_F(GameTest, EnergyDrainKeepsItsPaceAcrossTheTickWrap) {
  set_uptime(kTickWrap - 1'000 * 10'000ull);  // one second before the wrap
  int drains = 0;
  for (int ms = 0; ms < 2000; ms += 10) {
    g_game.speed = 12;  // moving: drains 0.1 every 100 ms
    float before = g_game.energy;
    plat_clock_advance_100ns(100'000);
    flip(0);
    game_loop_pass();
    if (g_game.energy < before) ++drains;
    rt_list_clear(g_lists.enemies.header);
    rt_list_clear(g_lists.spawn_markers.header);
  }
  EXPECT_GE(drains, 19);
  EXPECT_LE(drains, 21);
}

TEST_F(GameTest, BackgroundChangesAcrossTheTickWrap) {
  set_uptime(kTickWrap - 2'000 * 10'000ull);
  g_game.fade_active = 0;
  int changes = 0;
  for (int f = 0; f < 1500; ++f) {  // 24 s of frames
    plat_clock_advance_100ns(160'000);
    int was = g_game.fade_active;
    game_background_cycle();
    if (!was && g_game.fade_active) ++changes;
  }
  // One change at once, then one every 255 frames + 6 s (about 10.1 s).
  EXPECT_EQ(changes, 3);
}

TEST_F(GameTest, ExplosionParticlesFadeOnTimeAcrossTheFineTickWrap) {
  set_uptime(kFineWrap - 500'000);  // 50 ms before the 10-µs tick wraps
  game_explosion_spawn(400, 400, 1, 0);
  int frames = 0;
  while (count(g_lists.explosions) > 0 && frames < 1000) {
    flip(0.016);
    game_explosions_update();
    ++frames;
  }
  EXPECT_NEAR(frames * 0.016, 0.69, 0.05);
}
