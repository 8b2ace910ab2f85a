// The full-screen program: opens exclusive full screen directly; F toggles
// the white flash and the energy bar is drawn additively.
#include "game/game.h"

int main() {
  game_main(kGameShooterAlt);
}
