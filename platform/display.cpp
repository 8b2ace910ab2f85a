// SDL windows for the display: creation with decorations and centring, full
// screen through a real mode or the desktop, the cursor and the global mouse.
#include "platform/display.h"

#include <SDL.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "platform/display_internal.h"
#include "platform/display_sdl.h"
#include "platform/input.h"
#include "platform/video.h"
#include "platform/video_device.h"

#if defined(__SANITIZE_ADDRESS__)
// The session-bus library that SDL's video start-up connects through keeps a
// read buffer it never frees (outside our code, also after SDL_Quit). Weak,
// so that a program with suppressions of its own keeps them.
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() {
  return "leak:libdbus-1.so\n";
}
#endif

namespace {

bool g_video_up = false;
SDL_Point g_virtual_pointer{0, 0};
int g_window_count = 0;

void set_gl_attributes() {
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
}

// Top-left corner for a window of w × h centred on (or inside) a rectangle.
void centre_in(const SDL_Rect& area, int w, int h, int* x, int* y) {
  *x = area.x + (area.w - w) / 2;
  *y = area.y + (area.h - h) / 2;
}

// A lost X connection ends the program here and now. Xlib's own handler
// calls exit(), whose clean-up talks to the dead display again, or waits for
// the render thread stuck inside the driver: the program would hang. The
// message and _exit are all that is safe from here, on whichever thread.
int on_display_lost(void*) {
  static const char kMessage[] = "lost the connection to the X display; ending\n";
  [[maybe_unused]] const ssize_t n = write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
  _exit(kPlatExitDisplayLost);
}

void catch_display_loss() {
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver || std::strcmp(driver, "x11") != 0) return;
  void* lib = SDL_LoadObject("libX11.so.6");
  using Handler = int (*)(void*);
  auto set = reinterpret_cast<Handler (*)(Handler)>(
      lib ? SDL_LoadFunction(lib, "XSetIOErrorHandler") : nullptr);
  if (set) set(on_display_lost);
}

// SDL keeps process-wide state (threads, the session-bus connection) until
// SDL_Quit; ending it at exit stops leak checkers reporting it as lost.
// Closing the display tears the OpenGL driver down: a render thread still
// drawing then can make the driver crash or wait forever for its own threads.
void quit_at_exit() {
  plat_video_gl_end_all();
  plat_x11_pointer_close();
  SDL_Quit();
}

}  // namespace

bool plat_display_init() {
  if (g_video_up) return true;
  // Probing for a display is slow and noisy; a process without one keeps
  // running without.
  static bool probed_none = false;
  if (probed_none) return false;
  probed_none = true;
  // A CPU-drawn picture goes to the window as it is (XShm and the like),
  // not through an OpenGL texture of SDL's own.
  SDL_SetHintWithPriority(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0", SDL_HINT_DEFAULT);
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
  // SDL falls back to drivers that show nothing when there is no display;
  // a window there could never be seen, closed or typed into. Use them only
  // when asked for by name.
  const char* driver = SDL_GetCurrentVideoDriver();
  const char* asked = SDL_getenv("SDL_VIDEODRIVER");
  const bool invisible =
      driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
  if (invisible && !(asked && std::strcmp(asked, driver) == 0)) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return false;
  }
  probed_none = false;
  g_video_up = true;
  catch_display_loss();
  static bool quit_registered = false;
  if (!quit_registered) {
    quit_registered = true;
    std::atexit(quit_at_exit);
  }
  return true;
}

void plat_display_quit() {
  if (!g_video_up || g_window_count > 0) return;
  plat_x11_pointer_close();
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  g_video_up = false;
}

bool plat_display_available() {
  return g_video_up;
}

