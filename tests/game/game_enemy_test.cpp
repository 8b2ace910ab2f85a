// Markers, enemies, walls, hits and rams.
#include "tests/game/game_fixture.h"

using namespace game_test;

namespace {
// Seeds the generator for one enemy move that does not take its rare
// random turn, and returns the jitter that move adds to the angle (the move
// draws the same numbers again).
int seed_for_one_move(std::uint32_t seed) {
  rt_random_seed(seed);
  const int r = rt_random(4000);
  const int jitter = rt_random(20);
  EXPECT_FALSE(r >= 400 && r <= 410) << "seed " << seed << " takes the random turn";
  rt_random_seed(seed);
  return jitter;
}
}  // namespace

TEST_F(GameTest, MarkersAppearAwayFromTheShipAndGrowIntoEnemies) {
  for (int i = 0; i < 200; ++i) game_marker_spawn(1);
  for (Entity* m : elements(g_lists.spawn_markers)) {
    float dx = g_game.ship_x - m->x + 24, dy = g_game.ship_y - m->y + 24;
    EXPECT_GE(dx * dx + dy * dy, 2401);
    EXPECT_GE(m->x, 212);
    EXPECT_LE(m->x, 795);
    EXPECT_GE(m->y, 84);
    EXPECT_LE(m->y, 667);
    EXPECT_EQ(m->size, 2);
  }
  rt_list_clear(g_lists.spawn_markers.header);
  game_marker_spawn(3);
  int frames = 0;
  while (count(g_lists.spawn_markers) == 1) {
    game_markers_update();
    ++frames;
  }
  EXPECT_EQ(frames, 59);  // drawn at 2 %, 4 %, … 118 %
  auto enemies = elements(g_lists.enemies);
  ASSERT_EQ(enemies.size(), 1u);
  EXPECT_EQ(enemies[0]->kind, 3);
  EXPECT_EQ(enemies[0]->hit_points, 6);
  EXPECT_FLOAT_EQ(enemies[0]->speed, 100);
}

TEST_F(GameTest, NewEnemyMovesAwayFromTheShip) {
  // Ship centre (496, 384); an enemy straight above it starts moving up.
  game_enemy_spawn(496, 200, 1);
  EXPECT_FLOAT_EQ(elements(g_lists.enemies)[0]->angle, 90 - 180);
}

TEST_F(GameTest, ThreeHitEnemyFallsOnTheThirdOverlappingFrame) {
  add_enemy(400, 400, 2);
  add_shot(400, 400, 0, 0);  // stays on the enemy
  int markers = count(g_lists.spawn_markers);
  for (int frame = 1; frame <= 3; ++frame) {
    game_shots_update();
    next_frame();
    if (frame < 3) {
      ASSERT_EQ(count(g_lists.enemies), 1);
      EXPECT_EQ(elements(g_lists.enemies)[0]->hits, frame);
    }
  }
  EXPECT_EQ(count(g_lists.enemies), 0);
  EXPECT_EQ(count(g_lists.shots), 1);  // the shot flies on
  EXPECT_EQ(g_game.score, 5);
  EXPECT_EQ(count(g_lists.spawn_markers), markers + 1);
  EXPECT_EQ(count(g_lists.explosions), 1);
  EXPECT_EQ(count(g_lists.energy_particles), 10);  // explosion with energy burst
}

TEST_F(GameTest, OneShotHitsEveryEnemyItOverlaps) {
  add_enemy(400, 400, 1);
  add_enemy(402, 401, 1);
  add_enemy(600, 600, 1);
  add_shot(401, 400, 0, 0);
  game_shots_update();
  EXPECT_EQ(count(g_lists.enemies), 1);
  EXPECT_EQ(g_game.score, 10);
  EXPECT_EQ(count(g_lists.explosions), 2);
}

