// The game's records and program-wide variables: the entity record of every
// list, the explosion record, the game state and the asset handles.
#pragma once
#include <cstdint>

#include "game/game.h"
#include "runtime/lists.h"

// The play field: a square with its top-left corner at (left, top).
inline constexpr int kGameFieldLeft = 211, kGameFieldTop = 83, kGameFieldSize = 600;
inline constexpr int kGameFieldRight = kGameFieldLeft + kGameFieldSize;
inline constexpr int kGameFieldBottom = kGameFieldTop + kGameFieldSize;

// One record type for every entity list; each list uses the fields it needs.
struct Entity {
  std::int8_t kind;  // colour kind 1 green, 2 red, 3 yellow
  // Sprite handle, except in `enemies`, where it is the enemy kind again
  // (the row of the enemy sprite table).
  std::intptr_t image;
  float x, y;
  std::int32_t size;  // spawn markers: scale in percent
  float offset;       // spawn markers: draw offset
  float angle;        // degrees, 0 = +x, 90 = +y
  float speed;        // pixels per second
  // Opacity 0 … 255 it is drawn with; for exhaust particles a life value
  // that counts down (they are drawn at a fixed opacity).
  float alpha;
  std::uint32_t born;      // creation tick; compared by difference so wraps are harmless
  std::int8_t phase;       // enemies: 1 while the overlay brightens
  std::int8_t homing;      // enemies: 1 while steering at the ship
  std::int8_t hits;        // enemies: hits taken
  std::int8_t hit_points;  // enemies: hits needed
};

struct Explosion {
  ListVar particles;  // of Entity
};

// A tick at which something is next due. Timers compare by signed
// difference, so they keep working across the 32-bit wraps of the tick
// counters and never lose precision with uptime.
using GameTick = std::uint32_t;

struct GameState {
  std::int32_t pointer_x, pointer_y;
  std::int32_t aim_x, aim_y;
  std::int32_t facing;
  float ship_x, ship_y;
  float ship_angle;
  float phys_x, phys_y;
  float max_speed;
  float turn_rate, heading, speed;
  float last_distance;
  float energy;
  std::int32_t score;
  std::int8_t paused;
  std::int8_t thrusting;
  std::int8_t flash;
  std::int32_t fullscreen;
  std::int8_t bg_index;
  std::int32_t bg_old_index;
  std::int8_t fade_active;
  std::int32_t fade_counter;
  float bg_angle;
  float border_alpha;
  std::int8_t pulse_dir;
  GameTick drain_due;
  GameTick exhaust_due;
  GameTick exhaust_until;
  GameTick fire_due;
  GameTick bg_change_due;
  // Set when a ram takes the energy below zero: the frame stops at once and
  // the program ends.
  std::int8_t ending;
  const GameVariant* variant;
};

struct GameAssets {
  std::intptr_t music;
  std::intptr_t logo_sprite, panel_sprite, bar_sprite;
  std::intptr_t* tile_images;    // 0 … 5
  std::intptr_t* tile_textures;  // 0 … 5
  std::intptr_t* tile_sprites;   // 0 … 5
  std::intptr_t frame_sprite, flash_sprite;
  RtArrayVar<2> particle_sprites;  // 5 × 5: (colour, frame)
  std::intptr_t* energy_sprites;   // 0 … 4
  std::intptr_t exhaust_sprite, shot_sprite, ship_sprite, cursor_sprite, font_sprite;
  std::intptr_t probe_sprite, circle_sprite;
  std::intptr_t enemy_sheet;
  std::intptr_t* enemy_textures;  // 0 … 20
  RtArrayVar<2> enemy_sprites;    // 21 × 2: (kind, frame)
};

struct GameLists {
  ListVar explosions, exhaust_particles, energy_particles, shots, enemies, spawn_markers;
};

extern GameState g_game;
extern GameAssets g_assets;
extern GameLists g_lists;
// Registers the three global blocks above for the prologue to clear.
void game_register_globals();

// Table lookups of the two-dimensional sprite tables.
std::intptr_t game_particle_sprite(int colour, int frame);
std::intptr_t game_enemy_sprite(int kind, int frame);

// Nearest integer, ties to even, as the game rounds every position.
int game_round(double v);
// Tick comparisons by signed difference.
inline bool game_tick_reached(GameTick now, GameTick due) {
  return static_cast<std::int32_t>(now - due) >= 0;
}
inline bool game_tick_after(GameTick now, GameTick due) {
  return static_cast<std::int32_t>(now - due) > 0;
}
inline GameTick game_tick_add(GameTick t, double delta_ms) {
  return t + static_cast<GameTick>(static_cast<std::int32_t>(game_round(delta_ms)));
}

// Operations of the game's passes.
int game_bearing(float x1, float y1, float x2, float y2);
void game_startup(const GameVariant& variant);
void game_frame_update();
bool game_loop_pass();
// One line on standard output: "game over: score N" after a fatal ram, else
// "score N".
void game_print_result();
void game_pointer_update();
void game_ship_draw();
void game_ship_move(std::intptr_t sprite, std::int32_t ax, std::int32_t ay);
void game_fire();
void game_shots_update();
void game_marker_spawn(std::int8_t kind);
void game_enemy_spawn(std::int32_t x, std::int32_t y, std::int8_t kind);
void game_markers_update();
void game_enemies_move();
void game_enemies_draw_collide();
void game_explosion_spawn(std::int32_t x, std::int32_t y, std::int8_t kind, std::int8_t with_burst);
void game_energy_burst_spawn(std::int32_t x, std::int32_t y, std::int8_t kind);
void game_exhaust_spawn();
void game_explosions_update();
void game_energy_particles_update();
void game_exhaust_update();
void game_background_cycle();
void game_background_draw_old();
void game_border_draw();
void game_background_draw_current();
void game_flash_draw();
void game_logo_draw();
void game_score_draw();
void game_status_draw();
void game_timers_start();
void game_timer_setup();
void game_timer_release();
[[noreturn]] void game_shutdown();
