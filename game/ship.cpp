// The player's side: pointer and aim point from the mouse, the ship's motion
// step with inertia, firing fans of three shots and the shot pass.
#include <cmath>

#include "engine/engine.h"
#include "game/state.h"
#include "runtime/lists.h"
#include "runtime/maths.h"

namespace {
constexpr float kShotSpeed = 700.0f;
}  // namespace

void game_pointer_update() {
  GameState& g = g_game;
  int dx = eng_mouse_dx();
  int dy = eng_mouse_dy();
  if (dx + dy == 0) return;  // deltas that cancel out are dropped
  g.pointer_x += dx;
  g.pointer_y += dy;
  if (g.pointer_x <= kGameFieldLeft) g.pointer_x = kGameFieldLeft;
  if (g.pointer_x >= kGameFieldRight) g.pointer_x = kGameFieldRight;
  if (g.pointer_y <= kGameFieldTop) g.pointer_y = kGameFieldTop;
  if (g.pointer_y >= kGameFieldBottom) g.pointer_y = kGameFieldBottom;
  g.facing = game_bearing(static_cast<float>(g.pointer_x), static_cast<float>(g.pointer_y),
                          static_cast<float>(g.aim_x), static_cast<float>(g.aim_y));
  if (g.last_distance > 15) {
    g.aim_x = game_round(g.pointer_x - 16 * rt_cos_deg(g.facing));
    g.aim_y = game_round(g.pointer_y - 16 * rt_sin_deg(g.facing));
  } else {
    if (g.last_distance < 13) g.facing -= 180;
    g.aim_x = game_round(g.aim_x + 16 * rt_cos_deg(g.facing));
    g.aim_y = game_round(g.aim_y + 16 * rt_sin_deg(g.facing));
  }
}

void game_ship_draw() {
  const GameAssets& a = g_assets;
  eng_sprite_draw(a.ship_sprite, game_round(g_game.ship_x), game_round(g_game.ship_y), 255);
  eng_sprite_set_angle(a.cursor_sprite, static_cast<float>(g_game.facing));
  eng_sprite_draw(a.cursor_sprite, g_game.aim_x - 16, g_game.aim_y - 16, 255);
}

namespace {
// Direction from the simulated position to the aim point, in degrees.
float target_direction(float ddx, float ddy) {
  if (ddx == 0) return ddy < 0 ? -90.0f : 90.0f;
  double t = rt_degrees(std::atan(static_cast<double>(ddy / ddx)));
  if (ddx < 0) t += 180;
  return static_cast<float>(t);
}

void steer(GameState& g, std::int32_t ax, std::int32_t ay) {
  float ddx = static_cast<float>(ax) - g.phys_x;
  float ddy = static_cast<float>(ay) - g.phys_y;
  game_bearing(static_cast<float>(ax), static_cast<float>(ay), g.phys_x, g.phys_y);
  float diff = target_direction(ddx, ddy) - g.heading;
  if (diff > 180) diff -= 360;
  if (diff < -180) diff += 360;
  if ((diff > 0 && diff <= 180) || (diff >= -180 && diff < 0)) g.turn_rate = diff / 5;
  if (g.turn_rate > 45) {
    g.turn_rate = 45;
  } else if (g.turn_rate < -45) {
    g.turn_rate = -45;
  }
}

void accelerate(GameState& g) {
  float wanted = std::sqrt(g.last_distance * 3 * 2);
  if (wanted < g.speed && g.speed > 0) g.speed -= 6;
  if (wanted > g.speed && g.max_speed > g.speed) g.speed += 6;
}
}  // namespace

