// The full-screen program: opens exclusive full screen directly; F toggles
// the white flash and the energy bar is drawn additively.
#include "apps/tape_options.h"
#include "game/game.h"

int main(int argc, char** argv) {
  tape_options_apply(argc, argv, kGameShooterAlt);
  game_main(kGameShooterAlt);
}
