// Keyboard and mouse state fed by SDL events or by a test script, and the
// table from SDL scancodes (physical keys) to DIK_ codes.
#include "platform/input.h"

#include <SDL.h>

#include "platform/display.h"
#include "platform/tape_seam_internal.h"

namespace {

struct KeyPair {
  SDL_Scancode scancode;
  int dik;
};

// Every key of a standard 105-key keyboard plus the common extra keys that
// DirectInput names. Two scancodes may share a DIK_ code (the ISO key beside
// Return is DIK_BACKSLASH, as on the PC scan-code set).
// clang-format off
constexpr KeyPair kKeyTable[] = {
  {SDL_SCANCODE_ESCAPE, DIK_ESCAPE}, {SDL_SCANCODE_1, DIK_1}, {SDL_SCANCODE_2, DIK_2},
  {SDL_SCANCODE_3, DIK_3}, {SDL_SCANCODE_4, DIK_4}, {SDL_SCANCODE_5, DIK_5},
  {SDL_SCANCODE_6, DIK_6}, {SDL_SCANCODE_7, DIK_7}, {SDL_SCANCODE_8, DIK_8},
  {SDL_SCANCODE_9, DIK_9}, {SDL_SCANCODE_0, DIK_0}, {SDL_SCANCODE_MINUS, DIK_MINUS},
  {SDL_SCANCODE_EQUALS, DIK_EQUALS}, {SDL_SCANCODE_BACKSPACE, DIK_BACK},
  {SDL_SCANCODE_TAB, DIK_TAB}, {SDL_SCANCODE_Q, DIK_Q}, {SDL_SCANCODE_W, DIK_W},
  {SDL_SCANCODE_E, DIK_E}, {SDL_SCANCODE_R, DIK_R}, {SDL_SCANCODE_T, DIK_T},
  {SDL_SCANCODE_Y, DIK_Y}, {SDL_SCANCODE_U, DIK_U}, {SDL_SCANCODE_I, DIK_I},
  {SDL_SCANCODE_O, DIK_O}, {SDL_SCANCODE_P, DIK_P}, {SDL_SCANCODE_LEFTBRACKET, DIK_LBRACKET},
  {SDL_SCANCODE_RIGHTBRACKET, DIK_RBRACKET}, {SDL_SCANCODE_RETURN, DIK_RETURN},
  {SDL_SCANCODE_LCTRL, DIK_LCONTROL}, {SDL_SCANCODE_A, DIK_A}, {SDL_SCANCODE_S, DIK_S},
  {SDL_SCANCODE_D, DIK_D}, {SDL_SCANCODE_F, DIK_F}, {SDL_SCANCODE_G, DIK_G},
  {SDL_SCANCODE_H, DIK_H}, {SDL_SCANCODE_J, DIK_J}, {SDL_SCANCODE_K, DIK_K},
  {SDL_SCANCODE_L, DIK_L}, {SDL_SCANCODE_SEMICOLON, DIK_SEMICOLON},
  {SDL_SCANCODE_APOSTROPHE, DIK_APOSTROPHE}, {SDL_SCANCODE_GRAVE, DIK_GRAVE},
  {SDL_SCANCODE_LSHIFT, DIK_LSHIFT}, {SDL_SCANCODE_BACKSLASH, DIK_BACKSLASH},
  {SDL_SCANCODE_NONUSHASH, DIK_BACKSLASH}, {SDL_SCANCODE_Z, DIK_Z}, {SDL_SCANCODE_X, DIK_X},
  {SDL_SCANCODE_C, DIK_C}, {SDL_SCANCODE_V, DIK_V}, {SDL_SCANCODE_B, DIK_B},
  {SDL_SCANCODE_N, DIK_N}, {SDL_SCANCODE_M, DIK_M}, {SDL_SCANCODE_COMMA, DIK_COMMA},
  {SDL_SCANCODE_PERIOD, DIK_PERIOD}, {SDL_SCANCODE_SLASH, DIK_SLASH},
  {SDL_SCANCODE_RSHIFT, DIK_RSHIFT}, {SDL_SCANCODE_KP_MULTIPLY, DIK_MULTIPLY},
  {SDL_SCANCODE_LALT, DIK_LMENU}, {SDL_SCANCODE_SPACE, DIK_SPACE},
  {SDL_SCANCODE_CAPSLOCK, DIK_CAPITAL}, {SDL_SCANCODE_F1, DIK_F1}, {SDL_SCANCODE_F2, DIK_F2},
  {SDL_SCANCODE_F3, DIK_F3}, {SDL_SCANCODE_F4, DIK_F4}, {SDL_SCANCODE_F5, DIK_F5},
  {SDL_SCANCODE_F6, DIK_F6}, {SDL_SCANCODE_F7, DIK_F7}, {SDL_SCANCODE_F8, DIK_F8},
  {SDL_SCANCODE_F9, DIK_F9}, {SDL_SCANCODE_F10, DIK_F10},
  {SDL_SCANCODE_NUMLOCKCLEAR, DIK_NUMLOCK}, {SDL_SCANCODE_SCROLLLOCK, DIK_SCROLL},
  {SDL_SCANCODE_KP_7, DIK_NUMPAD7}, {SDL_SCANCODE_KP_8, DIK_NUMPAD8},
  {SDL_SCANCODE_KP_9, DIK_NUMPAD9}, {SDL_SCANCODE_KP_MINUS, DIK_SUBTRACT},
  {SDL_SCANCODE_KP_4, DIK_NUMPAD4}, {SDL_SCANCODE_KP_5, DIK_NUMPAD5},
  {SDL_SCANCODE_KP_6, DIK_NUMPAD6}, {SDL_SCANCODE_KP_PLUS, DIK_ADD},
  {SDL_SCANCODE_KP_1, DIK_NUMPAD1}, {SDL_SCANCODE_KP_2, DIK_NUMPAD2},
  {SDL_SCANCODE_KP_3, DIK_NUMPAD3}, {SDL_SCANCODE_KP_0, DIK_NUMPAD0},
  {SDL_SCANCODE_KP_PERIOD, DIK_DECIMAL}, {SDL_SCANCODE_NONUSBACKSLASH, DIK_OEM_102},
  {SDL_SCANCODE_F11, DIK_F11}, {SDL_SCANCODE_F12, DIK_F12}, {SDL_SCANCODE_F13, DIK_F13},
  {SDL_SCANCODE_F14, DIK_F14}, {SDL_SCANCODE_F15, DIK_F15},
  {SDL_SCANCODE_INTERNATIONAL2, DIK_KANA}, {SDL_SCANCODE_INTERNATIONAL1, DIK_ABNT_C1},
  {SDL_SCANCODE_INTERNATIONAL4, DIK_CONVERT}, {SDL_SCANCODE_INTERNATIONAL5, DIK_NOCONVERT},
  {SDL_SCANCODE_INTERNATIONAL3, DIK_YEN}, {SDL_SCANCODE_KP_COMMA, DIK_ABNT_C2},
  {SDL_SCANCODE_KP_EQUALS, DIK_NUMPADEQUALS}, {SDL_SCANCODE_AUDIOPREV, DIK_PREVTRACK},
  {SDL_SCANCODE_AUDIONEXT, DIK_NEXTTRACK}, {SDL_SCANCODE_KP_ENTER, DIK_NUMPADENTER},
  {SDL_SCANCODE_RCTRL, DIK_RCONTROL}, {SDL_SCANCODE_AUDIOMUTE, DIK_MUTE},
  {SDL_SCANCODE_MUTE, DIK_MUTE}, {SDL_SCANCODE_CALCULATOR, DIK_CALCULATOR},
  {SDL_SCANCODE_AUDIOPLAY, DIK_PLAYPAUSE}, {SDL_SCANCODE_AUDIOSTOP, DIK_MEDIASTOP},
  {SDL_SCANCODE_VOLUMEDOWN, DIK_VOLUMEDOWN}, {SDL_SCANCODE_VOLUMEUP, DIK_VOLUMEUP},
  {SDL_SCANCODE_AC_HOME, DIK_WEBHOME}, {SDL_SCANCODE_KP_DIVIDE, DIK_DIVIDE},
  {SDL_SCANCODE_PRINTSCREEN, DIK_SYSRQ}, {SDL_SCANCODE_SYSREQ, DIK_SYSRQ},
  {SDL_SCANCODE_RALT, DIK_RMENU}, {SDL_SCANCODE_PAUSE, DIK_PAUSE},
  {SDL_SCANCODE_HOME, DIK_HOME}, {SDL_SCANCODE_UP, DIK_UP}, {SDL_SCANCODE_PAGEUP, DIK_PRIOR},
  {SDL_SCANCODE_LEFT, DIK_LEFT}, {SDL_SCANCODE_RIGHT, DIK_RIGHT}, {SDL_SCANCODE_END, DIK_END},
  {SDL_SCANCODE_DOWN, DIK_DOWN}, {SDL_SCANCODE_PAGEDOWN, DIK_NEXT},
  {SDL_SCANCODE_INSERT, DIK_INSERT}, {SDL_SCANCODE_DELETE, DIK_DELETE},
  {SDL_SCANCODE_LGUI, DIK_LWIN}, {SDL_SCANCODE_RGUI, DIK_RWIN},
  {SDL_SCANCODE_APPLICATION, DIK_APPS}, {SDL_SCANCODE_POWER, DIK_POWER},
  {SDL_SCANCODE_SLEEP, DIK_SLEEP}, {SDL_SCANCODE_AC_SEARCH, DIK_WEBSEARCH},
  {SDL_SCANCODE_AC_BOOKMARKS, DIK_WEBFAVORITES}, {SDL_SCANCODE_AC_REFRESH, DIK_WEBREFRESH},
  {SDL_SCANCODE_AC_STOP, DIK_WEBSTOP}, {SDL_SCANCODE_AC_FORWARD, DIK_WEBFORWARD},
  {SDL_SCANCODE_AC_BACK, DIK_WEBBACK}, {SDL_SCANCODE_COMPUTER, DIK_MYCOMPUTER},
  {SDL_SCANCODE_MAIL, DIK_MAIL}, {SDL_SCANCODE_MEDIASELECT, DIK_MEDIASELECT},
};
// clang-format on

constexpr std::array<std::uint8_t, SDL_NUM_SCANCODES> make_dik_by_scancode() {
  std::array<std::uint8_t, SDL_NUM_SCANCODES> table{};
  for (const auto& pair : kKeyTable) table[pair.scancode] = static_cast<std::uint8_t>(pair.dik);
  return table;
}
constexpr auto kDikByScancode = make_dik_by_scancode();

struct InputState {
  PlatKeyState keys{};
  PlatMouseState mouse{};
  // Held keys are counted per DIK_ code: two physical keys may share one.
  std::array<std::uint8_t, kPlatKeyCount> held{};
};

InputState g_real;
InputState g_script;
bool g_scripted = false;

void set_key(InputState& state, int dik, bool down) {
  if (dik <= 0 || dik >= kPlatKeyCount) return;
  auto& count = state.held[dik];
  if (down && count < 255) ++count;
  if (!down && count > 0) --count;
  state.keys[dik] = count ? kPlatKeyDown : 0;
}

void set_button(InputState& state, int button, bool down) {
  if (button < 0 || button >= 4) return;
  state.mouse.buttons[button] = down ? kPlatKeyDown : 0;
}

bool poll_from(InputState& state, PlatMouseState& out) {
  out = state.mouse;
  state.mouse.dx = state.mouse.dy = state.mouse.wheel = 0;
  return true;
}

}  // namespace

