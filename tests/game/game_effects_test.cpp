// Explosions, energy pick-ups, exhaust, border pulse and background cycle.
#include <cmath>

#include "tests/game/game_fixture.h"

using namespace game_test;

TEST_F(GameTest, ExplosionHas172ParticlesAndGoesWithItsLast) {
  game_explosion_spawn(400, 400, 2, 0);
  auto* e = static_cast<Explosion*>(rt_list_first(g_lists.explosions.header));
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(rt_list_size(e->particles.header), 172);
  int frames = 0;
  while (count(g_lists.explosions) > 0 && frames < 1000) {
    auto* ex = static_cast<Explosion*>(rt_list_first(g_lists.explosions.header));
    ASSERT_GT(rt_list_size(ex->particles.header), 0) << "an empty explosion was kept";
    flip(0.016);
    game_explosions_update();
    ++frames;
  }
  EXPECT_EQ(count(g_lists.explosions), 0);
  // Fading starts 80 ms in and takes 245 / 400 s: gone about 0.69 s after creation.
  EXPECT_NEAR(frames * 0.016, 0.69, 0.05);
}

TEST_F(GameTest, EnergyPickUpNeedsAgeAndProximityAndIsCapped) {
  g_game.energy = 199.8f;
  game_energy_burst_spawn(0, 0, 1);
  for (Entity* p : elements(g_lists.energy_particles)) {
    p->x = g_game.ship_x + 24;  // right on the pick-up point
    p->y = g_game.ship_y + 24;
  }
  flip(0.016);
  game_energy_particles_update();
  EXPECT_EQ(count(g_lists.energy_particles), 10);  // too young
  plat_clock_advance_100ns(300 * 10'000ull);
  game_energy_particles_update();
  EXPECT_EQ(count(g_lists.energy_particles), 0);
  EXPECT_FLOAT_EQ(g_game.energy, 200);  // 199.8 + 0.5 capped, then no gain at full
}

TEST_F(GameTest, LongFramesMoveEnergyParticlesShortButFadeThemFully) {
  game_energy_burst_spawn(300, 300, 3);
  Entity* p = elements(g_lists.energy_particles)[0];
  p->angle = 0;
  p->speed = 10;
  float x0 = p->x, y0 = p->y, a0 = p->alpha;
  flip(2.0);
  game_energy_particles_update();
  EXPECT_NEAR(std::hypot(p->x - x0, p->y - y0), p->speed * 0.016, 1e-3);
  EXPECT_NEAR(p->alpha, a0 - 60, 1e-3);
}

TEST_F(GameTest, ExhaustStartsBehindTheShipAndMovesBackwards) {
  g_game.ship_angle = 0;
  game_exhaust_spawn();
  auto puffs = elements(g_lists.exhaust_particles);
  ASSERT_EQ(puffs.size(), 10u);
  for (Entity* p : puffs) {
    EXPECT_FLOAT_EQ(p->angle, 180);
    EXPECT_LT(p->x, g_game.ship_x);  // 17 pixels behind, give or take the spread
    EXPECT_GE(p->speed, 20);
    EXPECT_LE(p->speed, 370);
  }
}

TEST_F(GameTest, BorderPulsesOneHundredSixtyFramesEachWay) {
  g_game.border_alpha = 20;
  g_game.pulse_dir = 0;
  int up = 0;
  while (g_game.pulse_dir == 0) {
    game_border_draw();
    ++up;
  }
  int down = 0;
  while (g_game.pulse_dir == 1) {
    game_border_draw();
    ++down;
  }
  EXPECT_EQ(up, 160);
  EXPECT_EQ(down, 160);
  EXPECT_FLOAT_EQ(g_game.border_alpha, 20);
}

TEST_F(GameTest, BackgroundNeverRepeatsAndFadesOver255Frames) {
  g_game.bg_index = 2;
  g_game.fade_active = 0;
  g_game.bg_change_due = rt_ticks() - 1;
  int previous = g_game.bg_index;
  int changes = 0;
  for (int frame = 0; frame < 40000 && changes < 40; ++frame) {
    plat_clock_advance_100ns(160'000);
    int was_active = g_game.fade_active;
    game_background_cycle();
    if (!was_active && g_game.fade_active) {
      EXPECT_NE(g_game.bg_index, previous);
      EXPECT_EQ(g_game.bg_old_index, previous);
      EXPECT_GE(g_game.bg_index, 1);
      EXPECT_LE(g_game.bg_index, 5);
      previous = g_game.bg_index;
      ++changes;
    }
  }
  EXPECT_EQ(changes, 40);
  // A cross-fade lasts 255 frames, then 6 s pass before the next.
  while (g_game.fade_active) game_background_cycle();
  std::uint32_t ended = rt_ticks();
  EXPECT_EQ(g_game.bg_change_due, ended + 6000);
}
