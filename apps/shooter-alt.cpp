// The full-screen program: opens exclusive full screen directly; F toggles
// the white flash and the energy bar is drawn additively.
#include "apps/command_line.h"
#include "apps/program_icon.h"
#include "apps/tape_options.h"
#include "game/game.h"
#include "window/window.h"

int main(int argc, char** argv) {
  AppOptions options;
  const int code = app_command_line(argc, argv, kGameShooterAlt.name, &options);
  if (code != kAppRun) return code;
  win_set_program_icon(app_program_icon());
  tape_options_apply(options, kGameShooterAlt);
  game_main(kGameShooterAlt);
}