int plat_dik_from_scancode(int sdl_scancode) {
  if (sdl_scancode <= 0 || sdl_scancode >= SDL_NUM_SCANCODES) return 0;
  return kDikByScancode[sdl_scancode];
}

int plat_scancode_from_dik(int dik) {
  for (const auto& pair : kKeyTable)
    if (pair.dik == dik) return pair.scancode;
  return 0;
}

bool plat_keyboard_read(PlatKeyState& out) {
  bool have = true;
  if (g_scripted) {
    out = g_script.keys;
  } else if (plat_display_available()) {
    plat_events_pump();
    out = g_real.keys;
  } else {
    out = PlatKeyState{};
    have = false;
  }
  if (!tape_seam_on()) return have;
  tape_seam_keys(out);
  return true;
}

bool plat_mouse_poll(PlatMouseState& out) {
  bool have = true;
  if (g_scripted) {
    poll_from(g_script, out);
  } else if (plat_display_available()) {
    plat_events_pump();
    poll_from(g_real, out);
  } else {
    out = PlatMouseState{};
    have = false;
  }
  if (!tape_seam_on()) return have;
  tape_seam_mouse(out);
  return true;
}

void plat_input_clear() {
  g_real = InputState{};
  g_script = InputState{};
}

void plat_input_on_key(int sdl_scancode, bool down) {
  set_key(g_real, plat_dik_from_scancode(sdl_scancode), down);
}

