// Keyboard, mouse and cursor for the game: key state read on demand with the
// hit rule over the previous array, the mouse from the last flip's poll, the
// desktop pointer and system cursor shapes.
#include <algorithm>

#include "engine/engine.h"
#include "engine/state_internal.h"
#include "platform/display.h"
#include "platform/input.h"

namespace {

constexpr int kAnyKey = -1;
constexpr int kKeyArraySize = 257;

// Reads the keyboard into the current array; false when there is none.
bool read_keyboard() {
  InputState& input = g_engine.input;
  if (!input.keyboard || !input.keys_now) return false;
  PlatKeyState keys{};
  if (!plat_keyboard_read(keys)) return false;
  std::copy(keys.begin(), keys.end(), input.keys_now);
  return true;
}

bool valid_key(int key) {
  return key >= 0 && key < kKeyArraySize;
}

// Shape numbers of eng_cursor_set to system cursors; others show the arrow.
PlatCursor cursor_for(int shape) {
  static constexpr PlatCursor kShapes[] = {
      PlatCursor::Arrow,     PlatCursor::Arrow,       PlatCursor::Hand,    PlatCursor::SizeNESW,
      PlatCursor::IBeam,     PlatCursor::SizeWE,      PlatCursor::Wait,    PlatCursor::SizeNS,
      PlatCursor::Crosshair, PlatCursor::SizeAll,     PlatCursor::UpArrow, PlatCursor::No,
      PlatCursor::SizeNWSE,  PlatCursor::AppStarting, PlatCursor::Help};
  if (shape < 1 || shape >= static_cast<int>(std::size(kShapes))) return PlatCursor::Arrow;
  return kShapes[shape];
}

// ShowCursor: changes the display count and shows the cursor while it is >= 0.
int show_cursor(bool show) {
  int& count = g_engine.input.cursor_count;
  count += show ? 1 : -1;
  plat_cursor_show(count >= 0);
  return count;
}

}  // namespace

void eng_input_devices_create() {
  InputState& input = g_engine.input;
  input.keyboard = true;
  input.mouse = true;
  input.mouse_dx = input.mouse_dy = input.mouse_wheel = 0;
  std::fill(std::begin(input.mouse_buttons), std::end(input.mouse_buttons), 0);
}

int eng_key_down(int key) {
  if (!read_keyboard()) return 0;
  const std::uint8_t* now = g_engine.input.keys_now;
  if (key == kAnyKey) return std::any_of(now, now + kPlatKeyCount, [](auto b) { return b != 0; });
  return valid_key(key) && now[key] != 0 ? 1 : 0;
}

int eng_key_hit(int key) {
  if (!read_keyboard() || !valid_key(key)) return 0;
  InputState& input = g_engine.input;
  if (input.keys_now[key] == input.keys_before[key]) return 0;
  const int hit = input.keys_now[key] == kPlatKeyDown ? 1 : 0;
  input.keys_before[key] = input.keys_now[key];
  return hit;
}

int eng_mouse_dx() {
  return g_engine.input.mouse ? g_engine.input.mouse_dx : 0;
}
int eng_mouse_dy() {
  return g_engine.input.mouse ? g_engine.input.mouse_dy : 0;
}

int eng_mouse_button(int button) {
  if (!g_engine.input.mouse || button < 0 || button >= 4) return 0;
  return g_engine.input.mouse_buttons[button] != 0 ? 1 : 0;
}

int eng_mouse_set_pos(int x, int y) {
  return plat_mouse_warp_global(x, y) ? 1 : 0;
}

int eng_desktop_mouse_x() {
  int x = 0, y = 0;
  plat_mouse_global(&x, &y);
  return x;
}

int eng_desktop_mouse_y() {
  int x = 0, y = 0;
  plat_mouse_global(&x, &y);
  return y;
}

int eng_cursor_set(int shape) {
  while (show_cursor(false) > 1) {
  }
  if (shape == 0) {
    show_cursor(false);
    return 1;
  }
  // The previous shape stands for the class cursor that SetClassLong returns.
  const int previous = g_engine.input.cursor_shape;
  plat_cursor_set(cursor_for(shape));
  g_engine.input.cursor_shape = shape;
  while (show_cursor(true) <= 0) {
  }
  return previous;
}