PlatWindow* plat_window_create(const char* title, int x, int y, int width, int height,
                               unsigned flags, PlatWindow* parent) {
  if (width <= 0 || height <= 0 || !plat_display_init()) return nullptr;
  Uint32 sdl_flags = SDL_WINDOW_HIDDEN;
  if (!(flags & kPlatWindowDecorated)) sdl_flags |= SDL_WINDOW_BORDERLESS;
  if (flags & kPlatWindowResizable) sdl_flags |= SDL_WINDOW_RESIZABLE;
  if (flags & kPlatWindowUtility) sdl_flags |= SDL_WINDOW_UTILITY;
  if (plat_video_gl_wanted()) {
    set_gl_attributes();
    sdl_flags |= SDL_WINDOW_OPENGL;
  }
  if (flags & kPlatWindowCentred) {
    SDL_Rect area{};
    if (parent) {
      SDL_GetWindowPosition(parent->sdl, &area.x, &area.y);
      SDL_GetWindowSize(parent->sdl, &area.w, &area.h);
    } else {
      plat_desktop_size(&area.w, &area.h);
    }
    centre_in(area, width, height, &x, &y);
  } else if (flags & kPlatWindowDefaultPos) {
    x = y = SDL_WINDOWPOS_UNDEFINED;
  }
  SDL_Window* sdl = SDL_CreateWindow(title ? title : "", x, y, width, height, sdl_flags);
  if (!sdl && (sdl_flags & SDL_WINDOW_OPENGL)) {
    // No GL visual: the soft device can still present into a plain window.
    sdl = SDL_CreateWindow(title ? title : "", x, y, width, height,
                           sdl_flags & ~static_cast<Uint32>(SDL_WINDOW_OPENGL));
  }
  if (!sdl) return nullptr;
  auto* window = new PlatWindow{};
  window->sdl = sdl;
  window->flags = flags;
  SDL_SetWindowData(sdl, kPlatWindowKey, window);
  ++g_window_count;
  if (!(flags & kPlatWindowHidden)) SDL_ShowWindow(sdl);
  return window;
}

void plat_window_set_destroy_hook(PlatWindow* window, PlatWindowDestroyHook hook, void* context) {
  if (!window) return;
  window->destroy_hook = hook;
  window->destroy_context = context;
}

void plat_window_destroy(PlatWindow* window) {
  if (!window) return;
  if (window->destroy_hook) window->destroy_hook(window->destroy_context);
  if (window->grab_wanted && window->focused) SDL_SetRelativeMouseMode(SDL_FALSE);
  SDL_DestroyWindow(window->sdl);
  delete window;
  --g_window_count;
}

SDL_Window* plat_window_sdl(PlatWindow* window) {
  return window ? window->sdl : nullptr;
}

void plat_window_show(PlatWindow* window, bool shown) {
  if (!window) return;
  if (shown)
    SDL_ShowWindow(window->sdl);
  else
    SDL_HideWindow(window->sdl);
}

bool plat_window_visible(PlatWindow* window) {
  return window && (SDL_GetWindowFlags(window->sdl) & SDL_WINDOW_SHOWN) != 0;
}

bool plat_window_decorated(PlatWindow* window) {
  return window && (SDL_GetWindowFlags(window->sdl) & SDL_WINDOW_BORDERLESS) == 0;
}

void plat_window_set_title(PlatWindow* window, const char* title) {
  if (window) SDL_SetWindowTitle(window->sdl, title ? title : "");
}

void plat_window_position(PlatWindow* window, int* x, int* y) {
  *x = *y = 0;
  if (window) SDL_GetWindowPosition(window->sdl, x, y);
}

void plat_window_outer_position(PlatWindow* window, int* x, int* y) {
  plat_window_position(window, x, y);
  int top = 0, left = 0;
  if (window && SDL_GetWindowBordersSize(window->sdl, &top, &left, nullptr, nullptr) == 0) {
    *x -= left;
    *y -= top;
  }
}

void plat_window_maximize(PlatWindow* window) {
  if (window) SDL_MaximizeWindow(window->sdl);
}

void plat_window_minimize(PlatWindow* window) {
  if (window) SDL_MinimizeWindow(window->sdl);
}

