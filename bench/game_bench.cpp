// The whole game, measured in child processes of this program, one game per
// process as the real programs run it:
// - Frames: a heavy scene (20 explosions alive at once, 30 enemies, 40 shots)
//   on gl, the game's update, queueing and eng_render submission; the same
//   scene and a typical one (two backgrounds cross-fading, the border, 15
//   enemies, 2 explosions) on the soft device, the whole frame's wall time
//   with its bands drawn on every core, with the best span path and with
//   AVX2 forced (what most players' processors run), and on one thread.
//   Median and 99th percentile of 1,000 frames beside the 16.7 ms budget.
// - First frame: process start to the first presented frame of each
//   program, beside a minimal SDL2 + GL program that opens its window,
//   clears and swaps, and the music decode alone.
// - Memory: peak resident size of a 60-second scripted game on each device.
// Prints the ratios. Needs a display for gl (run under xvfb-run).
#include <SDL2/SDL.h>
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/state_internal.h"
#include "game/libraries.h"
#include "game/state.h"
#include "platform/clock.h"
#include "platform/input.h"
#include "platform/video.h"
#include "platform/video_soft_pool_internal.h"
#include "platform/video_soft_raster_internal.h"
#include "runtime/lists.h"
#include "runtime/maths.h"
#include "runtime/startup.h"
#include "sound/sound.h"

extern char** environ;

namespace {

constexpr double kBudgetMs = 1000.0 / 60;
constexpr int kFrames = 1000;
constexpr int kMemoryFrames = 60 * 60;
constexpr std::uint64_t kFrame100ns = 166'667;  // 1/60 s
constexpr int kFirstFrameRuns = 5;

double now_ms() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) * 1e-6;
}

double thread_cpu_ms() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) * 1e-6;
}

long peak_resident_kb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

// --- the children ----------------------------------------------------------

// The game as the programs start it, in the assets folder. With `scripted`
// the clock is virtual and the input scripted, so every frame is 1/60 s.
void start_game(bool scripted, const GameVariant& variant = kGameShooter) {
  if (chdir(SHOOTER_SOURCE_DIR "/assets") != 0) std::perror("chdir");
  if (scripted) {
    plat_clock_use_virtual(3600ull * 10'000'000ull);
    plat_input_use_scripted();
  }
  game_register_globals();
  game_start_libraries();
  rt_random_seed(20261208);
  game_startup(variant);
  if (scripted) eng_set_vsync(0);  // no pacing: the clock is stepped here
}

// The scenes time frames of a running game: start-up's music decode, which
// goes on for a moment after it on time the game leaves over, is over first.
void await_music_decode() {
  for (int i = 0; i < 500 && snd_is_decoding(g_assets.music); ++i) usleep(10'000);
}

std::mt19937 g_rng(7);

int random_in(int low, int high) {
  return std::uniform_int_distribution<int>(low, high)(g_rng);
}

// Tops the scene up to the wanted counts; not part of the measured frame.
void top_up(int explosions, int enemies, int shots) {
  while (rt_list_size(g_lists.explosions.header) < explosions)
    game_explosion_spawn(random_in(260, 760), random_in(130, 630),
                         static_cast<std::int8_t>(random_in(1, 3)), 0);
  while (rt_list_size(g_lists.enemies.header) < enemies) {
    int x = random_in(220, 780), y = random_in(90, 650);
    if (std::hypot(x - g_game.ship_x, y - g_game.ship_y) < 80) continue;
    game_enemy_spawn(x, y, static_cast<std::int8_t>(random_in(1, 3)));
  }
  while (rt_list_size(g_lists.shots.header) < shots) {
    auto* s = static_cast<Entity*>(rt_list_add(g_lists.shots.header));
    s->image = g_assets.shot_sprite;
    s->x = g_game.ship_x + 8;
    s->y = g_game.ship_y + 8;
    s->angle = static_cast<float>(random_in(0, 359));
    s->speed = 700;
  }
  g_game.energy = 200;  // rams must not end the run
}

// The running frame without its timers (drain, exhaust and fire cadence),
// which only add a few particles and shots that the top-up covers.
void frame_without_flip() {
  game_frame_update();
  game_pointer_update();
  g_game.flash = 0;
  game_status_draw();
  eng_render();
}

double percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<std::size_t>(p * double(v.size())))];
}

