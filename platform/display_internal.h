// Internal to the display files: the record behind a PlatWindow.
#pragma once
#include "platform/display.h"

struct SDL_Window;

struct PlatWindow {
  SDL_Window* sdl;
  unsigned flags;  // PlatWindowFlag bits it was created with
  bool close_requested;
  bool focused;
  bool grab_wanted;  // relative mouse while focused
  PlatFullscreen fullscreen;
  int windowed_x, windowed_y;  // client geometry to restore after full screen
  int windowed_w, windowed_h;
  PlatWindowDestroyHook destroy_hook;  // told before the window goes
  void* destroy_context;
  PlatIcon icon;         // the last one set, for callers that check
  char gl_problem[256];  // SDL's reason when the window could not have OpenGL
};

// Key of the SDL window data that leads back to the PlatWindow.
inline constexpr const char* kPlatWindowKey = "plat_window";

// The pointer's position on the X display, asked of the server now; false
// when the video driver is not X11 (display_pointer.cpp).
bool plat_x11_pointer(int* x, int* y);
void plat_x11_pointer_close();