void plat_window_move(PlatWindow* window, int x, int y) {
  if (window) SDL_SetWindowPosition(window->sdl, x, y);
}

void plat_window_size(PlatWindow* window, int* width, int* height) {
  *width = *height = 0;
  if (window) SDL_GetWindowSize(window->sdl, width, height);
}

void plat_window_drawable_size(PlatWindow* window, int* width, int* height) {
  *width = *height = 0;
  if (window) SDL_GetWindowSizeInPixels(window->sdl, width, height);
}

std::uint32_t plat_window_id(PlatWindow* window) {
  return window ? SDL_GetWindowID(window->sdl) : 0;
}

PlatRect plat_letterbox(int src_w, int src_h, int dst_w, int dst_h) {
  if (src_w <= 0 || src_h <= 0 || dst_w <= 0 || dst_h <= 0) return {0, 0, 0, 0};
  // Compare src_w / src_h with dst_w / dst_h in integers to keep exact fits exact.
  const long long lhs = static_cast<long long>(dst_w) * src_h;
  const long long rhs = static_cast<long long>(dst_h) * src_w;
  PlatRect r{};
  if (lhs <= rhs) {  // width limits
    r.width = dst_w;
    r.height = static_cast<int>(static_cast<long long>(src_h) * dst_w / src_w);
  } else {
    r.height = dst_h;
    r.width = static_cast<int>(static_cast<long long>(src_w) * dst_h / src_h);
  }
  r.x = (dst_w - r.width) / 2;
  r.y = (dst_h - r.height) / 2;
  return r;
}

void plat_cursor_show(bool shown) {
  if (g_video_up) SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE);
}

bool plat_cursor_shown() {
  return g_video_up && SDL_ShowCursor(SDL_QUERY) == SDL_ENABLE;
}

bool plat_cursor_set(PlatCursor shape) {
  if (!g_video_up) return false;
  static std::array<SDL_Cursor*, 14> cursors{};
  static constexpr SDL_SystemCursor kSystem[] = {
      SDL_SYSTEM_CURSOR_ARROW,     SDL_SYSTEM_CURSOR_IBEAM,  SDL_SYSTEM_CURSOR_WAIT,
      SDL_SYSTEM_CURSOR_CROSSHAIR, SDL_SYSTEM_CURSOR_ARROW,  SDL_SYSTEM_CURSOR_SIZENWSE,
      SDL_SYSTEM_CURSOR_SIZENESW,  SDL_SYSTEM_CURSOR_SIZEWE, SDL_SYSTEM_CURSOR_SIZENS,
      SDL_SYSTEM_CURSOR_SIZEALL,   SDL_SYSTEM_CURSOR_NO,     SDL_SYSTEM_CURSOR_HAND,
      SDL_SYSTEM_CURSOR_WAITARROW, SDL_SYSTEM_CURSOR_ARROW};
  const auto index = static_cast<std::size_t>(shape);
  if (index >= cursors.size()) return false;
  if (!cursors[index]) cursors[index] = SDL_CreateSystemCursor(kSystem[index]);
  if (!cursors[index]) return false;
  SDL_SetCursor(cursors[index]);
  return true;
}

bool plat_mouse_warp_global(int x, int y) {
  if (!g_video_up || plat_input_is_scripted()) {
    g_virtual_pointer = {x, y};
    return true;
  }
  return SDL_WarpMouseGlobal(x, y) == 0;
}

void plat_mouse_global(int* x, int* y) {
  if (!g_video_up || plat_input_is_scripted()) {
    *x = g_virtual_pointer.x;
    *y = g_virtual_pointer.y;
    return;
  }
  *x = *y = 0;
  if (!plat_x11_pointer(x, y)) SDL_GetGlobalMouseState(x, y);
}

void plat_desktop_size(int* width, int* height) {
  *width = *height = 0;
  SDL_DisplayMode mode{};
  if (g_video_up && SDL_GetDesktopDisplayMode(0, &mode) == 0) {
    *width = mode.w;
    *height = mode.h;
  }
}