// Frames of a kept-up scene. Prints: median and p99 of the main thread's CPU
// time and of the wall time, without and with the flip, the counts left, the
// soft span path and the soft device's threads (0 on gl).
int child_scene(bool heavy) {
  start_game(true);
  await_music_decode();
  if (!heavy) {
    g_game.fade_active = 1;  // held mid-fade: both backgrounds are drawn
    g_game.bg_old_index = 1;
    g_game.bg_index = 3;
  }
  std::vector<double> cpu, wall, cpu_all, wall_all;
  for (int i = -60; i < kFrames; ++i) {  // 60 frames to warm up
    if (heavy) {
      top_up(20, 30, 40);
    } else {
      top_up(2, 15, 0);
      rt_list_clear(g_lists.spawn_markers.header);
      g_game.fade_active = 1;
      g_game.fade_counter = 128;
    }
    plat_clock_advance_100ns(kFrame100ns);
    const double c0 = thread_cpu_ms(), w0 = now_ms();
    frame_without_flip();
    const double c1 = thread_cpu_ms(), w1 = now_ms();
    eng_flip();
    const double c2 = thread_cpu_ms(), w2 = now_ms();
    if (i < 0) continue;
    cpu.push_back(c1 - c0);
    wall.push_back(w1 - w0);
    cpu_all.push_back(c2 - c0);
    wall_all.push_back(w2 - w0);
  }
  std::printf("%f %f %f %f %f %f %f %f %d %d %d %d %d\n", percentile(cpu, 0.5),
              percentile(cpu, 0.99), percentile(wall, 0.5), percentile(wall, 0.99),
              percentile(cpu_all, 0.5), percentile(cpu_all, 0.99), percentile(wall_all, 0.5),
              percentile(wall_all, 0.99), rt_list_size(g_lists.explosions.header),
              rt_list_size(g_lists.enemies.header), rt_list_size(g_lists.shots.header),
              static_cast<int>(soft_selected_path()), soft_threads(g_engine.screen.video));
  return 0;
}

// The game's own start to its first present. Prints the clock after it and
// the milliseconds start-up spent in the sleeps of its device resets.
int child_first_frame(const GameVariant& variant) {
  start_game(false, variant);
  game_loop_pass();
  plat_video_finish(g_engine.screen.video);  // the present may still be queued
  std::printf("%f %f\n", now_ms(), plat_slept_100ns() / 1e4);
  std::fflush(stdout);
  _exit(0);  // the end sequence is not part of the measure
}

// The platform's floor: an SDL2 window with a GL 3.3 core context, one
// clear and one swap.
int child_floor() {
  if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_Window* window = SDL_CreateWindow("floor", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                        1024, 768, SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
  if (!window) return 1;
  SDL_GLContext context = SDL_GL_CreateContext(window);
  if (!context) return 1;
  SDL_GL_SetSwapInterval(1);
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  SDL_GL_SwapWindow(window);
  glFinish();
  std::printf("%f\n", now_ms());
  std::fflush(stdout);
  _exit(0);
}

// The music decode alone, as start-up does it. Prints the median of three.
int child_decode() {
  if (chdir(SHOOTER_SOURCE_DIR "/assets") != 0) std::perror("chdir");
  game_start_libraries();
  std::vector<double> ms;
  for (int i = 0; i < 3; ++i) {
    const double t0 = now_ms();
    const RtHandle music = snd_load(-1, "Sound\\New2.OGG");
    ms.push_back(now_ms() - t0);
    if (!music) return 1;
    snd_free(music);
  }
  std::printf("%f\n", percentile(ms, 0.5));
  return 0;
}

// A 60-second game: the mouse circles the field's centre with the button
// held. Prints the peak resident size in kB. It does not wait for the music
// decode: the game presents right after start-up, and start-up's copies the
// device has taken go at the first presents.
int child_memory() {
  start_game(true);
  plat_input_script_button(0, true);
  for (int i = 0; i < kMemoryFrames; ++i) {
    const double a = i * 0.05;
    plat_input_script_motion(static_cast<int>(std::lround(-8 * std::sin(a))),
                             static_cast<int>(std::lround(8 * std::cos(a))));
    if (i % 120 == 0) plat_input_script_key(78, true);  // keypad +: more markers
    if (i % 120 == 5) plat_input_script_key(78, false);
    if (g_game.energy < 60) g_game.energy = 200;  // rams must not end the run
    plat_clock_advance_100ns(kFrame100ns);
    if (!game_loop_pass()) return 1;
  }
  std::printf("%ld %d\n", peak_resident_kb(), g_game.score);
  return 0;
}

double process_cpu_ms() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) * 1e-6;
}

