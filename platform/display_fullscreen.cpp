// Full screen: a real display mode of the picture's size at 60 Hz where the
// display has one, else the desktop's own mode with the picture letterboxed.
#include <SDL.h>
#include <SDL_syswm.h>

#include "platform/display.h"
#include "platform/display_internal.h"

namespace {

constexpr int kWantedHz = 60;

int window_display(PlatWindow* window) {
  const int index = window ? SDL_GetWindowDisplayIndex(window->sdl) : 0;
  return index < 0 ? 0 : index;
}

// A mode that does not report its refresh rate counts as 60 Hz.
bool find_mode(int display, int width, int height, int refresh_hz, SDL_DisplayMode* out) {
  const int count = SDL_GetNumDisplayModes(display);
  for (int i = 0; i < count; ++i) {
    SDL_DisplayMode mode{};
    if (SDL_GetDisplayMode(display, i, &mode) != 0) continue;
    const int hz = mode.refresh_rate ? mode.refresh_rate : kWantedHz;
    if (mode.w == width && mode.h == height && hz == refresh_hz) {
      *out = mode;
      return true;
    }
  }
  return false;
}

// Xlib calls, taken from the library SDL already has loaded.
struct X11Calls {
  int (*move_resize)(Display*, Window, int, int, unsigned, unsigned);
  int (*raise)(Display*, Window);
  int (*flush)(Display*);
};

const X11Calls* x11_calls() {
  static const X11Calls calls = [] {
    X11Calls c{};
    void* lib = SDL_LoadObject("libX11.so.6");
    if (!lib) return c;
    c.move_resize =
        reinterpret_cast<decltype(c.move_resize)>(SDL_LoadFunction(lib, "XMoveResizeWindow"));
    c.raise = reinterpret_cast<decltype(c.raise)>(SDL_LoadFunction(lib, "XRaiseWindow"));
    c.flush = reinterpret_cast<decltype(c.flush)>(SDL_LoadFunction(lib, "XFlush"));
    return c;
  }();
  return calls.move_resize && calls.raise && calls.flush ? &calls : nullptr;
}

// Full screen on X11 is a request to the window manager; where none runs
// (kiosks, virtual displays) nothing would happen, so the window also asks
// for the display's whole area itself. A window manager treats that as the
// geometry full screen gives anyway.
void cover_display(PlatWindow* window, int display) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  SDL_Rect bounds{};
  if (!SDL_GetWindowWMInfo(window->sdl, &info) || info.subsystem != SDL_SYSWM_X11) return;
  if (SDL_GetDisplayBounds(display, &bounds) != 0) return;
  const X11Calls* x11 = x11_calls();
  if (!x11) return;
  x11->move_resize(info.info.x11.display, info.info.x11.window, bounds.x, bounds.y,
                   static_cast<unsigned>(bounds.w), static_cast<unsigned>(bounds.h));
  x11->raise(info.info.x11.display, info.info.x11.window);
  x11->flush(info.info.x11.display);
}

void remember_windowed(PlatWindow* window) {
  if (window->fullscreen != PlatFullscreen::Off) return;
  SDL_GetWindowPosition(window->sdl, &window->windowed_x, &window->windowed_y);
  SDL_GetWindowSize(window->sdl, &window->windowed_w, &window->windowed_h);
}

void restore_windowed(PlatWindow* window) {
  SDL_SetWindowFullscreen(window->sdl, 0);
  if (window->windowed_w > 0 && window->windowed_h > 0)
    SDL_SetWindowSize(window->sdl, window->windowed_w, window->windowed_h);
  SDL_SetWindowPosition(window->sdl, window->windowed_x, window->windowed_y);
  window->fullscreen = PlatFullscreen::Off;
}

}  // namespace

bool plat_display_has_mode(int width, int height, int refresh_hz) {
  if (!plat_display_init()) return false;
  SDL_DisplayMode mode{};
  return find_mode(0, width, height, refresh_hz, &mode);
}

bool plat_fullscreen_possible(int width, int height) {
  // The desktop fallback can show any picture that has a size at all.
  return width > 0 && height > 0 && plat_display_init();
}

PlatFullscreen plat_window_set_fullscreen(PlatWindow* window, bool on, int width, int height) {
  if (!window) return PlatFullscreen::Off;
  if (!on) {
    if (window->fullscreen != PlatFullscreen::Off) restore_windowed(window);
    return window->fullscreen;
  }
  if (!plat_fullscreen_possible(width, height)) return window->fullscreen;
  remember_windowed(window);
  SDL_DisplayMode mode{};
  if (find_mode(window_display(window), width, height, kWantedHz, &mode)) {
    SDL_SetWindowSize(window->sdl, width, height);
    if (SDL_SetWindowDisplayMode(window->sdl, &mode) == 0 &&
        SDL_SetWindowFullscreen(window->sdl, SDL_WINDOW_FULLSCREEN) == 0) {
      window->fullscreen = PlatFullscreen::Exclusive;
      cover_display(window, window_display(window));
      return window->fullscreen;
    }
  }
  if (SDL_SetWindowFullscreen(window->sdl, SDL_WINDOW_FULLSCREEN_DESKTOP) == 0) {
    window->fullscreen = PlatFullscreen::Desktop;
    cover_display(window, window_display(window));
  }
  return window->fullscreen;
}

PlatFullscreen plat_window_fullscreen(PlatWindow* window) {
  return window ? window->fullscreen : PlatFullscreen::Off;
}

int plat_window_refresh_hz(PlatWindow* window) {
  SDL_DisplayMode mode{};
  if (!plat_display_available()) return kWantedHz;
  const bool got = window && window->fullscreen == PlatFullscreen::Exclusive
                       ? SDL_GetWindowDisplayMode(window->sdl, &mode) == 0
                       : SDL_GetCurrentDisplayMode(window_display(window), &mode) == 0;
  return got && mode.refresh_rate > 0 ? mode.refresh_rate : kWantedHz;
}
