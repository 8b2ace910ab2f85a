// The windowed program: opens a window, switches it to full screen at once;
// F switches between full screen and window.
#include "apps/command_line.h"
#include "game/game.h"

int main(int argc, char** argv) {
  AppOptions options;
  const int code = app_command_line(argc, argv, kGameShooter.name, &options);
  if (code != kAppRun) return code;
  game_main(kGameShooter);
}
