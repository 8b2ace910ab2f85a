// Where the pointer is on an X display, asked of the X server each time.
// SDL answers a global mouse query from what its event queue last saw, and
// the queue sees no pointer that was moved (by the user, or by another
// program) while it was not being pumped.
#include <SDL.h>
#include <X11/Xlib.h>

#include <cstring>

#include "platform/display_internal.h"

namespace {
// Xlib calls, from the library SDL loads for its X11 driver.
struct PointerCalls {
  Display* (*open)(const char*);
  int (*close)(Display*);
  Window (*root)(Display*);
  Bool (*query)(Display*, Window, Window*, Window*, int*, int*, int*, int*, unsigned*);
};

const PointerCalls* pointer_calls() {
  static const PointerCalls calls = [] {
    PointerCalls c{};
    void* lib = SDL_LoadObject("libX11.so.6");
    if (!lib) return c;
    c.open = reinterpret_cast<decltype(c.open)>(SDL_LoadFunction(lib, "XOpenDisplay"));
    c.close = reinterpret_cast<decltype(c.close)>(SDL_LoadFunction(lib, "XCloseDisplay"));
    c.root = reinterpret_cast<decltype(c.root)>(SDL_LoadFunction(lib, "XDefaultRootWindow"));
    c.query = reinterpret_cast<decltype(c.query)>(SDL_LoadFunction(lib, "XQueryPointer"));
    return c;
  }();
  return calls.open && calls.close && calls.root && calls.query ? &calls : nullptr;
}

// A connection of our own: SDL's is only reachable through a window.
Display* g_display = nullptr;
}  // namespace

bool plat_x11_pointer(int* x, int* y) {
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver || std::strcmp(driver, "x11") != 0) return false;
  const PointerCalls* x11 = pointer_calls();
  if (!x11) return false;
  if (!g_display) g_display = x11->open(nullptr);
  if (!g_display) return false;
  Window root = 0, child = 0;
  int wx = 0, wy = 0;
  unsigned mask = 0;
  // Off this screen the call still gives the position on the pointer's own.
  x11->query(g_display, x11->root(g_display), &root, &child, x, y, &wx, &wy, &mask);
  return true;
}

void plat_x11_pointer_close() {
  if (g_display) pointer_calls()->close(g_display);
  g_display = nullptr;
}