// Runs the real loop for ms milliseconds; the process's CPU use in % of
// one core over that time, or -1 when the game ended.
double loop_cpu_share(double ms) {
  const double c0 = process_cpu_ms(), w0 = now_ms();
  while (now_ms() - w0 < ms) {
    g_game.energy = 200;  // rams must not end the run
    if (!game_loop_pass()) return -1;
  }
  return 100 * (process_cpu_ms() - c0) / (now_ms() - w0);
}

// The real loop on the real clock for two seconds running, then two
// seconds paused (after half a second for the frames still queued to be
// drawn). Prints the process's CPU use in % of one core for each.
int child_paused() {
  start_game(false);
  double share[2] = {};
  share[0] = loop_cpu_share(2000);
  g_game.paused = 1;
  loop_cpu_share(500);
  share[1] = loop_cpu_share(2000);
  if (share[0] < 0 || share[1] < 0) return 1;
  std::printf("%f %f\n", share[0], share[1]);
  std::fflush(stdout);
  _exit(0);
}

int run_child(const std::string& what) {
  if (what == "paused") return child_paused();
  if (what == "scene-heavy") return child_scene(true);
  if (what == "scene-typical") return child_scene(false);
  if (what == "first-frame") return child_first_frame(kGameShooter);
  if (what == "first-frame-alt") return child_first_frame(kGameShooterAlt);
  if (what == "floor") return child_floor();
  if (what == "decode") return child_decode();
  if (what == "memory") return child_memory();
  std::fprintf(stderr, "unknown child %s\n", what.c_str());
  return 2;
}

// --- the parent ------------------------------------------------------------

struct ChildResult {
  bool ok = false;
  double start_ms = 0;  // the parent's clock right before the spawn
  std::vector<double> values;
};

// Runs this program as a child with the given device and prints nothing of
// its own; `device` is "gl", "soft" (headless) or "" (the program's choice);
// `extra` is one more environment setting or empty.
ChildResult spawn_child(const std::string& what, const std::string& device, bool one_core,
                        const std::string& extra = "") {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    std::string v = *e;
    if (v.rfind("SHOOTER_VIDEO=", 0) == 0 || v.rfind("SDL_AUDIODRIVER=", 0) == 0) continue;
    if (!extra.empty() && v.rfind(extra.substr(0, extra.find('=') + 1), 0) == 0) continue;
    if (device == "soft" && (v.rfind("DISPLAY=", 0) == 0 || v.rfind("WAYLAND_DISPLAY=", 0) == 0))
      continue;
    env.push_back(v);
  }
  if (!device.empty()) env.push_back("SHOOTER_VIDEO=" + device);
  env.push_back("SDL_AUDIODRIVER=dummy");
  if (!extra.empty()) env.push_back(extra);
  std::vector<char*> envp;
  for (auto& v : env) envp.push_back(v.data());
  envp.push_back(nullptr);
  std::string self = "/proc/self/exe", flag = "--child", arg = what;
  char* argv[] = {self.data(), flag.data(), arg.data(), nullptr};

  int out[2];
  ChildResult r;
  if (pipe(out) != 0) return r;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  pid_t pid = 0;
  r.start_ms = now_ms();
  const int failed = posix_spawn(&pid, "/proc/self/exe", &actions, &attr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  close(out[1]);
  if (failed) {
    close(out[0]);
    return r;
  }
  if (one_core) {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(0, &set);
    sched_setaffinity(pid, sizeof set, &set);
  }
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  std::istringstream in(text);
  for (double v; in >> v;) r.values.push_back(v);
  r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && !r.values.empty();
  return r;
}

std::map<std::string, std::vector<double>> g_results;

// `extra`: an environment setting for the child, or "".
void BM_Scene(benchmark::State& state, const char* what, const char* device, const char* extra) {
  ChildResult r;
  for (auto _ : state) {
    r = spawn_child(what, device, false, extra);
    if (!r.ok || r.values.size() < 13) {
      state.SkipWithError("the child failed (gl needs a display)");
      return;
    }
    state.SetIterationTime(r.values[0] / 1e3);
  }
  const auto& v = r.values;
  state.counters["cpu_p50_ms"] = v[0];
  state.counters["cpu_p99_ms"] = v[1];
  state.counters["wall_p99_ms"] = v[3];
  state.counters["whole_cpu_p50_ms"] = v[4];
  state.counters["whole_cpu_p99_ms"] = v[5];
  g_results[std::string(what) + "/" + device + extra] = v;
}

