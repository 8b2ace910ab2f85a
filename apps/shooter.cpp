// The windowed program: opens a window, switches it to full screen at once;
// F switches between full screen and window.
#include "game/game.h"

int main() {
  game_main(kGameShooter);
}
