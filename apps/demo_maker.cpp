// Records a game from scripted input on the virtual clock, without a
// display: the recorded game shipped with the data, and short games for the
// tests. A pilot steers the pointer from the game's own state: it circles
// and fires, pauses once and takes a screenshot, then flies into the
// enemies until the rams end the game.
//
//   demo-maker shooter|shooter-alt OUT.tape [ram|escape] [fight-seconds] [seed]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/engine.h"
#include "game/libraries.h"
#include "game/state.h"
#include "platform/clock.h"
#include "platform/headless.h"
#include "platform/input.h"
#include "platform/tape.h"
#include "runtime/startup.h"

namespace {

constexpr std::uint64_t kStart = 3'600ull * 10'000'000ull;  // an hour of uptime
constexpr std::uint64_t kFrame100ns = 166'667;              // 60 frames a second
constexpr std::uint32_t kSeed = 20261209;
constexpr int kFps = 60;
constexpr int kStep = 16;  // pointer pixels a frame at most
constexpr int kFieldCentreX = 511, kFieldCentreY = 383, kCircleRadius = 60;
constexpr double kCircleSpeed = 3.0;  // radians a second: the fans sweep the field
constexpr int kPauseAt = 8 * kFps, kPauseFrames = 90;
constexpr int kGiveUpAt = 150 * kFps;  // the rams should have ended it long before

struct Script {
  bool end_by_escape = false;
  int fight_frames = 45 * kFps;
  std::uint32_t seed = kSeed;
};

void press(int dik, bool down) {
  plat_input_script_key(dik, down);
}

// The nearest enemy, or null.
const Entity* nearest_enemy() {
  const Entity* best = nullptr;
  float best_d = 1e30f;
  for (ListNode* n = g_lists.enemies.header->first; n; n = n->next) {
    const auto* e = static_cast<const Entity*>(rt_node_element(n));
    const float dx = e->x - g_game.ship_x, dy = e->y - g_game.ship_y;
    if (dx * dx + dy * dy < best_d) best_d = dx * dx + dy * dy, best = e;
  }
  return best;
}

void steer_pointer_to(int x, int y) {
  const int dx = std::clamp(x - g_game.pointer_x, -kStep, kStep);
  const int dy = std::clamp(y - g_game.pointer_y, -kStep, kStep);
  plat_input_script_motion(dx, dy);
}

// Input for the pass about to run.
void script_frame(const Script& s, int frame) {
  for (int dik : {DIK_P, DIK_S, DIK_ESCAPE}) press(dik, false);
  if (frame == kPauseAt) press(DIK_P, true);
  if (frame == kPauseAt + kPauseFrames / 2) press(DIK_S, true);
  if (frame == kPauseAt + kPauseFrames) press(DIK_P, true);
  if (g_game.paused) return;
  if (frame < 2 * kFps) return;  // a still start
  if (frame < s.fight_frames) {
    const double t = frame * kCircleSpeed / kFps;
    int x = kFieldCentreX + static_cast<int>(kCircleRadius * std::cos(t));
    int y = kFieldCentreY + static_cast<int>(kCircleRadius * std::sin(t));
    steer_pointer_to(x, y);
    plat_input_script_button(0, true);
    return;
  }
  plat_input_script_button(0, false);
  if (s.end_by_escape) return press(DIK_ESCAPE, true);
  if (const Entity* e = nearest_enemy())
    steer_pointer_to(static_cast<int>(e->x) + 24, static_cast<int>(e->y) + 24);
}

Script parse(int argc, char** argv) {
  Script s;
  if (argc > 3) s.end_by_escape = std::strcmp(argv[3], "escape") == 0;
  if (argc > 4) s.fight_frames = std::max(3, std::atoi(argv[4])) * kFps;
  if (argc > 5) s.seed = static_cast<std::uint32_t>(std::strtoul(argv[5], nullptr, 10));
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: %s shooter|shooter-alt OUT.tape [ram|escape] [fight-seconds] [seed]\n",
                 argv[0]);
    return 2;
  }
  const GameVariant& variant =
      std::strcmp(argv[1], "shooter-alt") == 0 ? kGameShooterAlt : kGameShooter;
  const Script script = parse(argc, argv);
  plat_use_headless(kStart);
  std::string why;
  if (!plat_tape_record(argv[2], variant.name, "demo", script.seed, why)) {
    std::fprintf(stderr, "tape %s: %s\n", argv[2], why.c_str());
    return 2;
  }
  plat_tape_set_state_hook(game_state_checksum);
  game_register_globals();
  game_start_libraries();
  game_startup(variant);
  for (int frame = 0;; ++frame) {
    script_frame(script, frame);
    if (frame == kGiveUpAt) press(DIK_ESCAPE, true);
    plat_clock_advance_100ns(kFrame100ns);
    if (!game_loop_pass()) break;
  }
  std::fprintf(stderr, "%s: score %d, energy %.1f, %s\n", argv[2], g_game.score, g_game.energy,
               g_game.ending ? "ended by a ram" : "ended by Escape");
  if (!g_game.ending) game_timer_release();
  game_shutdown();
}