// Per program: the median start to first present, the median time slept in
// it and the best start; the floor and the decode are shared.
void BM_FirstFrame(benchmark::State& state) {
  std::vector<double> floor, game[2], slept[2];
  for (auto _ : state) {
    for (int i = 0; i < kFirstFrameRuns; ++i) {
      ChildResult f = spawn_child("floor", "", false);
      ChildResult g = spawn_child("first-frame", "gl", false);
      ChildResult a = spawn_child("first-frame-alt", "gl", false);
      if (!f.ok || !g.ok || !a.ok || g.values.size() < 2 || a.values.size() < 2) {
        state.SkipWithError("a child failed (needs a display)");
        return;
      }
      floor.push_back(f.values[0] - f.start_ms);
      for (int p = 0; p < 2; ++p) {
        const ChildResult& c = p == 0 ? g : a;
        game[p].push_back(c.values[0] - c.start_ms);
        slept[p].push_back(c.values[1]);
      }
    }
    state.SetIterationTime(percentile(game[0], 0.5) / 1e3);
  }
  ChildResult d = spawn_child("decode", "soft", false);
  const double decode = d.ok ? d.values[0] : 0;
  state.counters["shooter_ms"] = percentile(game[0], 0.5);
  state.counters["shooter_alt_ms"] = percentile(game[1], 0.5);
  state.counters["floor_ms"] = percentile(floor, 0.5);
  state.counters["decode_ms"] = decode;
  g_results["first-frame/floor"] = {percentile(floor, 0.5),
                                    *std::min_element(floor.begin(), floor.end()), decode};
  for (int p = 0; p < 2; ++p)
    g_results[p == 0 ? "first-frame/shooter" : "first-frame/shooter-alt"] = {
        percentile(game[p], 0.5), percentile(slept[p], 0.5),
        *std::min_element(game[p].begin(), game[p].end())};
}

void BM_PeakMemory(benchmark::State& state, const char* device) {
  ChildResult r;
  for (auto _ : state) {
    const double t0 = now_ms();
    r = spawn_child("memory", device, false);
    if (!r.ok) {
      state.SkipWithError("the child failed (gl needs a display)");
      return;
    }
    state.SetIterationTime((now_ms() - t0) / 1e3);
  }
  state.counters["peak_MB"] = r.values[0] / 1024;
  g_results[std::string("memory/") + device] = r.values;
}

void BM_PausedCpu(benchmark::State& state) {
  ChildResult r;
  for (auto _ : state) {
    r = spawn_child("paused", "gl", false);
    if (!r.ok || r.values.size() < 2) {
      state.SkipWithError("the child failed (needs a display)");
      return;
    }
    state.SetIterationTime(4.5);
  }
  state.counters["running_cpu_pct"] = r.values[0];
  state.counters["paused_cpu_pct"] = r.values[1];
  g_results["paused"] = r.values;
}

BENCHMARK(BM_PausedCpu)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
constexpr const char* kAvx2 = "SHOOTER_SOFT_PATH=avx2";
constexpr const char* kOneThread = "SHOOTER_SOFT_THREADS=1";

#define SCENE(name, what, device, extra)                 \
  BENCHMARK_CAPTURE(BM_Scene, name, what, device, extra) \
      ->Iterations(1)                                    \
      ->UseManualTime()                                  \
      ->Unit(benchmark::kMillisecond)
