// The recorded-game options of both programs: --record FILE, --play FILE
// and --timedemo FILE.
#pragma once
#include "game/game.h"

// Exit code for a tape that cannot be played or written.
inline constexpr int kTapeExitBad = 2;

// Starts what the options ask for before the game starts; returns when
// there is none. A tape that cannot be played or created ends the program
// with one message and kTapeExitBad. Other arguments are left alone.
void tape_options_apply(int argc, char** argv, const GameVariant& variant);
