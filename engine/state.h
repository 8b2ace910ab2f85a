// Engine-wide state shared by the engine's own files (not part of the public
// interface): the screen, the device, the object lists and input state.
#pragma once
#include <cstdint>

#include "runtime/lists.h"

struct PlatVideo;
struct PlatWindow;

struct ScreenState {
  PlatVideo* video;          // the device; null until a screen is open
  PlatWindow* window;        // the screen window (window number 0)
  std::intptr_t window_handle;
  int width, height;         // as requested
  int last_error;
  int device_status;         // non-zero: the device is not usable, nothing is drawn
  float frame_time;          // seconds between the last two flips; 0.016 at start
  std::uint64_t last_flip;   // 100-ns units
  int remembered_x, remembered_y;
  int windowed;              // 1 windowed, 0 full screen
  int vsync;                 // 1 on
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
  bool started;              // core start-up ran
};

extern EngineState g_engine;

// The passes eng_render runs inside the frame, in this order (sprite, text,
// box); implemented beside the sprites, fonts and boxes they draw.
void eng_sprite_pass();
void eng_text_pass();
void eng_box_pass();