SCENE(heavy_gl, "scene-heavy", "gl", "");
SCENE(heavy_soft, "scene-heavy", "soft", "");
SCENE(heavy_soft_avx2, "scene-heavy", "soft", kAvx2);
SCENE(heavy_soft_one_thread, "scene-heavy", "soft", kOneThread);
SCENE(typical_soft, "scene-typical", "soft", "");
SCENE(typical_soft_avx2, "scene-typical", "soft", kAvx2);
SCENE(typical_soft_one_thread, "scene-typical", "soft", kOneThread);
BENCHMARK(BM_FirstFrame)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PeakMemory, soft, "soft")
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PeakMemory, gl, "gl")
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// target 0: reported without a target. `whole`: the whole frame's wall
// time (soft, whose bands are drawn on other threads too), else the main
// thread's CPU time without the flip (gl).
void print_scene(const char* title, const std::string& key, bool whole, double target) {
  auto it = g_results.find(key);
  if (it == g_results.end()) return;
  const auto& v = it->second;
  const double p50 = whole ? v[6] : v[0], p99 = whole ? v[7] : v[1];
  std::printf(
      "%s: %s per frame median %.2f ms, p99 %.2f ms (main thread CPU median %.2f, p99 "
      "%.2f ms): p99 is %.2fx the 16.7 ms budget",
      title, whole ? "wall" : "CPU", p50, p99, whole ? v[4] : v[0], whole ? v[5] : v[1],
      p99 / kBudgetMs);
  if (target > 0) std::printf(", target %.1f ms %s", target, p99 <= target ? "met" : "MISSED");
  if (whole) {
    std::printf("\n  span path %s, %.0f thread(s)",
                soft_path_name(static_cast<SoftPath>(static_cast<int>(v[11]))), v[12]);
  }
  std::printf(
      "\n  topped up before every frame; after the last: %.0f explosions, %.0f enemies, "
      "%.0f shots\n",
      v[8], v[9], v[10]);
}

// The target is the floor plus 100 ms, plus the time the program asks to
// sleep (the shooter's two device resets), which is shown apart from its
// work; the music decode is shown for scale.
void print_first_frames() {
  constexpr double kBeyondFloorMs = 100;
  auto floor = g_results.find("first-frame/floor");
  if (floor == g_results.end()) return;
  const double floor_ms = floor->second[0], decode = floor->second[2];
  std::printf(
      "first presented frame: minimal SDL2 + GL program %.1f ms (best %.1f), music decode "
      "%.1f ms; target floor + sleeps + %.0f ms\n",
      floor_ms, floor->second[1], decode, kBeyondFloorMs);
  for (const char* program : {"shooter", "shooter-alt"}) {
    auto it = g_results.find(std::string("first-frame/") + program);
    if (it == g_results.end()) continue;
    const double ms = it->second[0], slept = it->second[1];
    const double extra = ms - floor_ms - slept;
    std::printf(
        "  %s: %.1f ms (best %.1f), %.2fx the floor; %.1f ms asleep in device resets, %.1f ms "
        "beyond floor + sleeps: target %.0f ms %s\n",
        program, ms, it->second[2], ms / floor_ms, slept, extra, kBeyondFloorMs,
        extra <= kBeyondFloorMs ? "met" : "MISSED");
  }
}

void print_paused() {
  auto it = g_results.find("paused");
  if (it == g_results.end()) return;
  const double running = it->second[0], paused = it->second[1];
  std::printf(
      "CPU of the real loop on gl: running %.1f %% of a core, paused %.1f %% (%.3fx the "
      "running figure): target 5 %% %s\n",
      running, paused, running > 0 ? paused / running : 0.0, paused <= 5 ? "met" : "MISSED");
}

void print_summary() {
  std::printf("\n");
  std::printf("this processor's vector extensions: SSE2%s%s\n",
              soft_path_available(SoftPath::Avx2) ? ", AVX2" : ", no AVX2",
              soft_path_available(SoftPath::Avx512) ? ", AVX-512" : ", no AVX-512");
  print_paused();
  print_scene("heavy scene on gl, update + queueing + eng_render", "scene-heavy/gl", false, 4.0);
  for (const char* extra : {"", kAvx2, kOneThread}) {
    const std::string how = *extra ? std::string(", ") + extra : std::string(", best path");
    print_scene(("heavy scene on soft, whole frame" + how).c_str(),
                std::string("scene-heavy/soft") + extra, true, kBudgetMs);
    print_scene(("typical scene on soft, whole frame" + how).c_str(),
                std::string("scene-typical/soft") + extra, true, 8.0);
  }
  print_first_frames();
  for (const char* device : {"soft", "gl"}) {
    auto it = g_results.find(std::string("memory/") + device);
    if (it == g_results.end()) continue;
    const double mb = it->second[0] / 1024;
    const double target = std::strcmp(device, "soft") == 0 ? 130 : 200;
    std::printf(
        "peak resident memory of a 60 s game on %s: %.1f MB (score %.0f): %s the %.0f MB "
        "target\n",
        device, mb, it->second.size() > 1 ? it->second[1] : 0.0, mb <= target ? "within" : "over",
        target);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--child") == 0) return run_child(argv[2]);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  print_summary();
  return 0;
}
