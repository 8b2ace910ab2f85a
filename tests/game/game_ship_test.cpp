// The pointer and aim point, the ship's motion step and the fan of shots.
#include <cmath>

#include "tests/game/game_fixture.h"

using namespace game_test;

namespace {
void move_mouse(int dx, int dy) {
  plat_input_script_motion(dx, dy);
  eng_flip();  // the poll happens at the flip
  game_pointer_update();
}
}  // namespace

TEST_F(GameTest, MouseDeltasThatCancelOutAreDropped) {
  g_game.pointer_x = 500;
  g_game.pointer_y = 400;
  move_mouse(3, -3);
  EXPECT_EQ(g_game.pointer_x, 500);
  EXPECT_EQ(g_game.pointer_y, 400);
  move_mouse(3, -2);
  EXPECT_EQ(g_game.pointer_x, 503);
  EXPECT_EQ(g_game.pointer_y, 398);
}

TEST_F(GameTest, PointerStaysInsideThePlayField) {
  move_mouse(-1000, 5);
  EXPECT_EQ(g_game.pointer_x, 211);
  move_mouse(2000, 7);
  EXPECT_EQ(g_game.pointer_x, 811);
  move_mouse(1, -2000);
  EXPECT_EQ(g_game.pointer_y, 83);
  move_mouse(1, 3000);
  EXPECT_EQ(g_game.pointer_y, 683);
}

TEST_F(GameTest, AimTrailsThePointerAtSixteenPixels) {
  g_game.pointer_x = 400;
  g_game.pointer_y = 400;
  g_game.aim_x = 384;
  g_game.aim_y = 400;
  move_mouse(0, 30);  // pointer (400, 430): far from the aim point
  EXPECT_EQ(g_game.facing, game_bearing(400, 430, 384, 400));
  double r = g_game.facing * 0.017453292519943295;
  EXPECT_EQ(g_game.aim_x, game_round(400 - 16 * std::cos(r)));
  EXPECT_EQ(g_game.aim_y, game_round(430 - 16 * std::sin(r)));
}

TEST_F(GameTest, AimOvershootsBetweenThirteenAndFifteenAndBacksOffBelow) {
  g_game.pointer_x = 500;
  g_game.pointer_y = 400;
  g_game.aim_x = 487;
  g_game.aim_y = 400;
  move_mouse(1, 0);              // 14 pixels apart
  EXPECT_EQ(g_game.aim_x, 503);  // 16 towards the pointer: 2 past it
  EXPECT_EQ(g_game.aim_y, 400);

  g_game.pointer_x = 500;
  g_game.aim_x = 491;
  move_mouse(1, 0);  // 10 pixels apart: the step goes away from the pointer
  EXPECT_EQ(g_game.facing, -180);
  EXPECT_EQ(g_game.aim_x, 475);
}

TEST_F(GameTest, SlowShipSitsOnTheAimPointFastShipFliesItsHeading) {
  GameState& g = g_game;
  g.aim_x = 600;
  g.aim_y = 400;
  g.facing = 30;
  g.phys_x = 300;
  g.phys_y = 400;
  g.speed = 0;
  game_ship_move(g_assets.ship_sprite, g.aim_x, g.aim_y);
  EXPECT_FLOAT_EQ(g.speed, 6);  // one acceleration step
  EXPECT_FLOAT_EQ(g.ship_x, 584);
  EXPECT_FLOAT_EQ(g.ship_y, 384);
  EXPECT_FLOAT_EQ(g.ship_angle, 30);

  for (int i = 0; i < 3; ++i) game_ship_move(g_assets.ship_sprite, g.aim_x, g.aim_y);
  EXPECT_GT(static_cast<int>(g.speed), 6);
  EXPECT_FLOAT_EQ(g.ship_x, g.phys_x - 16);  // drawn where it flies
  EXPECT_FLOAT_EQ(g.ship_y, g.phys_y - 16);
  EXPECT_LT(g.phys_x, 600);
  EXPECT_GT(g.phys_x, 300);
}

TEST_F(GameTest, ShipTurnsAFifthOfTheDifferenceTowardsTheAimPoint) {
  GameState& g = g_game;
  g.phys_x = 400;
  g.phys_y = 400;
  g.heading = 0;
  game_ship_move(g_assets.ship_sprite, 300, 401);  // target almost straight behind
  EXPECT_NEAR(g.turn_rate, 179.427 / 5, 1e-3);
  g.heading = 0;
  g.turn_rate = 0;
  g.speed = 0;
  g.phys_x = 400;
  g.phys_y = 400;
  game_ship_move(g_assets.ship_sprite, 400, 300);  // 270: a turn of -90 → -18
  EXPECT_FLOAT_EQ(g.turn_rate, -18);
}

TEST_F(GameTest, FanOfThreeShotsStartsAheadOfTheShip) {
  g_game.ship_x = 300;
  g_game.ship_y = 200;
  g_game.ship_angle = 0;
  game_fire();
  auto shots = elements(g_lists.shots);
  ASSERT_EQ(shots.size(), 3u);
  EXPECT_NEAR(shots[0]->x, 327.70, 0.005);
  EXPECT_NEAR(shots[0]->y, 204.53, 0.005);
  EXPECT_FLOAT_EQ(shots[0]->angle, -3);
  EXPECT_NEAR(shots[1]->x, 328, 1e-4);
  EXPECT_NEAR(shots[1]->y, 208, 1e-4);
  EXPECT_FLOAT_EQ(shots[1]->angle, 0);
  EXPECT_NEAR(shots[2]->y, 211.47, 0.005);
  EXPECT_FLOAT_EQ(shots[2]->angle, 3);
  for (Entity* s : shots) {
    EXPECT_FLOAT_EQ(s->speed, 700);
    EXPECT_EQ(s->image, g_assets.shot_sprite);
  }
}

TEST_F(GameTest, ShotsLeaveAtTheirFieldLimits) {
  // 700 px/s × 0.016 s = 11.2 px a frame.
  Entity* right = add_shot(785, 300, 0, 700);
  Entity* down = add_shot(500, 670, 90, 700);
  Entity* left = add_shot(220, 300, 180, 700);
  Entity* up = add_shot(500, 93, 270, 700);
  (void)right, (void)down, (void)left, (void)up;
  game_shots_update();
  EXPECT_EQ(count(g_lists.shots), 1);  // only the one going down (681.2) is left
  auto rest = elements(g_lists.shots);
  ASSERT_EQ(rest.size(), 1u);
  EXPECT_NEAR(rest[0]->y, 681.2, 1e-3);
  game_shots_update();
  EXPECT_EQ(count(g_lists.shots), 0);  // 692.4 ≥ 683
}
