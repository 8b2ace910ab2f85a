// The event pump: close requests, focus and the pointer grab, and keyboard and
// mouse events handed to the input state.
#include <SDL.h>

#include <atomic>

#include "platform/audio.h"
#include "platform/clock.h"
#include "platform/display.h"
#include "platform/display_internal.h"
#include "platform/input.h"
#include "platform/tape_seam_internal.h"

namespace {

bool g_quit = false;
bool g_last_pump_empty = false;
std::atomic<std::uint64_t> g_last_present_100ns{0};
// A loop that presented a frame this recently is running, not idle.
constexpr std::uint64_t kIdleAfter100ns = 50 * 10'000;
PlatWindowEventHook g_hook = nullptr;

PlatWindow* from_id(Uint32 id) {
  SDL_Window* sdl = SDL_GetWindowFromID(id);
  return sdl ? static_cast<PlatWindow*>(SDL_GetWindowData(sdl, kPlatWindowKey)) : nullptr;
}

void report(PlatWindow* window, PlatWindowEvent event, int a = 0, int b = 0) {
  if (g_hook) g_hook(window, event, a, b);
}

void on_window_event(const SDL_WindowEvent& e) {
  PlatWindow* window = from_id(e.windowID);
  if (!window) return;
  switch (e.event) {
    case SDL_WINDOWEVENT_CLOSE:
      window->close_requested = true;
      report(window, PlatWindowEvent::Close);
      break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
      window->focused = true;
      if (window->grab_wanted) SDL_SetRelativeMouseMode(SDL_TRUE);
      report(window, PlatWindowEvent::FocusGained);
      break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
      window->focused = false;
      // Let the pointer go so the user can always leave the window.
      if (window->grab_wanted) SDL_SetRelativeMouseMode(SDL_FALSE);
      report(window, PlatWindowEvent::FocusLost);
      break;
    case SDL_WINDOWEVENT_MOVED:
      report(window, PlatWindowEvent::Moved, e.data1, e.data2);
      break;
    case SDL_WINDOWEVENT_SIZE_CHANGED:
      report(window, PlatWindowEvent::Resized, e.data1, e.data2);
      break;
    default:
      break;
  }
}

void on_event(const SDL_Event& e) {
  switch (e.type) {
    case SDL_QUIT:
      g_quit = true;
      break;
    case SDL_WINDOWEVENT:
      on_window_event(e.window);
      break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      if (!e.key.repeat) plat_input_on_key(e.key.keysym.scancode, e.type == SDL_KEYDOWN);
      break;
    case SDL_MOUSEMOTION:
      plat_input_on_motion(e.motion.xrel, e.motion.yrel);
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      plat_input_on_button(e.button.button, e.type == SDL_MOUSEBUTTONDOWN);
      break;
    case SDL_MOUSEWHEEL:
      plat_input_on_wheel(e.wheel.y);
      break;
    case SDL_AUDIODEVICEREMOVED:
      if (!e.adevice.iscapture) plat_audio_device_removed(e.adevice.which);
      break;
    case SDL_AUDIODEVICEADDED:
      if (!e.adevice.iscapture) plat_audio_device_added();
      break;
    default:
      break;
  }
}

}  // namespace

void plat_events_note_present() {
  g_last_present_100ns.store(plat_time_untaped_100ns(), std::memory_order_relaxed);
}

void plat_events_pump() {
  if (!plat_display_available()) return;
  // A virtual clock means a test steps time itself: it never waits.
  const bool wait =
      g_last_pump_empty && !plat_clock_is_virtual() &&
      plat_time_untaped_100ns() - g_last_present_100ns.load(std::memory_order_relaxed) >
          kIdleAfter100ns;
  SDL_Event e;
  bool any = wait ? SDL_WaitEventTimeout(&e, kPlatIdleWaitMs) != 0 : SDL_PollEvent(&e) != 0;
  g_last_pump_empty = !any;
  while (any) {
    on_event(e);
    any = SDL_PollEvent(&e) != 0;
  }
}

void plat_window_post_close(PlatWindow* window) {
  if (!window) return;
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.event = SDL_WINDOWEVENT_CLOSE;
  e.window.windowID = SDL_GetWindowID(window->sdl);
  SDL_PushEvent(&e);
}

bool plat_quit_requested() {
  return tape_seam_quit(g_quit);
}

void plat_display_set_event_hook(PlatWindowEventHook hook) {
  g_hook = hook;
}

bool plat_window_close_requested(PlatWindow* window) {
  return tape_seam_close(window && window->close_requested);
}

void plat_window_clear_close_request(PlatWindow* window) {
  if (window) window->close_requested = false;
}

bool plat_window_has_focus(PlatWindow* window) {
  return window && window->focused;
}

void plat_window_set_mouse_grab(PlatWindow* window, bool grab) {
  if (!window) return;
  window->grab_wanted = grab;
  if (window->focused) SDL_SetRelativeMouseMode(grab ? SDL_TRUE : SDL_FALSE);
}

bool plat_mouse_grabbed() {
  return plat_display_available() && SDL_GetRelativeMouseMode() == SDL_TRUE;
}

void plat_window_focus(PlatWindow* window) {
  if (!window) return;
  SDL_RaiseWindow(window->sdl);
  SDL_SetWindowInputFocus(window->sdl);
}
