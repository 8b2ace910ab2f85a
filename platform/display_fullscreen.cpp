// Full screen: a real display mode of the picture's size at 60 Hz where the
// display has one, else the desktop's own mode with the picture letterboxed.
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>

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
  int (*sync)(Display*, Bool);
  Atom (*intern_atom)(Display*, const char*, Bool);
  int (*get_property)(Display*, Window, Atom, long, long, Bool, Atom, Atom*, int*, unsigned long*,
                      unsigned long*, unsigned char**);
  int (*free)(void*);
  Window (*root)(Display*);
};

template <typename F>
void load(void* lib, F*& f, const char* name) {
  f = reinterpret_cast<F*>(SDL_LoadFunction(lib, name));
}

const X11Calls* x11_calls() {
  static const X11Calls calls = [] {
    X11Calls c{};
    void* lib = SDL_LoadObject("libX11.so.6");
    if (!lib) return c;
    load(lib, c.move_resize, "XMoveResizeWindow");
    load(lib, c.raise, "XRaiseWindow");
    load(lib, c.flush, "XFlush");
    load(lib, c.sync, "XSync");
    load(lib, c.intern_atom, "XInternAtom");
    load(lib, c.get_property, "XGetWindowProperty");
    load(lib, c.free, "XFree");
    load(lib, c.root, "XDefaultRootWindow");
    return c;
  }();
  const bool all = calls.move_resize && calls.raise && calls.flush && calls.sync &&
                   calls.intern_atom && calls.get_property && calls.free && calls.root;
  return all ? &calls : nullptr;
}

// The X display and window of an SDL window on X11; false elsewhere.
bool x11_window(PlatWindow* window, Display** display, Window* xwindow) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window->sdl, &info) || info.subsystem != SDL_SYSWM_X11) return false;
  *display = info.info.x11.display;
  *xwindow = info.info.x11.window;
  return true;
}

// Full screen on X11 is a request to the window manager; where none runs
// (kiosks, virtual displays) nothing would happen, so the window also asks
// for the display's whole area itself. A window manager treats that as the
// geometry full screen gives anyway. False when it could not ask.
bool cover_display(PlatWindow* window, int display) {
  Display* x = nullptr;
  Window w = 0;
  SDL_Rect bounds{};
  const X11Calls* x11 = x11_calls();
  if (!x11 || !x11_window(window, &x, &w) || SDL_GetDisplayBounds(display, &bounds) != 0)
    return false;
  x11->move_resize(x, w, bounds.x, bounds.y, static_cast<unsigned>(bounds.w),
                   static_cast<unsigned>(bounds.h));
  x11->raise(x, w);
  x11->sync(x, False);
  return true;
}

// Whether an EWMH window manager runs on the window's X display.
bool window_manager_runs(PlatWindow* window) {
  Display* x = nullptr;
  Window w = 0;
  const X11Calls* x11 = x11_calls();
  if (!x11 || !x11_window(window, &x, &w)) return true;  // not X11: SDL's own way
  const Atom check = x11->intern_atom(x, "_NET_SUPPORTING_WM_CHECK", False);
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const int rc = x11->get_property(x, x11->root(x), check, 0, 1, False, XA_WINDOW, &type, &format,
                                   &count, &after, &data);
  if (data) x11->free(data);
  return rc == Success && type == XA_WINDOW && count == 1;
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
  // Without a window manager SDL's request goes unanswered, and SDL waits
  // 100 ms for an answer before it returns; the window takes the display's
  // area itself there, and SDL learns its new size from the events.
  if (!window_manager_runs(window) && cover_display(window, window_display(window))) {
    SDL_PumpEvents();
    window->fullscreen = PlatFullscreen::Desktop;
    return window->fullscreen;
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
