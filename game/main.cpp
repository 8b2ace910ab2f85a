// Program entry: the runtime prologue, the library start-up, the game and
// the end sequence.
#include "game/game.h"

#include "runtime/startup.h"

void game_main(const GameVariant&) {
  rt_prologue();
  rt_destroy_main_heap();
  rt_exit_process();
}
