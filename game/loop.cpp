// The main loop: the running frame and its order, the paused state, the
// control keys, the timers of the frame, the bearing and the end paths.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "engine/engine.h"
#include "engine/input_keys.h"
#include "game/libraries.h"
#include "game/state.h"
#include "runtime/log.h"
#include "runtime/maths.h"

GameState g_game;
GameAssets g_assets;
GameLists g_lists;

void game_register_globals() {
  rt_register_globals(&g_game, sizeof g_game);
  rt_register_globals(&g_assets, sizeof g_assets);
  rt_register_globals(&g_lists, sizeof g_lists);
}

namespace {
constexpr int kFireInterval = 150;
// Exit code of a start without any display to show the game on.
constexpr int kExitNoDisplay = 1;
}  // namespace

int game_round(double v) {
  if (!(v > -2147483648.0 && v < 2147483647.0)) return 0;  // NaN or out of range
  return static_cast<int>(std::nearbyint(v));
}

std::intptr_t game_particle_sprite(int colour, int frame) {
  auto* t = static_cast<std::intptr_t*>(g_assets.particle_sprites.elements);
  if (!t || colour < 0 || colour > 4 || frame < 0 || frame > 4) return 0;
  return t[colour * 5 + frame];
}

std::intptr_t game_enemy_sprite(int kind, int frame) {
  auto* t = static_cast<std::intptr_t*>(g_assets.enemy_sprites.elements);
  if (!t || kind < 0 || kind > 20 || frame < 0 || frame > 1) return 0;
  return t[kind * 2 + frame];
}

int game_bearing(float x1, float y1, float x2, float y2) {
  float dx = x2 - x1, dy = y2 - y1;
  g_game.last_distance = std::sqrt(dx * dx + dy * dy);
  if (dx == 0 && dy == 0) return 0;  // two identical points: a fixed angle
  double a = rt_degrees(std::atan(static_cast<double>(dy / dx)));
  if (dx >= 0) a += 180;
  if (a < 0) a += 360;
  return game_round(a);
}

namespace {
void run_timers() {
  GameState& g = g_game;
  GameTick now = rt_ticks();
  if (game_tick_reached(now, g.drain_due)) {
    if (g.energy > 0 && g.speed > 2) g.energy -= 0.1f;
    g.drain_due = now + 100;
  }
  if (g.speed > 0) {
    if (game_tick_reached(now, g.exhaust_due)) {
      game_exhaust_spawn();
      g.exhaust_due = game_tick_add(now, 200 - g.speed * 10.0);
    }
    g.thrusting = 1;
    g.exhaust_until = now + 2000;
  } else {
    g.thrusting = 0;
  }
  if (g.thrusting == 0 && !game_tick_reached(now, g.exhaust_until) &&
      game_tick_reached(now, g.exhaust_due)) {
    game_exhaust_spawn();
    g.exhaust_due = game_tick_add(now, 200 - g.speed * 10.0 - eng_frame_time() * 5.0);
  }
}

void fire_check() {
  GameTick now = rt_ticks();
  if (!game_tick_after(now, g_game.fire_due)) return;
  if (eng_mouse_button(0)) game_fire();
  g_game.fire_due = now + kFireInterval;
}

void running_frame() {
  run_timers();
  game_frame_update();
  if (g_game.ending) return;
  game_pointer_update();
  g_game.flash = 0;
  fire_check();
  game_status_draw();
  eng_render();
  eng_flip();
}

void control_keys() {
  GameState& g = g_game;
  if (eng_key_hit(DIK_P)) g.paused = static_cast<std::int8_t>(1 - g.paused);
  if (eng_key_hit(DIK_F)) {
    g.ship_angle = static_cast<float>(g.facing);
    eng_sprite_set_angle(g_assets.ship_sprite, static_cast<float>(g.facing));
    g.ship_x = static_cast<float>(g.aim_x - 16);
    g.ship_y = static_cast<float>(g.aim_y - 16);
    if (g.variant->f_key_fullscreen) {
      g.fullscreen = g.fullscreen != 0 ? 0 : 1;
      eng_set_fullscreen(g.fullscreen);
    } else {
      g.flash = g.flash == 1 ? 0 : 1;
    }
  }
  if (eng_key_hit(DIK_ADD)) game_marker_spawn(static_cast<std::int8_t>(rt_random(2) + 1));
}
}  // namespace

void game_frame_update() {
  game_background_cycle();
  game_background_draw_old();
  game_border_draw();
  eng_box_draw(kGameFieldLeft, kGameFieldTop, kGameFieldSize, kGameFieldSize, rt_rgb(255, 255, 255),
               0);
  g_game.bg_angle += eng_frame_time() * 4;
  if (g_game.bg_angle > 359) g_game.bg_angle = 0;
  game_ship_draw();
  game_logo_draw();
  game_ship_move(g_assets.ship_sprite, g_game.aim_x, g_game.aim_y);
  game_enemies_draw_collide();
  if (g_game.ending) return;  // a fatal ram ends the program mid-frame
  game_markers_update();
  game_enemies_move();
  game_explosions_update();
  game_energy_particles_update();
  game_exhaust_update();
  game_shots_update();
  game_score_draw();
  game_background_draw_current();
  game_flash_draw();
}

bool game_loop_pass() {
  if (eng_key_down(DIK_ESCAPE) || eng_close_requested()) return false;
  if (g_game.paused == 0) {
    running_frame();
    if (g_game.ending) return false;
  } else if (eng_key_hit(DIK_S)) {
    eng_screenshot("Gamebild.png");
  }
  control_keys();
  return true;
}

void game_timer_setup() {
  // Process priority and the system timer resolution have no counterpart to
  // raise here: the scheduler and the clocks already serve the loop.
}

void game_timer_release() {}

void game_shutdown() {
  game_end_libraries();
}

// The result on standard output, for a player in a terminal and for scripts.
void game_print_result() {
  std::printf(g_game.ending ? "game over: score %d\n" : "score %d\n", g_game.score);
  std::fflush(stdout);
}

void game_main(const GameVariant& variant) {
  // A game nobody can see would run on until a ram ends it.
  if (const char* why = eng_display_missing()) {
    rt_log(kRtLogError, "game", "no display: %s; ending", why);
    std::exit(kExitNoDisplay);
  }
  game_register_globals();
  game_start_libraries();
  game_startup(variant);
  while (game_loop_pass()) {
  }
  game_print_result();
  if (!g_game.ending) game_timer_release();  // a fatal ram skips the exit procedure
  game_shutdown();
}
