// The recorded-game options of both programs: --record FILE, --play FILE
// and --timedemo FILE.
#pragma once
#include "apps/command_line.h"
#include "game/game.h"

// Exit code for a tape that cannot be played or written.
inline constexpr int kTapeExitBad = 2;

// Starts the tape the options ask for before the game starts; returns at
// once when there is none. A tape that cannot be played or created ends the
// program with one message and kTapeExitBad.
void tape_options_apply(const AppOptions& options, const GameVariant& variant);
