// Explosions, energy pick-ups, exhaust, the ram flash, the pulsing border and
// the rotating, cross-fading background.
#include <cmath>

#include "engine/engine.h"
#include "game/state.h"
#include "runtime/lists.h"
#include "runtime/maths.h"

namespace {
// Explosion particles fade from 80 ms after their creation (10-µs ticks).
constexpr std::uint32_t kFadeDelay10us = 8000;

void add_particles(ListHeader* list, int count, int x, int y, std::int8_t kind, int max_radius,
                   int speed_range, int speed_base) {
  for (int i = 0; i < count; ++i) {
    auto* p = static_cast<Entity*>(rt_list_add(list));
    if (!p) return;
    int radius = rt_random(max_radius);
    int frame = rt_random(3);
    p->kind = kind;
    p->image = game_particle_sprite(kind, frame);
    p->angle = static_cast<float>(rt_random(359));
    p->x = static_cast<float>(x + rt_cos_deg(p->angle) * radius);
    p->y = static_cast<float>(y + rt_sin_deg(p->angle) * radius);
    p->speed = static_cast<float>(rt_random(speed_range) + speed_base);
    p->alpha = 255;
    p->born = static_cast<std::uint32_t>(eng_ticks());
  }
}
}  // namespace

void game_explosion_spawn(std::int32_t x, std::int32_t y, std::int8_t kind,
                          std::int8_t with_burst) {
  auto* e = static_cast<Explosion*>(rt_list_add(g_lists.explosions.header));
  if (!e) return;
  add_particles(e->particles.header, 71, x, y, kind, 25, 150, 20);
  add_particles(e->particles.header, 101, x, y, kind, 64, 450, 150);
  if (with_burst == 1) game_energy_burst_spawn(x, y, kind);
}

namespace {
// Draws, moves and ages one explosion's particles; false once none is left.
bool update_particles(ListHeader* particles, float ft) {
  std::uint32_t now = static_cast<std::uint32_t>(eng_ticks());
  rt_list_reset(particles);
  while (auto* p = static_cast<Entity*>(rt_list_next(particles))) {
    int x = game_round(p->x), y = game_round(p->y), alpha = game_round(p->alpha);
    eng_sprite_set_blend(p->image, kEngBlendSrcAlpha, kEngBlendDestAlpha);
    eng_sprite_set_scale(p->image, 120, 120);
    eng_sprite_set_angle(p->image, p->angle);
    eng_sprite_draw(p->image, x, y, alpha);
    eng_sprite_set_blend(p->image, kEngBlendSrcAlpha, kEngBlendDestAlpha);
    eng_sprite_draw(p->image, x, y, alpha);  // twice, for brightness
    p->x = static_cast<float>(p->x + rt_cos_deg(p->angle) * ft * p->speed);
    p->y = static_cast<float>(p->y + rt_sin_deg(p->angle) * ft * p->speed);
    if (p->speed > 12) p->speed -= ft * 400;
    if (static_cast<std::int32_t>(now - p->born) >= static_cast<std::int32_t>(kFadeDelay10us)) {
      p->alpha -= ft * 400;
      if (p->alpha <= 10) rt_list_delete(particles);
    }
  }
  return rt_list_size(particles) > 0;
}
}  // namespace

void game_explosions_update() {
  float ft = eng_frame_time();
  ListHeader* explosions = g_lists.explosions.header;
  rt_list_reset(explosions);
  while (auto* e = static_cast<Explosion*>(rt_list_next(explosions))) {
    if (!update_particles(e->particles.header, ft)) rt_list_delete(explosions);
  }
}

void game_energy_burst_spawn(std::int32_t x, std::int32_t y, std::int8_t kind) {
  for (int i = 0; i < 10; ++i) {
    auto* p = static_cast<Entity*>(rt_list_add(g_lists.energy_particles.header));
    if (!p) return;
    int radius = rt_random(50);
    p->angle = static_cast<float>(rt_random(359));
    p->image = g_assets.energy_sprites ? g_assets.energy_sprites[kind] : 0;
    p->x = static_cast<float>(x + rt_cos_deg(p->angle) * radius);
    p->y = static_cast<float>(y + rt_sin_deg(p->angle) * radius);
    p->alpha = 255;
    p->speed = static_cast<float>(rt_random(10) + 10);
    p->born = rt_ticks();
  }
}

namespace {
// Collects the particle when it is old enough and close to the ship.
bool picked_up(const Entity& p, std::uint32_t now) {
  float dx = g_game.ship_x - p.x + 24, dy = g_game.ship_y - p.y + 24;
  if (!game_tick_after(now, p.born + 300) || dx * dx + dy * dy >= 961) return false;
  if (g_game.energy < 200) {
    g_game.energy += 0.5f;
    if (g_game.energy > 200) g_game.energy = 200;
  }
  return true;
}

void drift(Entity& p, std::uint32_t now) {
  if (!game_tick_after(now, p.born + 1000)) return;
  int turn = rt_random(1);
  int step = rt_random(5);
  float dx = p.x - g_game.ship_x + 16, dy = p.y - g_game.ship_y + 16;
  if (dx * dx + dy * dy < 13456) {
    p.angle =
        static_cast<float>(game_bearing(g_game.ship_x + 16, g_game.ship_y + 16, p.x + 8, p.y + 8));
    p.speed = 150;
  } else {
    p.speed = static_cast<float>(rt_random(10) + 10);
    if (turn == 1) {
      p.angle += static_cast<float>(step);
      if (p.angle > 359) p.angle = 0;
    }
  }
}
}  // namespace

