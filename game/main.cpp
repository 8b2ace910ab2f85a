// Program entry: the library start-up, the screen, a loop that renders and
// presents black frames with the control keys, and the end sequence.
#include "game/game.h"

#include "engine/engine.h"
#include "engine/input_keys.h"
#include "game/libraries.h"

namespace {

struct LoopState {
  int paused;
  int fullscreen;
};

void open_screen(const GameVariant& variant, LoopState& state) {
  eng_screen_open(1024, 768, 32, variant.screen_mode);
  if (variant.f_key_fullscreen) {
    state.fullscreen = 1;
    eng_set_fullscreen(1);
  }
  eng_set_vsync(1);
  eng_mouse_set_pos(528, 384);
  eng_cursor_set(0);
}

// Held Escape ends the program, and so does the window's close button.
bool wants_end() {
  return eng_key_down(DIK_ESCAPE) || eng_close_requested();
}

void control_keys(const GameVariant& variant, LoopState& state) {
  if (eng_key_hit(DIK_P)) state.paused = 1 - state.paused;
  if (eng_key_hit(DIK_F) && variant.f_key_fullscreen) {
    state.fullscreen = state.fullscreen ? 0 : 1;
    eng_set_fullscreen(state.fullscreen);
  }
  eng_key_hit(DIK_ADD);
}

}  // namespace

void game_main(const GameVariant& variant) {
  game_start_libraries();
  LoopState state{};
  open_screen(variant, state);
  while (!wants_end()) {
    if (!state.paused) {
      eng_render();
      eng_flip();
    } else if (eng_key_hit(DIK_S)) {
      eng_screenshot("Gamebild.png");
    }
    control_keys(variant, state);
  }
  game_end_libraries();
}
