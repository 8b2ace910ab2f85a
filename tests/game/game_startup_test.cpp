// Start-up: what it loads and generates, and the initial pointer, aim, ship
// and state.
#include "tests/game/game_fixture.h"

using namespace game_test;

TEST_F(GameTest, StartupFillsExactlyTheListedTableEntries) {
  const GameAssets& a = g_assets;
  EXPECT_NE(a.music, 0);
  EXPECT_NE(a.logo_sprite, 0);
  EXPECT_NE(a.panel_sprite, 0);
  EXPECT_NE(a.bar_sprite, 0);
  EXPECT_EQ(a.tile_images[0], 0);
  EXPECT_EQ(a.tile_sprites[0], 0);
  for (int k = 1; k <= 5; ++k) {
    EXPECT_NE(a.tile_images[k], 0) << k;
    EXPECT_NE(a.tile_sprites[k], 0) << k;
  }
  int particles = 0;
  for (int c = 0; c <= 4; ++c)
    for (int f = 0; f <= 4; ++f) particles += game_particle_sprite(c, f) != 0;
  EXPECT_EQ(particles, 12);
  for (int c = 1; c <= 3; ++c)
    for (int f = 0; f <= 3; ++f) EXPECT_NE(game_particle_sprite(c, f), 0) << c << "," << f;
  EXPECT_EQ(a.energy_sprites[0], 0);
  EXPECT_EQ(a.energy_sprites[4], 0);
  for (int c = 1; c <= 3; ++c) EXPECT_NE(a.energy_sprites[c], 0);
  int enemies = 0;
  for (int k = 0; k <= 20; ++k)
    for (int f = 0; f <= 1; ++f) enemies += game_enemy_sprite(k, f) != 0;
  EXPECT_EQ(enemies, 6);
  EXPECT_NE(game_enemy_sprite(3, 1), 0);
  EXPECT_EQ(a.enemy_textures[0], 0);
  EXPECT_NE(a.enemy_textures[6], 0);
  EXPECT_EQ(a.enemy_textures[7], 0);
}

TEST_F(GameTest, StartupPlacesPointerAimAndShipFromTheCursor) {
  const GameState& g = g_start.state;
  EXPECT_EQ(g.pointer_x, 528);
  EXPECT_EQ(g.pointer_y, 384);
  EXPECT_EQ(g.aim_x, 512);
  EXPECT_EQ(g.aim_y, 384);
  EXPECT_FLOAT_EQ(g.ship_x, 496);
  EXPECT_FLOAT_EQ(g.ship_y, 368);
  EXPECT_FLOAT_EQ(g.phys_x, 496);
  EXPECT_EQ(g.facing, 0);  // the aim point lies 16 pixels left of the pointer
  EXPECT_FLOAT_EQ(g.energy, 200);
  EXPECT_FLOAT_EQ(g.max_speed, 80);
  EXPECT_EQ(g.bg_index, 2);
  EXPECT_FLOAT_EQ(g.border_alpha, 20);
  EXPECT_EQ(g.fullscreen, 1);
  EXPECT_EQ(g_start.markers, 15);
}

TEST_F(GameTest, BearingFollowsTheAngleConvention) {
  EXPECT_EQ(game_bearing(10, 0, 0, 0), 0);   // towards +x
  EXPECT_EQ(game_bearing(0, 10, 0, 0), 90);  // towards +y (down on screen)
  EXPECT_EQ(game_bearing(-10, 0, 0, 0), 180);
  EXPECT_EQ(game_bearing(0, -10, 0, 0), 270);
  EXPECT_FLOAT_EQ(g_game.last_distance, 10);
  // dx = 0 takes the infinite quotient: 270 for dy > 0, 90 for dy < 0.
  EXPECT_EQ(game_bearing(5, 0, 5, 7), 270);
  EXPECT_EQ(game_bearing(5, 7, 5, 0), 90);
  EXPECT_EQ(game_bearing(3, 4, 3, 4), 0);        // identical points: a fixed angle
  EXPECT_EQ(game_bearing(1000, -4, 0, 0), 360);  // 359.77 rounds up to 360
}
