// Spawn markers that grow into enemies, enemy steering with the walls, and
// the enemy pass that draws them and handles rams.
#include <cmath>

#include "engine/engine.h"
#include "game/state.h"
#include "runtime/lists.h"
#include "runtime/maths.h"

namespace {
constexpr std::int8_t kHitPoints[4] = {0, 1, 3, 6};
constexpr float kEnemySpeed = 100.0f;

// Frame time for enemies: long frames (after a pause) count as one short one.
float enemy_frame_time() {
  float t = eng_frame_time();
  return t > 0.1f ? 0.016f : t;
}

std::int8_t random_kind() {
  return static_cast<std::int8_t>(rt_random(2) + 1);
}
}  // namespace

void game_marker_spawn(std::int8_t kind) {
  auto* m = static_cast<Entity*>(rt_list_add(g_lists.spawn_markers.header));
  if (!m) return;
  int x = 0, y = 0;
  do {
    x = eng_random_range(kGameFieldLeft + 1, kGameFieldRight - 16);
    y = eng_random_range(kGameFieldTop + 1, kGameFieldBottom - 16);
  } while ((g_game.ship_x - x + 24) * (g_game.ship_x - x + 24) +
               (g_game.ship_y - y + 24) * (g_game.ship_y - y + 24) <
           2401);
  m->image = g_assets.circle_sprite;
  m->kind = kind;
  m->x = static_cast<float>(x);
  m->y = static_cast<float>(y);
  m->size = 2;
  m->alpha = 255;
}

void game_enemy_spawn(std::int32_t x, std::int32_t y, std::int8_t kind) {
  auto* e = static_cast<Entity*>(rt_list_add(g_lists.enemies.header));
  if (!e) return;
  e->kind = kind;
  e->image = kind;
  e->x = static_cast<float>(x);
  e->y = static_cast<float>(y);
  e->angle = static_cast<float>(game_bearing(g_game.ship_x + 16, g_game.ship_y + 16,
                                             static_cast<float>(x), static_cast<float>(y)) -
                                180);
  e->speed = kEnemySpeed;
  e->alpha = static_cast<float>(rt_random(255));
  e->hit_points = kind >= 1 && kind <= 3 ? kHitPoints[kind] : 1;
}

void game_markers_update() {
  ListHeader* markers = g_lists.spawn_markers.header;
  std::intptr_t circle = g_assets.circle_sprite;
  rt_list_reset(markers);
  while (auto* m = static_cast<Entity*>(rt_list_next(markers))) {
    eng_sprite_set_scale(circle, static_cast<float>(m->size), static_cast<float>(m->size));
    m->offset = static_cast<float>(m->size * 0.32 / 2);
    m->size += 2;
    eng_sprite_turn(circle, 1.0f);
    eng_sprite_set_blend(circle, kEngBlendSrcAlpha, kEngBlendInvSrcAlpha);
    eng_sprite_draw(circle, game_round(m->x - m->offset + 8), game_round(m->y - m->offset + 8),
                    255);
    if (m->size >= 120) {
      game_enemy_spawn(game_round(m->x), game_round(m->y), m->kind);
      rt_list_delete(markers);
    }
  }
}

namespace {
struct Wall {
  int probe_x, probe_y;  // -1: the enemy's own coordinate
  int set_x, set_y;      // -1: unchanged
  int angle_base;
};
// Left, top, right, bottom: a probe beside each edge of the field and where
// an enemy touching it is put back. The top wall shares the left wall's range.
constexpr int kL = kGameFieldLeft, kT = kGameFieldTop, kR = kGameFieldRight, kB = kGameFieldBottom;
constexpr Wall kWalls[4] = {
    {kL - 15, -1, kL + 2, -1, 290},
    {-1, kT - 17, -1, kT + 1, 290},
    {kR + 1, -1, kR - 16, -1, 110},
    {-1, kB, -1, kB - 17, 200},
};

void bounce_off_walls(Entity& e) {
  std::intptr_t base = game_enemy_sprite(static_cast<int>(e.image), 0);
  for (const Wall& w : kWalls) {
    int ex = game_round(e.x), ey = game_round(e.y);
    int px = w.probe_x >= 0 ? w.probe_x : ex;
    int py = w.probe_y >= 0 ? w.probe_y : ey;
    if (!eng_sprite_collide(base, ex, ey, g_assets.probe_sprite, px, py, 3)) continue;
    if (w.set_x >= 0) e.x = static_cast<float>(w.set_x);
    if (w.set_y >= 0) e.y = static_cast<float>(w.set_y);
    e.angle = static_cast<float>(w.angle_base + rt_random(140));
  }
}
}  // namespace

