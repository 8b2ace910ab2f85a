// SDL windows for the display: creation with decorations and centring, full
// screen through a real mode or the desktop, the cursor and the global mouse.
#include "platform/display.h"

#include <SDL.h>
#include <errno.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/display_internal.h"
#include "platform/display_sdl_internal.h"
#include "platform/input.h"
#include "platform/log.h"
#include "platform/tape_seam_internal.h"
#include "platform/video.h"
#include "platform/video_device_internal.h"

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
bool g_pointer_hidden = false;  // the system cannot warp or read the pointer

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
// The line is made beforehand, in the channel's form.
char g_lost_line[256];
std::size_t g_lost_length = 0;

int on_display_lost(void*) {
  [[maybe_unused]] const ssize_t n = write(STDERR_FILENO, g_lost_line, g_lost_length);
  _exit(kPlatExitDisplayLost);
}

void catch_display_loss() {
  const int n = std::snprintf(g_lost_line, sizeof g_lost_line,
                              "%s: display: lost the connection to the X display; ending\n",
                              program_invocation_short_name);
  g_lost_length =
      n > 0 ? std::min<std::size_t>(static_cast<std::size_t>(n), sizeof g_lost_line - 1) : 0;
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
  plat_video_end_all();
  plat_x11_pointer_close();
  SDL_Quit();
}

// Why no display could be opened, in the user's terms: the variable to
// set, or the driver that was asked for and failed.
std::string g_no_display;

void note_no_display(const char* asked, const char* sdl_error) {
  const char* display = std::getenv("DISPLAY");
  if (asked && *asked)
    g_no_display = std::string("the video driver '") + asked + "' failed (SDL: " + sdl_error + ")";
  else if (!display || !*display)
    g_no_display = "DISPLAY is not set";
  else
    g_no_display = std::string("cannot open the X display DISPLAY=") + display;
}

}  // namespace

const char* plat_display_problem() {
  return g_no_display.c_str();
}

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
  const char* asked = SDL_getenv("SDL_VIDEODRIVER");
  bool up = false;
  {
    // Drivers that find no display complain on standard error themselves.
    PlatStderrMute mute;
    up = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
  }
  if (!up) {
    note_no_display(asked, SDL_GetError());
    return false;
  }
  // SDL falls back to drivers that show nothing when there is no display;
  // a window there could never be seen, closed or typed into. Use them only
  // when asked for by name.
  const char* driver = SDL_GetCurrentVideoDriver();
  const bool invisible =
      driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
  if (invisible && !(asked && std::strcmp(asked, driver) == 0)) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    note_no_display(nullptr, "only drivers that show nothing");
    return false;
  }
  probed_none = false;
  g_no_display.clear();
  g_video_up = true;
  catch_display_loss();
  static bool quit_registered = false;
  if (!quit_registered) {
    quit_registered = true;
    std::atexit(quit_at_exit);
  }
  return true;
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
  std::string gl_problem;
  if (!sdl && (sdl_flags & SDL_WINDOW_OPENGL)) {
    gl_problem = SDL_GetError();
    // No GL visual: the soft device can still present into a plain window.
    sdl = SDL_CreateWindow(title ? title : "", x, y, width, height,
                           sdl_flags & ~static_cast<Uint32>(SDL_WINDOW_OPENGL));
  }
  if (!sdl) return nullptr;
  auto* window = new PlatWindow{};
  window->sdl = sdl;
  window->flags = flags;
  std::snprintf(window->gl_problem, sizeof window->gl_problem, "%s", gl_problem.c_str());
  SDL_SetWindowData(sdl, kPlatWindowKey, window);
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
}

const char* plat_window_gl_problem(PlatWindow* window) {
  return window ? window->gl_problem : "";
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

bool plat_window_set_icon(PlatWindow* window, const PlatIcon& icon) {
  if (!window || !icon.rgba || icon.width <= 0 || icon.height <= 0) return false;
  // SDL copies the pixels into the window's property; the surface only
  // borrows them for the call.
  SDL_Surface* surface =
      SDL_CreateRGBSurfaceWithFormatFrom(const_cast<std::uint8_t*>(icon.rgba), icon.width,
                                         icon.height, 32, icon.width * 4, SDL_PIXELFORMAT_RGBA32);
  if (!surface) return false;
  SDL_SetWindowIcon(window->sdl, surface);
  SDL_FreeSurface(surface);
  window->icon = icon;
  return true;
}

PlatIcon plat_window_icon(PlatWindow* window) {
  return window ? window->icon : PlatIcon{};
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
  g_virtual_pointer = {x, y};
  if (!g_video_up || plat_input_is_scripted()) return true;
  // Wayland lets no client place or read the desktop pointer: the position
  // asked for stands in for it there.
  g_pointer_hidden = SDL_WarpMouseGlobal(x, y) != 0;
  return true;
}

void plat_mouse_global(int* x, int* y) {
  if (!g_video_up || plat_input_is_scripted() || g_pointer_hidden) {
    *x = g_virtual_pointer.x;
    *y = g_virtual_pointer.y;
  } else {
    *x = *y = 0;
    if (!plat_x11_pointer(x, y)) SDL_GetGlobalMouseState(x, y);
  }
  tape_seam_pointer(*x, *y);
}

void plat_desktop_size(int* width, int* height) {
  *width = *height = 0;
  SDL_DisplayMode mode{};
  if (g_video_up && SDL_GetDesktopDisplayMode(0, &mode) == 0) {
    *width = mode.w;
    *height = mode.h;
  }
}