void game_ship_move(std::intptr_t sprite, std::int32_t ax, std::int32_t ay) {
  GameState& g = g_game;
  g.phys_x = static_cast<float>(
      g.phys_x + std::cos(static_cast<double>(g.heading * kRtDegToRadFloat)) * g.speed * 0.2);
  g.phys_y = static_cast<float>(
      g.phys_y + std::sin(static_cast<double>(g.heading * kRtDegToRadFloat)) * g.speed * 0.2);
  g.heading += g.turn_rate;
  while (g.heading < 0) g.heading += 360;
  while (g.heading >= 360) g.heading -= 360;
  steer(g, ax, ay);
  float distance = g.last_distance;
  accelerate(g);
  if (sprite == g_assets.ship_sprite && static_cast<int>(g.speed) > 6 && distance > 20) {
    // Fast and away from the aim point: drawn where it flies, facing its heading.
    g.ship_angle = g.heading;
    if (g.facing > g.heading) {
      g.heading += 3;
    } else if (g.facing < g.heading) {
      g.heading -= 3;
    }
    eng_sprite_set_angle(g_assets.ship_sprite, g.heading);
    g.ship_x = g.phys_x - 16;
    g.ship_y = g.phys_y - 16;
  } else {
    g.ship_angle = static_cast<float>(g.facing);
    eng_sprite_set_angle(g_assets.ship_sprite, static_cast<float>(g.facing));
    g.ship_x = static_cast<float>(g.aim_x - 16);
    g.ship_y = static_cast<float>(g.aim_y - 16);
  }
}

void game_fire() {
  const GameState& g = g_game;
  // left, middle, right: start offset angle and flight angle offset
  constexpr int kFan[3][2] = {{-10, -3}, {0, 0}, {10, 3}};
  for (const auto& fan : kFan) {
    auto* shot = static_cast<Entity*>(rt_list_add(g_lists.shots.header));
    if (!shot) return;
    shot->image = g_assets.shot_sprite;
    shot->x = static_cast<float>(g.ship_x + 20 * rt_cos_deg(g.ship_angle + fan[0]) + 8);
    shot->y = static_cast<float>(g.ship_y + 20 * rt_sin_deg(g.ship_angle + fan[0]) + 8);
    shot->angle = g.ship_angle + static_cast<float>(fan[1]);
    shot->speed = kShotSpeed;
  }
}

namespace {
// Tests one shot against every enemy; an enemy's last hit destroys it.
void shot_hits(const Entity& shot) {
  ListHeader* enemies = g_lists.enemies.header;
  rt_list_reset(enemies);
  while (auto* e = static_cast<Entity*>(rt_list_next(enemies))) {
    std::intptr_t base = game_enemy_sprite(static_cast<int>(e->image), 0);
    if (!eng_sprite_collide(shot.image, game_round(shot.x), game_round(shot.y), base,
                            game_round(e->x), game_round(e->y), 3))
      continue;
    ++e->hits;
    if (e->hits != e->hit_points) continue;
    game_explosion_spawn(game_round(shot.x + 8), game_round(shot.y + 8), e->kind, 1);
    rt_list_delete(enemies);
    game_marker_spawn(static_cast<std::int8_t>(rt_random(2) + 1));
    g_game.score += 5;
  }
}
}  // namespace

void game_shots_update() {
  ListHeader* shots = g_lists.shots.header;
  float ft = eng_frame_time();
  rt_list_reset(shots);
  while (auto* s = static_cast<Entity*>(rt_list_next(shots))) {
    shot_hits(*s);
    eng_sprite_set_blend(s->image, kEngBlendSrcAlpha, kEngBlendDestAlpha);
    eng_sprite_set_angle(s->image, s->angle);
    eng_sprite_draw(s->image, game_round(s->x), game_round(s->y), 255);
    s->x = static_cast<float>(s->x + rt_cos_deg(s->angle) * s->speed * ft);
    s->y = static_cast<float>(s->y + rt_sin_deg(s->angle) * s->speed * ft);
    // A shot leaves 16 pixels before the right edge but only at the bottom one.
    if (s->x >= kGameFieldRight - 16 || s->x <= kGameFieldLeft || s->y >= kGameFieldBottom ||
        s->y <= kGameFieldTop)
      rt_list_delete(shots);
  }
}
