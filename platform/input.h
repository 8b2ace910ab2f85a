// Keyboard and mouse in DirectInput's shape: a 256-byte key state indexed by
// DIK_ code (0x80 down) and relative mouse motion accumulated between polls.
// The source is either the real one (SDL events through the display's event
// pump) or a scripted one that tests drive directly.
#pragma once
#include <array>
#include <cstdint>

#include "platform/input_keys.h"

using PlatKeyState = std::array<std::uint8_t, kPlatKeyCount>;

struct PlatMouseState {
  std::int32_t dx, dy, wheel;           // motion since the previous poll
  std::array<std::uint8_t, 4> buttons;  // 0x80 down: left, right, middle, fourth
};

// Reads the keyboard now (pumping pending events first). False when there is
// no keyboard to read: no display and no script.
bool plat_keyboard_read(PlatKeyState& out);
// Returns the motion gathered since the previous poll and the buttons now,
// and starts gathering afresh. False when there is no mouse to read.
bool plat_mouse_poll(PlatMouseState& out);
// Forgets held keys, buttons and gathered motion (focus loss, tests).
void plat_input_clear();

// DIK_ code of an SDL scancode, 0 for keys a 105-key keyboard does not have.
int plat_dik_from_scancode(int sdl_scancode);
// The first SDL scancode that gives this DIK_ code, 0 for none.
int plat_scancode_from_dik(int dik);

// Called by the display's event pump with what SDL reported.
void plat_input_on_key(int sdl_scancode, bool down);
void plat_input_on_motion(int dx, int dy);
void plat_input_on_wheel(int dy);
// SDL button numbers: 1 left, 2 middle, 3 right, 4 X1.
void plat_input_on_button(int sdl_button, bool down);

// Scripted source: once installed, key reads and mouse polls come from the
// script and real events are ignored, until the real source is back.
void plat_input_use_scripted();
void plat_input_use_real();
bool plat_input_is_scripted();
void plat_input_script_key(int dik, bool down);
// Adds motion that the next poll reports.
void plat_input_script_motion(int dx, int dy, int wheel = 0);
// button: 0 left, 1 right, 2 middle, 3 fourth (DirectInput's order).
void plat_input_script_button(int button, bool down);
