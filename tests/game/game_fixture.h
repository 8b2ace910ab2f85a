// The game started once per test process on the soft device without a
// display, with the virtual clock, scripted input and a fixed seed, plus
// helpers that set up a scene and run frames.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "engine/engine.h"
#include "engine/state_internal.h"
#include "game/libraries.h"
#include "game/state.h"
#include "platform/clock.h"
#include "platform/headless.h"
#include "platform/input.h"
#include "platform/video.h"
#include "runtime/lists.h"
#include "runtime/maths.h"
#include "runtime/objects.h"
#include "runtime/startup.h"

namespace game_test {

inline constexpr std::uint64_t kStart = 3'600ull * 10'000'000ull;  // one hour of uptime
inline constexpr std::uint32_t kSeed = 20261208;

// State right after start-up, before any test changed it.
struct StartSnapshot {
  GameState state;
  int markers;
};
inline StartSnapshot g_start{};

// Runs in a scratch folder that sees the game's assets, so screenshots do
// not land in the source tree. A new folder each process, removed at exit
// by the process that made it (the links only, not what they point to): one
// named after the process id could be a stale one from an earlier run, with
// links that lead nowhere.
inline void enter_scratch_folder() {
  namespace fs = std::filesystem;
  static std::string dir = (fs::temp_directory_path() / "game_test_XXXXXX").string();
  static const pid_t owner = getpid();  // not by a forked child's exit
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  std::atexit([] {
    std::error_code ignored;
    if (getpid() == owner) fs::remove_all(dir, ignored);
  });
  for (const char* sub : {"GFX", "Sound"})
    fs::create_directory_symlink(fs::path(SHOOTER_SOURCE_DIR) / "assets" / sub,
                                 fs::path(dir) / sub);
  ASSERT_EQ(chdir(dir.c_str()), 0);
}

inline void start_game_once() {
  static bool started = [] {
    plat_use_headless(kStart);
    enter_scratch_folder();
    game_register_globals();
    game_start_libraries();
    rt_random_seed(kSeed);
    game_startup(kGameShooter);
    g_start.state = g_game;
    g_start.markers = rt_list_size(g_lists.spawn_markers.header);
    return true;
  }();
  (void)started;
}

inline int count(const ListVar& list) {
  return rt_list_size(list.header);
}

// Records an object table holds now.
inline int live_objects(ObjectTable* table) {
  int n = 0;
  RtHandle id = 0;
  rt_objects_enum_start(table);
  while (rt_objects_enum_next(table, &id)) ++n;
  return n;
}

inline std::vector<Entity*> elements(const ListVar& list) {
  std::vector<Entity*> out;
  rt_list_reset(list.header);
  while (auto* e = static_cast<Entity*>(rt_list_next(list.header))) out.push_back(e);
  return out;
}

class GameTest : public ::testing::Test {
 public:
  void SetUp() override {
    start_game_once();
    ASSERT_NE(g_engine.screen.video, nullptr);
    clear_scene();
  }

  // No entities, ship at rest in the middle of the field, full energy.
  static void clear_scene() {
    for (ListVar* v : {&g_lists.explosions, &g_lists.exhaust_particles, &g_lists.energy_particles,
                       &g_lists.shots, &g_lists.enemies, &g_lists.spawn_markers})
      rt_list_clear(v->header);
    GameState& g = g_game;
    g.pointer_x = 512;
    g.pointer_y = 384;
    g.aim_x = 496;
    g.aim_y = 384;
    g.facing = 0;
    g.ship_x = g.phys_x = 480;
    g.ship_y = g.phys_y = 368;
    g.speed = g.turn_rate = g.heading = g.ship_angle = 0;
    g.energy = 200;
    g.score = 0;
    g.paused = 0;
    g.flash = 0;
    g.ending = 0;
    g.variant = &kGameShooter;
    for (int dik = 0; dik < 256; ++dik) plat_input_script_key(dik, false);
    plat_input_script_button(0, false);
    flip(0.016);  // forget motion; the start-up's sleeps land in this frame time
    flip(0.016);  // a known frame time
    game_timers_start();
  }

  // Advances the clock and presents, so the next frame time is `seconds`.
  static void flip(double seconds) {
    plat_clock_advance_100ns(static_cast<std::uint64_t>(seconds * 1e7 + 0.5));
    eng_flip();
  }

  // Moves the clock on and runs one pass of the main loop.
  static bool pass(double seconds = 1.0 / 60) {
    plat_clock_advance_100ns(static_cast<std::uint64_t>(seconds * 1e7 + 0.5));
    return game_loop_pass();
  }

  static Entity* add(ListVar& list) { return static_cast<Entity*>(rt_list_add(list.header)); }

  static Entity* add_enemy(float x, float y, int kind) {
    Entity* e = add(g_lists.enemies);
    const std::int8_t points[4] = {0, 1, 3, 6};
    e->kind = static_cast<std::int8_t>(kind);
    e->image = kind;
    e->x = x;
    e->y = y;
    e->speed = 100;
    e->hit_points = points[kind];
    return e;
  }

  static Entity* add_shot(float x, float y, float angle, float speed) {
    Entity* s = add(g_lists.shots);
    s->image = g_assets.shot_sprite;
    s->x = x;
    s->y = y;
    s->angle = angle;
    s->speed = speed;
    return s;
  }

  // Starts a frame for the collision cache: draws nothing, renders, flips.
  static void next_frame() {
    eng_render();
    flip(0.016);
  }

  static std::vector<std::uint32_t> frame_pixels() {
    PlatVideo* video = g_engine.screen.video;
    std::vector<std::uint32_t> px(static_cast<std::size_t>(plat_video_width(video)) *
                                  plat_video_height(video));
    plat_video_read_back(video, px.data());
    return px;
  }
};

}  // namespace game_test