void game_energy_particles_update() {
  float ft = eng_frame_time();
  float t = ft > 1.0f ? 0.016f : ft;
  ListHeader* list = g_lists.energy_particles.header;
  rt_list_reset(list);
  while (auto* p = static_cast<Entity*>(rt_list_next(list))) {
    if (rt_random(1) == 1) {  // flicker: drawn in about half the frames
      int x = game_round(p->x), y = game_round(p->y), alpha = game_round(p->alpha);
      eng_sprite_set_blend(p->image, kEngBlendSrcAlpha, kEngBlendInvSrcAlpha);
      eng_sprite_draw(p->image, x, y, alpha);
      eng_sprite_set_blend(p->image, kEngBlendSrcAlpha, kEngBlendDestAlpha);
      eng_sprite_draw(p->image, x, y, alpha);
    }
    std::uint32_t now = rt_ticks();
    if (picked_up(*p, now)) {
      rt_list_delete(list);
      continue;
    }
    drift(*p, now);
    p->x = static_cast<float>(p->x + rt_cos_deg(p->angle) * p->speed * t);
    p->y = static_cast<float>(p->y + rt_sin_deg(p->angle) * p->speed * t);
    p->alpha -= ft * 30;
    if (p->alpha < 10) rt_list_delete(list);
  }
}

void game_exhaust_spawn() {
  for (int i = 0; i < 10; ++i) {
    auto* p = static_cast<Entity*>(rt_list_add(g_lists.exhaust_particles.header));
    if (!p) return;
    p->image = g_assets.exhaust_sprite;
    int angle = game_round(g_game.ship_angle - 180);
    if (angle < 0) angle += 360;
    p->angle = static_cast<float>(angle);
    int j = 2 - rt_random(4);
    int sx = game_round(g_game.ship_x), sy = game_round(g_game.ship_y);
    p->x = static_cast<float>(sx - 17 * rt_cos_deg(g_game.ship_angle + j) + j + 8);
    p->y = static_cast<float>(sy - 17 * rt_sin_deg(g_game.ship_angle + j) + j + 8);
    p->speed = static_cast<float>(rt_random(350) + 20);
    p->alpha = 255;
  }
}

void game_exhaust_update() {
  float ft = eng_frame_time();
  ListHeader* list = g_lists.exhaust_particles.header;
  rt_list_reset(list);
  while (auto* p = static_cast<Entity*>(rt_list_next(list))) {
    eng_sprite_set_angle(p->image, p->angle);
    eng_sprite_set_blend(p->image, kEngBlendSrcAlpha, kEngBlendDestAlpha);
    eng_sprite_draw(p->image, game_round(p->x), game_round(p->y), 180);
    p->x = static_cast<float>(p->x + rt_cos_deg(p->angle) * p->speed * ft);
    p->y = static_cast<float>(p->y + rt_sin_deg(p->angle) * p->speed * ft);
    p->alpha -= static_cast<float>(rt_random(200) + 300) * ft;
    if (p->alpha < 20) rt_list_delete(list);
  }
}

void game_flash_draw() {
  if (g_game.flash != 1) return;
  g_game.flash = 2;
  eng_sprite_draw(g_assets.flash_sprite, 0, 0, 255);
}

void game_border_draw() {
  GameState& g = g_game;
  eng_sprite_set_blend(g_assets.frame_sprite, kEngBlendSrcAlpha, kEngBlendInvSrcAlpha);
  eng_sprite_draw(g_assets.frame_sprite, 0, 0, game_round(g.border_alpha));
  g.border_alpha += g.pulse_dir == 0 ? 0.5f : -0.5f;
  if (g.border_alpha >= 100) g.pulse_dir = 1;
  if (g.border_alpha <= 20 && g.pulse_dir == 1) g.pulse_dir = 0;
}

void game_background_cycle() {
  GameState& g = g_game;
  std::uint32_t now = rt_ticks();
  if (game_tick_after(now, g.bg_change_due) && g.fade_active == 0) {
    g.fade_active = 1;
    g.bg_old_index = g.bg_index;
    do {
      g.bg_index = static_cast<std::int8_t>(rt_random(4) + 1);
    } while (g.bg_index == g.bg_old_index);
    g.fade_counter = 0;
  }
  if (g.fade_active == 1) {
    g.fade_counter += 1;
    if (g.fade_counter == 255) {
      g.bg_change_due = now + 6000;
      g.fade_active = 0;
    }
  }
}

namespace {
void draw_background(int index, int alpha) {
  if (!g_assets.tile_sprites || index < 0 || index > 5) return;
  std::intptr_t sprite = g_assets.tile_sprites[index];
  eng_sprite_set_angle(sprite, g_game.bg_angle);
  eng_sprite_set_blend(sprite, kEngBlendSrcAlpha, kEngBlendInvSrcAlpha);
  eng_sprite_draw(sprite, -128, -256, alpha);
}
}  // namespace

void game_background_draw_old() {
  if (g_game.fade_active == 1) draw_background(g_game.bg_old_index, 255 - g_game.fade_counter);
}

void game_background_draw_current() {
  draw_background(g_game.bg_index, g_game.fade_counter);
}