void plat_input_on_motion(int dx, int dy) {
  g_real.mouse.dx += dx;
  g_real.mouse.dy += dy;
}

void plat_input_on_wheel(int dy) {
  g_real.mouse.wheel += dy;
}

void plat_input_on_button(int sdl_button, bool down) {
  // DirectInput orders the buttons left, right, middle.
  static constexpr int kDiButton[] = {-1, 0, 2, 1, 3};
  if (sdl_button < 1 || sdl_button > 4) return;
  set_button(g_real, kDiButton[sdl_button], down);
}

void plat_input_use_scripted() {
  g_script = InputState{};
  g_scripted = true;
}
void plat_input_use_real() {
  g_scripted = false;
}
bool plat_input_is_scripted() {
  return g_scripted;
}

void plat_input_script_key(int dik, bool down) {
  if (dik <= 0 || dik >= kPlatKeyCount) return;
  g_script.held[dik] = down ? 1 : 0;
  g_script.keys[dik] = down ? kPlatKeyDown : 0;
}

void plat_input_script_motion(int dx, int dy, int wheel) {
  g_script.mouse.dx += dx;
  g_script.mouse.dy += dy;
  g_script.mouse.wheel += wheel;
}

void plat_input_script_button(int button, bool down) {
  set_button(g_script, button, down);
}
