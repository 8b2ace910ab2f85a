// The game state's fingerprint for recorded games: score, energy, the ship
// and every entity's count and position, so a playback that drifts is seen
// at the frame where it does.
#include "game/state.h"

namespace {
constexpr std::uint32_t kFnvOffset = 2166136261u;
constexpr std::uint32_t kFnvPrime = 16777619u;

struct Fnv {
  std::uint32_t h = kFnvOffset;
  void add(const void* data, std::size_t n) {
    const auto* p = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < n; ++i) h = (h ^ p[i]) * kFnvPrime;
  }
  template <typename T>
  void add(T v) {
    add(&v, sizeof v);
  }
};

// Walks the nodes directly: the lists' current elements must not move.
void add_list(Fnv& f, const ListVar& list, bool nested) {
  if (!list.header) return f.add(0);
  f.add(list.header->count);
  for (ListNode* n = list.header->first; n; n = n->next) {
    if (nested) {
      add_list(f, static_cast<Explosion*>(rt_node_element(n))->particles, false);
      continue;
    }
    const auto* e = static_cast<const Entity*>(rt_node_element(n));
    f.add(e->x);
    f.add(e->y);
  }
}
}  // namespace

std::uint32_t game_state_checksum() {
  const GameState& g = g_game;
  Fnv f;
  f.add(g.score);
  f.add(g.energy);
  f.add(g.ship_x);
  f.add(g.ship_y);
  f.add(g.pointer_x);
  f.add(g.pointer_y);
  add_list(f, g_lists.explosions, true);
  for (const ListVar* v : {&g_lists.exhaust_particles, &g_lists.energy_particles, &g_lists.shots,
                           &g_lists.enemies, &g_lists.spawn_markers})
    add_list(f, *v, false);
  return f.h;
}

int game_score() {
  return g_game.score;
}
