// Engine-wide state shared by the engine's own files (not part of the public
// interface): the screen, the device, the object lists and input state.
#pragma once
#include <cstdint>

#include "runtime/lists.h"

struct PlatVideo;
struct PlatWindow;

struct ScreenState {
  PlatVideo* video;    // the device; null until a screen is open
  PlatWindow* window;  // the screen window (window number 0)
  std::intptr_t window_handle;
  int width, height;  // as requested
  int last_error;
  int device_status;        // non-zero: the device is not usable, nothing is drawn
  float frame_time;         // seconds between the last two flips; 0.016 at start
  std::uint64_t last_flip;  // 100-ns units
  int remembered_x, remembered_y;
  int windowed;          // 1 windowed, 0 full screen
  int vsync;             // 1 on
  int present_interval;  // EngPresentInterval kept for every reset
  int shown_fullscreen;  // how full screen is shown: 0 not, 1 real mode, 2 desktop
  int display_format;    // Direct3D format number the screen was asked for
};

// Present intervals (the Direct3D values the reset compares).
enum EngPresentInterval : int {
  kIntervalDefault = 0,
  kIntervalOne = 1,
  kIntervalImmediate = static_cast<int>(0x80000000u),
};

// Keyboard and mouse as the screen's input devices read them.
struct InputState {
  std::uint8_t* keys_now;     // 257 bytes each from the main heap; null before start-up
  std::uint8_t* keys_before;  // touched only by eng_key_hit, one key at a time
  std::int32_t mouse_dx, mouse_dy, mouse_wheel;
  std::uint8_t mouse_buttons[4];
  bool keyboard, mouse;  // devices made when the screen opened
  int cursor_count;      // the system's cursor display count: shown while >= 0
  int cursor_shape;      // shape last set (1 arrow at start)
};

struct EngineState {
  ScreenState screen;
  ListVar textures;
  ListVar sprites;
  ListVar draw_queue;
  ListVar boxes;
  ListVar fonts;
  ListVar text_queue;
  std::intptr_t current_font;
  bool started;  // core start-up ran
  InputState input;
  bool sound_object;  // an audio output existed at start-up
};

extern EngineState g_engine;

// The passes eng_render runs inside the frame, in this order (sprite, text,
// box); implemented beside the sprites, fonts and boxes they draw.
void eng_sprite_pass();
void eng_text_pass();
void eng_box_pass();

// The device reset of the screen with its reason (EngResetReason).
enum EngResetReason : int {
  kResetVsyncOn = 1,
  kResetVsyncOff = 2,
  kResetWindowed = 3,
  kResetFullscreen = 4,
  kResetAfterPresent = 5,
};
void eng_device_reset(int reason);
// The core start-up that eng_screen_open runs first: lists, key arrays,
// clocks, the audio check. 1, or 12 when a screen is open already.
int eng_core_startup();
// Makes the keyboard and mouse devices of an opened screen.
void eng_input_devices_create();
