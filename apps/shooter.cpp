// The windowed program: opens a window, switches it to full screen at once;
// F switches between full screen and window.
#include "apps/command_line.h"
#include "apps/program_icon.h"
#include "apps/tape_options.h"
#include "game/game.h"
#include "window/window.h"

int main(int argc, char** argv) {
  AppOptions options;
  const int code = app_command_line(argc, argv, kGameShooter.name, &options);
  if (code != kAppRun) return code;
  win_set_program_icon(app_program_icon());
  tape_options_apply(options, kGameShooter);
  game_main(kGameShooter);
}
