// The arcade game: start-up, the main loop and the entity passes.
#pragma once
#include <cstdint>
#include "engine/engine.h"

// The points in which the two programs differ.
struct GameVariant {
  const char* name;
  int screen_mode;        // 3: window that switches to full screen; 0: exclusive full screen
  bool f_key_fullscreen;  // F switches the display (else it toggles the flash)
  int bar_src_blend, bar_dst_blend, bar_alpha;
};

inline constexpr GameVariant kGameShooter{
    "shooter", 3, true, kEngBlendSrcAlpha, kEngBlendInvSrcAlpha, 100};
inline constexpr GameVariant kGameShooterAlt{"shooter-alt",      0, false, kEngBlendSrcAlpha,
                                             kEngBlendDestAlpha, 35};

[[noreturn]] void game_main(const GameVariant& variant);

// Score, energy, the ship and every entity's position folded into one
// number: recorded games compare it to find where a playback drifts.
std::uint32_t game_state_checksum();
int game_score();
