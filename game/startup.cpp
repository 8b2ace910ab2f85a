// Start-up: the screen, the mouse, the music, every picture loaded or drawn,
// the sprite tables, the entity lists, the first markers and the music.
#include <array>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "game/state.h"
#include "image/draw.h"
#include "image/image.h"
#include "runtime/arrays.h"
#include "runtime/heap.h"
#include "runtime/lists.h"
#include "runtime/maths.h"
#include "runtime/strings.h"
#include "sound/sound.h"

namespace {
constexpr std::int32_t kHandleSize = sizeof(std::intptr_t);
constexpr int kTransparent32 = 0x120;  // 32 bits with a transparent background

// The picture files start-up reads; numbered ones are prefix + n + ".png".
constexpr const char* kLogoFile = "GFX\\ZEPH.png";
constexpr const char* kPanelFile = "GFX\\PowerImage.png";
constexpr const char* kTilePrefix = "GFX\\Tile";
constexpr std::array<const char*, 4> kParticlePrefixes = {
    nullptr, "GFX\\Particle-green0", "GFX\\Particle-red0", "GFX\\Particle-yellow0"};
constexpr std::array<const char*, 4> kEnergyFiles = {
    nullptr, "GFX\\Ptcl-green01.png", "GFX\\Ptcl-red01.png", "GFX\\Ptcl-yellow01.png"};
constexpr std::array<int, 3> kEnergyLoadOrder = {2, 1, 3};  // red, green, yellow
constexpr std::array<const char*, 5> kShipAndFontFiles = {
    "GFX\\Particle-lila01.png", "GFX\\Particle-Shot.png", "GFX\\Ship01.png", "GFX\\Cursor.png",
    "GFX\\Font1.png"};
constexpr std::array<const char*, 3> kEnemyFiles = {"GFX\\EnemyQgreen.png", "GFX\\Circle01.png",
                                                    "GFX\\Enemy.png"};

// An entity list's element descriptor for explosions: one nested list.
const RtDescWord kExplosionDesc[] = {
    kDescList, offsetof(Explosion, particles), sizeof(Entity), 0, kTagStruct, kDescEnd};

// The game cannot run without its tables: out of memory ends it.
std::intptr_t* handle_table(std::intptr_t** variable, int count) {
  void* table =
      rt_array_alloc(kHandleSize, count, kTagInt32, nullptr, reinterpret_cast<void**>(variable));
  if (!table) rt_out_of_memory("the game's handle tables");
  return static_cast<std::intptr_t*>(table);
}

std::intptr_t* handle_table_2d(RtArrayVar<2>* variable, int rows, int columns) {
  variable->dims[0] = rows;
  variable->dims[1] = columns;
  void* table = rt_array_alloc_dims(2, kHandleSize, kTagInt32, nullptr, variable);
  if (!table) rt_out_of_memory("the game's handle tables");
  return static_cast<std::intptr_t*>(table);
}

// "prefix" + number + ".png", built in the temporary string buffer.
template <typename Load>
std::intptr_t load_numbered(const char* prefix, int number, Load load) {
  std::int32_t start = rt_str_position();
  rt_str_append(prefix);
  rt_str_from_quad(number, rt_str_position());
  rt_str_append(".png");
  rt_str_set_position(rt_str_position() + 1);
  std::intptr_t handle = load(rt_str_temp_ptr(start + 1));
  rt_str_set_position(start);
  return handle;
}

std::intptr_t sprite_from_drawing(int width, int height, void (*paint)()) {
  std::intptr_t image = img_create(-1, width, height, kTransparent32);
  draw_start(img_output(image));
  paint();
  draw_stop();
  const std::intptr_t texture = eng_texture_from_image(image);
  // The texture holds the picture now; nothing draws on the image again.
  img_free(image);
  return eng_sprite_create(texture);
}

void open_screen(const GameVariant& variant) {
  eng_screen_open(1024, 768, 32, variant.screen_mode);
  if (variant.f_key_fullscreen) {
    g_game.fullscreen = 1;
    eng_set_fullscreen(1);
  }
  eng_set_vsync(1);
  eng_mouse_set_pos(528, 384);
  eng_cursor_set(0);
}

void initial_values() {
  GameState& g = g_game;
  g.pointer_x = eng_desktop_mouse_x();
  g.pointer_y = eng_desktop_mouse_y();
  g.aim_x = g.pointer_x - 16;
  g.aim_y = g.pointer_y;
  g.ship_x = static_cast<float>(g.aim_x - 16);
  g.ship_y = static_cast<float>(g.aim_y - 16);
  g.energy = 200;
  g.phys_x = g.ship_x;
  g.phys_y = g.ship_y;
  g.max_speed = 80;
  g.paused = 0;
  g.bg_index = 2;
}

void load_backgrounds() {
  GameAssets& a = g_assets;
  handle_table(&a.tile_images, 6);
  handle_table(&a.tile_sprites, 6);
  for (int k = 1; k <= 5; ++k)
    a.tile_images[k] = load_numbered(kTilePrefix, k, [](const char* f) { return img_load(-1, f); });
  std::intptr_t canvas = img_create(-1, 1280, 1280, kTransparent32);
  handle_table(&a.tile_textures, 6);
  for (int k = 1; k <= 5; ++k) {
    // 36 tiles on a 256-pixel grid; the last row and column fall outside.
    draw_start(img_output(canvas));
    for (int y = 0; y <= 1280; y += 256)
      for (int x = 0; x <= 1280; x += 256) draw_image(img_handle(a.tile_images[k]), x, y);
    draw_stop();
    a.tile_textures[k] = eng_texture_from_image(canvas);
    a.tile_sprites[k] = eng_sprite_create(a.tile_textures[k]);
    eng_sprite_set_depth(a.tile_sprites[k], 10);
  }
  img_free(canvas);
}

void make_frame_and_flash() {
  GameAssets& a = g_assets;
  a.frame_sprite = sprite_from_drawing(1024, 768, [] {
    draw_box(0, 0, 1024, 768, rt_rgb(5, 5, 5));
    draw_box(kGameFieldLeft, kGameFieldTop, kGameFieldSize, kGameFieldSize, rt_rgb(254, 254, 254));
  });
  eng_sprite_mask_colour(a.frame_sprite, rt_rgb(254, 254, 254));
  a.flash_sprite =
      sprite_from_drawing(1024, 768, [] { draw_box(0, 0, 1024, 768, rt_rgb(255, 255, 255)); });
  g_game.flash = 0;
  g_game.border_alpha = 20;
  g_game.pulse_dir = 0;
}

void load_particles() {
  GameAssets& a = g_assets;
  std::intptr_t* p = handle_table_2d(&a.particle_sprites, 5, 5);
  for (int colour = 1; colour <= 3; ++colour)
    for (int i = 0; i <= 3; ++i)
      p[colour * 5 + i] = load_numbered(kParticlePrefixes[colour], i + 1, eng_sprite_load);
  handle_table(&a.energy_sprites, 5);
  for (int colour : kEnergyLoadOrder)
    a.energy_sprites[colour] = eng_sprite_load(kEnergyFiles[colour]);
}

void load_ship_and_font() {
  GameAssets& a = g_assets;
  a.exhaust_sprite = eng_sprite_load(kShipAndFontFiles[0]);
  a.shot_sprite = eng_sprite_load(kShipAndFontFiles[1]);
  a.ship_sprite = eng_sprite_load(kShipAndFontFiles[2]);
  a.cursor_sprite = eng_sprite_load(kShipAndFontFiles[3]);
  a.font_sprite = eng_sprite_load(kShipAndFontFiles[4]);
  eng_sprite_set_scale(a.font_sprite, 50, 50);
  eng_sprite_set_depth(a.font_sprite, 0);
  eng_sprite_set_frames(a.font_sprite, 58, 0, 32, 32);
  eng_sprite_mask_colour(a.font_sprite, rt_rgb(0, 0, 0));
}

void load_enemies() {
  GameAssets& a = g_assets;
  a.probe_sprite = eng_sprite_load(kEnemyFiles[0]);
  a.circle_sprite = eng_sprite_load(kEnemyFiles[1]);
  a.enemy_sheet = eng_texture_load(kEnemyFiles[2]);
  handle_table(&a.enemy_textures, 21);
  std::intptr_t* sprites = handle_table_2d(&a.enemy_sprites, 21, 2);
  for (int n = 1; n <= 6; ++n) {
    a.enemy_textures[n] = eng_texture_grab(a.enemy_sheet, 16 * (n - 1), 0, 16, 16);
    int kind = (n + 1) / 2, frame = (n + 1) % 2;
    sprites[kind * 2 + frame] = eng_sprite_create(a.enemy_textures[n]);
  }
}

// Every picture file below, in the order the loads read them, decoded on
// another core while the screen opens.
void prefetch_pictures() {
  std::vector<std::string> names = {kLogoFile, kPanelFile};
  auto numbered = [&](const char* prefix, int n) {
    names.push_back(prefix + std::to_string(n) + ".png");
  };
  for (int k = 1; k <= 5; ++k) numbered(kTilePrefix, k);
  for (int colour = 1; colour <= 3; ++colour)
    for (int i = 1; i <= 4; ++i) numbered(kParticlePrefixes[colour], i);
  for (int colour : kEnergyLoadOrder) names.push_back(kEnergyFiles[colour]);
  names.insert(names.end(), kShipAndFontFiles.begin(), kShipAndFontFiles.end());
  names.insert(names.end(), kEnemyFiles.begin(), kEnemyFiles.end());
  std::vector<const char*> list;
  for (const std::string& name : names) list.push_back(name.c_str());
  img_prefetch(list);
}

void create_lists() {
  GameLists& l = g_lists;
  rt_list_new(sizeof(Explosion), &l.explosions, kExplosionDesc, kTagStruct);
  for (ListVar* v :
       {&l.exhaust_particles, &l.energy_particles, &l.shots, &l.enemies, &l.spawn_markers})
    rt_list_new(sizeof(Entity), v, nullptr, kTagStruct);
}

}  // namespace