TEST_F(GameTest, LeftWallSendsTheEnemyRightAndAnglesWrapAt359) {
  Entity* e = add_enemy(205, 400, 1);
  e->angle = 180;
  game_enemies_move();
  EXPECT_FLOAT_EQ(e->x, 213);
  // 290 … 429, minus 359 above 359.
  EXPECT_TRUE((e->angle >= 290 && e->angle <= 359) || (e->angle >= 1 && e->angle <= 70))
      << e->angle;

  // An angle of 365 after the jitter continues as 6.
  rt_list_clear(g_lists.enemies.header);
  const int jitter = seed_for_one_move(77);
  Entity* mid = add_enemy(500, 380, 1);
  mid->angle = static_cast<float>(365 + jitter - 10);
  game_enemies_move();
  EXPECT_FLOAT_EQ(mid->angle, 6);
}

TEST_F(GameTest, NegativeAnglesStayNegativeAwayFromWalls) {
  const int jitter = seed_for_one_move(5);
  Entity* e = add_enemy(500, 380, 1);
  e->angle = -90;
  game_enemies_move();
  EXPECT_FLOAT_EQ(e->angle, -90 - jitter + 10);
}

TEST_F(GameTest, LongFramesMoveEnemiesAsIfShort) {
  const int jitter = seed_for_one_move(9);
  Entity* e = add_enemy(500, 380, 1);
  e->angle = static_cast<float>(jitter - 10);  // 0 after the jitter
  flip(0.5);
  game_enemies_move();
  EXPECT_NEAR(e->x, 500 + 100 * 0.016, 1e-3);
}

TEST_F(GameTest, RamAtFortyLeavesZeroAndTheGameGoesOn) {
  g_game.energy = 40;
  int markers = count(g_lists.spawn_markers);
  add_enemy(g_game.ship_x + 4, g_game.ship_y + 4, 1);
  game_enemies_draw_collide();
  EXPECT_FLOAT_EQ(g_game.energy, 0);
  EXPECT_EQ(g_game.ending, 0);
  EXPECT_EQ(g_game.flash, 1);
  EXPECT_EQ(count(g_lists.enemies), 0);
  EXPECT_EQ(count(g_lists.explosions), 1);
  EXPECT_EQ(count(g_lists.energy_particles), 0);  // no burst from a ram
  EXPECT_EQ(count(g_lists.spawn_markers), markers + 1);
  EXPECT_EQ(g_game.score, 0);

  // At exactly 0 a ram costs nothing and does not end the game.
  next_frame();
  add_enemy(g_game.ship_x + 4, g_game.ship_y + 4, 2);
  game_enemies_draw_collide();
  EXPECT_FLOAT_EQ(g_game.energy, 0);
  EXPECT_EQ(g_game.ending, 0);
  EXPECT_EQ(count(g_lists.explosions), 2);
}

TEST_F(GameTest, RamBelowZeroEndsTheProgramAtOnce) {
  g_game.energy = 30;
  add_enemy(g_game.ship_x + 4, g_game.ship_y + 4, 1);
  add_enemy(700, 600, 2);
  game_enemies_draw_collide();
  EXPECT_FLOAT_EQ(g_game.energy, 0);
  EXPECT_EQ(g_game.ending, 1);
  EXPECT_EQ(count(g_lists.explosions), 0);
  // The loop pass reports the end.
  g_game.energy = 30;
  g_game.ending = 0;
  EXPECT_FALSE(pass());
}

TEST_F(GameTest, SeveralRamsInOneFrameAddOneMarker) {
  int markers = count(g_lists.spawn_markers);
  for (int i = 0; i < 3; ++i) add_enemy(g_game.ship_x + 2 * i, g_game.ship_y + 3, 1 + i);
  game_enemies_draw_collide();
  EXPECT_FLOAT_EQ(g_game.energy, 80);
  EXPECT_EQ(count(g_lists.explosions), 3);
  EXPECT_EQ(count(g_lists.enemies), 0);
  EXPECT_EQ(count(g_lists.spawn_markers), markers + 1);
  EXPECT_EQ(g_game.flash, 1);
}