void game_enemies_move() {
  float t = enemy_frame_time();
  ListHeader* enemies = g_lists.enemies.header;
  rt_list_reset(enemies);
  while (auto* e = static_cast<Entity*>(rt_list_next(enemies))) {
    int r = rt_random(4000);
    if (r >= 400 && r <= 410) e->homing = 1;
    if (e->homing == 1) {
      e->angle =
          static_cast<float>(game_bearing(g_game.ship_x + 16, g_game.ship_y + 16, e->x, e->y));
      if (r >= 500 && r <= 510) {
        e->homing = 0;
        e->angle = static_cast<float>(std::abs(g_game.facing - 360));
      }
    }
    e->angle = e->angle - static_cast<float>(rt_random(20)) + 10;
    e->x = static_cast<float>(e->x + rt_cos_deg(e->angle) * e->speed * t);
    e->y = static_cast<float>(e->y + rt_sin_deg(e->angle) * e->speed * t);
    bounce_off_walls(*e);
    if (e->angle > 359) e->angle -= 359;
  }
}

namespace {
void pulse_overlay(Entity& e, float t) {
  if (e.phase == 1) {
    e.alpha += t * 400;
    if (e.alpha >= 230) {
      e.alpha = 230;
      e.phase = 0;
    }
  } else if (e.phase == 0) {
    e.alpha -= t * 400;
    if (e.alpha <= 0) {
      e.alpha = 0;
      e.phase = 1;
    }
  }
}

void draw_enemy(const Entity& e, float t) {
  int x = game_round(e.x), y = game_round(e.y);
  std::intptr_t base = game_enemy_sprite(static_cast<int>(e.image), 0);
  std::intptr_t overlay = game_enemy_sprite(static_cast<int>(e.image), 1);
  eng_sprite_turn(base, t * 25);
  eng_sprite_set_blend(base, kEngBlendSrcAlpha, kEngBlendInvSrcAlpha);
  eng_sprite_draw(base, x, y, 255);
  eng_sprite_turn(overlay, t * 25);
  eng_sprite_set_blend(overlay, kEngBlendSrcAlpha, kEngBlendInvSrcAlpha);
  eng_sprite_draw(overlay, x, y, game_round(e.alpha));
}
}  // namespace

void game_enemies_draw_collide() {
  float t = enemy_frame_time();
  bool replace = false;
  ListHeader* enemies = g_lists.enemies.header;
  rt_list_reset(enemies);
  while (auto* e = static_cast<Entity*>(rt_list_next(enemies))) {
    draw_enemy(*e, t);
    pulse_overlay(*e, t);
    std::intptr_t base = game_enemy_sprite(static_cast<int>(e->image), 0);
    if (!eng_sprite_collide(g_assets.ship_sprite, game_round(g_game.ship_x),
                            game_round(g_game.ship_y), base, game_round(e->x), game_round(e->y), 3))
      continue;
    if (g_game.energy > 0) g_game.energy -= 40;
    if (g_game.energy < 0) {
      g_game.energy = 0;
      g_game.ending = 1;  // the program ends at once
      return;
    }
    game_explosion_spawn(game_round(e->x + 8), game_round(e->y + 8), e->kind, 0);
    g_game.flash = 1;
    rt_list_delete(enemies);
    replace = true;
  }
  if (replace) game_marker_spawn(random_kind());
}