// Timers start due now; compared by difference they need a real tick value,
// not the 0 that only works while the uptime is short.
void game_timers_start() {
  GameTick now = rt_ticks();
  g_game.drain_due = now;
  g_game.exhaust_due = now;
  g_game.exhaust_until = now;
  g_game.fire_due = now - 1;
  g_game.bg_change_due = now - 1;
}

void game_startup(const GameVariant& variant) {
  GameAssets& a = g_assets;
  g_game.variant = &variant;
  // The music decodes beside the rest of start-up; it is whole long before
  // the first frame has been shown for a second.
  snd_set_background_loads(true);
  prefetch_pictures();
  open_screen(variant);
  initial_values();
  a.music = snd_load(-1, "Sound\\New2.OGG");
  a.logo_sprite = eng_sprite_load(kLogoFile);
  a.bar_sprite = sprite_from_drawing(1, 20, [] { draw_line(0, 0, 0, 19, rt_rgb(0, 255, 0)); });
  eng_sprite_mask_colour(a.logo_sprite, rt_rgb(0, 0, 0));
  a.panel_sprite = eng_sprite_load(kPanelFile);
  load_backgrounds();
  make_frame_and_flash();
  load_particles();
  load_ship_and_font();
  load_enemies();
  img_prefetch_end();
  create_lists();
  g_game.fade_active = 0;
  eng_sprite_set_depth(a.frame_sprite, 2);
  eng_sprite_set_depth(a.flash_sprite, 3);
  game_timer_setup();
  game_timers_start();
  g_game.thrusting = 0;
  g_game.facing =
      game_bearing(static_cast<float>(g_game.pointer_x), static_cast<float>(g_game.pointer_y),
                   static_cast<float>(g_game.aim_x), static_cast<float>(g_game.aim_y));
  for (int i = 0; i < 15; ++i) game_marker_spawn(static_cast<std::int8_t>(rt_random(2) + 1));
  eng_sprite_set_depth(a.circle_sprite, 0);
  snd_play(a.music, 1, 30);
}
