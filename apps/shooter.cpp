// The windowed program: opens a window, switches it to full screen at once;
// F switches between full screen and window.
#include "apps/tape_options.h"
#include "game/game.h"

int main(int argc, char** argv) {
  tape_options_apply(argc, argv, kGameShooter);
  game_main(kGameShooter);
}
