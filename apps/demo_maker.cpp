// Records a game from scripted input on the virtual clock, without a
// display: the recorded game shipped with the data, and short games for the
// tests. A pilot steers the pointer from the game's own state: it keeps its
// distance from the enemies while firing fans at the nearest, goes for the
// sparks they leave, pauses once and takes a screenshot, then flies into the
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
#include "runtime/maths.h"
#include "runtime/startup.h"

namespace {

constexpr std::uint64_t kStart = 3'600ull * 10'000'000ull;  // an hour of uptime
constexpr std::uint64_t kFrame100ns = 166'667;              // 60 frames a second
constexpr std::uint32_t kSeed = 20261209;
constexpr int kFps = 60;
constexpr int kStep = 16;  // pointer pixels a frame at most
constexpr int kPauseAt = 8 * kFps, kPauseFrames = 90;
constexpr int kGiveUpAt = 150 * kFps;  // the rams should have ended it long before

// The pilot's judgement, in field pixels and seconds.
constexpr double kSafe = 150;               // an enemy nearer than this to a spot makes it costly
constexpr double kPathClear = 34;           // an enemy this close to the way there blocks it
constexpr double kWallMargin = 60;          // the walls turn enemies back at random: stay off them
constexpr double kStandoff = 190;           // the distance to fire at the nearest enemy from
constexpr double kShipPace = 260;           // roughly how fast the ship gets somewhere
constexpr int kMarkerGrown = 60;            // a spawn marker this big is about to become an enemy
constexpr std::uint32_t kSparkReady = 300;  // ms before a spark can be collected
constexpr int kDirections = 16;
constexpr double kRadii[] = {45, 90, 150};

struct Script {
  bool end_by_escape = false;
  int fight_frames = 45 * kFps;
  std::uint32_t seed = kSeed;
};

struct Spot {
  double x, y;
};

double distance(Spot a, Spot b) {
  return std::hypot(a.x - b.x, a.y - b.y);
}

void press(int dik, bool down) {
  plat_input_script_key(dik, down);
}

template <typename Visit>
void each(const ListVar& list, Visit visit) {
  for (ListNode* n = list.header->first; n; n = n->next)
    visit(*static_cast<const Entity*>(rt_node_element(n)));
}

Spot ship_centre() {
  return {g_game.ship_x + 16.0, g_game.ship_y + 16.0};
}

// Where an enemy's centre will be after `ahead` seconds on its course.
Spot enemy_ahead(const Entity& e, double ahead) {
  return {e.x + 8 + rt_cos_deg(e.angle) * e.speed * ahead,
          e.y + 8 + rt_sin_deg(e.angle) * e.speed * ahead};
}

// The nearest enemy's centre, or false when there is none.
bool nearest_enemy(Spot from, double ahead, Spot& found) {
  double best = 1e30;
  each(g_lists.enemies, [&](const Entity& e) {
    const Spot p = enemy_ahead(e, ahead);
    if (distance(p, from) < best) best = distance(p, from), found = p;
  });
  return best < 1e30;
}

// Distance from p to the segment a-b.
double to_segment(Spot p, Spot a, Spot b) {
  const double dx = b.x - a.x, dy = b.y - a.y, len2 = dx * dx + dy * dy;
  double t = len2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / len2 : 0;
  t = std::clamp(t, 0.0, 1.0);
  return distance(p, {a.x + t * dx, a.y + t * dy});
}

double danger_at(Spot ship, Spot spot) {
  const double ahead = distance(ship, spot) / kShipPace + 0.15;
  double cost = 0;
  auto threat = [&](Spot now, Spot later) {
    const double d = distance(spot, later);
    if (d < kSafe) cost += (kSafe - d) * (kSafe - d);
    if (to_segment(now, ship, spot) < kPathClear) cost += 20000;
  };
  each(g_lists.enemies, [&](const Entity& e) { threat(enemy_ahead(e, 0), enemy_ahead(e, ahead)); });
  each(g_lists.spawn_markers, [&](const Entity& m) {
    if (m.size >= kMarkerGrown) threat({m.x + 8, m.y + 8}, {m.x + 8, m.y + 8});
  });
  return cost;
}

double wall_cost(Spot spot) {
  const double edge = std::min({spot.x - kGameFieldLeft, kGameFieldRight - spot.x,
                                spot.y - kGameFieldTop, kGameFieldBottom - spot.y});
  return edge < kWallMargin ? (kWallMargin - edge) * (kWallMargin - edge) * 6 : 0;
}

// Sparks old enough to collect near the spot make it worth going to.
double spark_gain(Spot spot) {
  // The game's tick count, read past the tape: the pilot's reads must not
  // be recorded, as a playback has no pilot to make them.
  const std::uint32_t now = plat_ticks_untaped_ms();
  double gain = 0;
  each(g_lists.energy_particles, [&](const Entity& p) {
    if (now - p.born > kSparkReady && distance(spot, {p.x + 8, p.y + 8}) < 70) gain += 900;
  });
  return gain;
}

// Being at the standoff distance from the nearest enemy, so that the fans
// fired on the way there fly at it.
double standoff_cost(Spot spot) {
  Spot e{};
  if (!nearest_enemy(spot, 0.3, e)) return 0;
  const double off = distance(spot, e) - kStandoff;
  return off * off * 0.15;
}

double spot_cost(Spot ship, Spot spot) {
  return danger_at(ship, spot) + wall_cost(spot) + standoff_cost(spot) - spark_gain(spot) +
         distance(ship, spot) * 0.5;
}

// The best spot around the ship, sticking with the last one unless another
// is clearly better, so the ship does not dither.
Spot choose_spot(Spot& last) {
  const Spot ship = ship_centre();
  Spot best = last;
  double best_cost = spot_cost(ship, last) - 1500;
  auto consider = [&](Spot s) {
    s.x = std::clamp(s.x, kGameFieldLeft + 20.0, kGameFieldRight - 20.0);
    s.y = std::clamp(s.y, kGameFieldTop + 20.0, kGameFieldBottom - 20.0);
    const double c = spot_cost(ship, s);
    if (c < best_cost) best_cost = c, best = s;
  };
  consider(ship);
  for (double r : kRadii)
    for (int i = 0; i < kDirections; ++i) {
      const double a = 360.0 * i / kDirections;
      consider({ship.x + r * rt_cos_deg(a), ship.y + r * rt_sin_deg(a)});
    }
  last = best;
  return best;
}

// Moves the pointer towards where it must be for the ship to come to `to`:
// the aim point trails the pointer by 16 pixels.
void steer_ship_to(Spot to) {
  const Spot ship = ship_centre();
  const double d = distance(ship, to);
  const double px = d > 1 ? to.x + 16 * (to.x - ship.x) / d : to.x;
  const double py = d > 1 ? to.y + 16 * (to.y - ship.y) / d : to.y;
  int dx = std::clamp(static_cast<int>(std::lround(px)) - g_game.pointer_x, -kStep, kStep);
  int dy = std::clamp(static_cast<int>(std::lround(py)) - g_game.pointer_y, -kStep, kStep);
  if (dx + dy == 0 && dx != 0) dy = 0;  // the game drops deltas that cancel out
  plat_input_script_motion(dx, dy);
}

// Input for the pass about to run.
void script_frame(const Script& s, int frame) {
  static Spot target = ship_centre();
  for (int dik : {DIK_P, DIK_S, DIK_ESCAPE}) press(dik, false);
  if (frame == kPauseAt) press(DIK_P, true);
  if (frame == kPauseAt + kPauseFrames / 2) press(DIK_S, true);
  if (frame == kPauseAt + kPauseFrames) press(DIK_P, true);
  if (g_game.paused) return;
  if (frame < 2 * kFps) {  // a still start
    target = ship_centre();
    return;
  }
  if (frame < s.fight_frames) {
    steer_ship_to(choose_spot(target));
    plat_input_script_button(0, true);
    return;
  }
  plat_input_script_button(0, false);
  if (s.end_by_escape) return press(DIK_ESCAPE, true);
  Spot e{};
  if (nearest_enemy(ship_centre(), 0.2, e)) steer_ship_to(e);
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
