// The arcade game: start-up, the main loop and the entity passes.
#pragma once
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
