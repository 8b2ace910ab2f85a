// Opening the screen: the windowed and full-screen set-ups over window number
// 0 and the video device. Without a display the screen is a device with no
// window, so the engine also runs headless (tests, benchmarks).
#include "engine/engine.h"
#include "engine/objects_internal.h"
#include "engine/state_internal.h"
#include "platform/display.h"
#include "platform/video.h"
#include "window/window.h"

namespace {

constexpr std::uint32_t kWindowedFlags[] = {0x00C00001, 0x00CA0001, 0x00CB0001};

int clamp_mode(int mode) {
  if (mode < -1) return 0;
  if (mode > 3) return 1;
  return mode;
}

// Display formats by colour depth (the Direct3D numbers); 0 for none.
int display_format(int depth) {
  switch (depth) {
    case 16:
      return 23;  // R5G6B5
    case 32:
      return 22;  // X8R8G8B8
    case 0:
    case 24:
      return 20;  // R8G8B8
    default:
      return 0;
  }
}

PlatWindow* screen_window() {
  return win_plat_window(win_handle(0));
}

// Opens window 0 (when there is a display) and the device on it.
int open_device(int width, int height, std::uint32_t flags) {
  ScreenState& screen = g_engine.screen;
  PlatWindow* window = nullptr;
  if (plat_display_init()) {
    if (!win_open(0, 0, 0, width, height, "", flags)) return kEngNoDirect3D;
    window = screen_window();
  }
  PlatVideo* video = plat_video_create(PlatVideoBackend::Auto, window, width, height);
  if (!video) {
    if (window) win_close(0);
    return kEngNoDirect3D;
  }
  screen.video = video;
  screen.window = window;
  screen.window_handle = window ? win_handle(0) : 0;
  return kEngOk;
}

int windowed_setup(int width, int height, int mode) {
  ScreenState& screen = g_engine.screen;
  if (screen.video) return kEngNoDevice;
  const int result = open_device(width, height, kWindowedFlags[mode - 1]);
  if (result != kEngOk) return result;
  screen.windowed = 1;
  screen.display_format = 22;  // the desktop's
  // The default interval waits for the retrace like interval one.
  screen.present_interval = kIntervalDefault;
  plat_video_set_vsync(screen.video, true);
  return kEngOk;
}

int fullscreen_setup(int width, int height, int depth) {
  ScreenState& screen = g_engine.screen;
  if (screen.video) return kEngNoDevice;
  const int format = display_format(depth);
  if (!format) return kEngBadDepth;
  // The mode is shown as a real display mode or, failing that, scaled on the
  // desktop; only a picture without a size has no way to be shown.
  if (width <= 0 || height <= 0) return kEngModeNotOffered;
  if (plat_display_init() && !plat_fullscreen_possible(width, height)) return kEngModeNotOffered;
  const int result = open_device(width, height, kWsPopup);
  if (result != kEngOk) return result;
  if (screen.window) {
    const PlatFullscreen shown = plat_window_set_fullscreen(screen.window, true, width, height);
    screen.shown_fullscreen = static_cast<int>(shown);
  }
  screen.windowed = 0;
  screen.display_format = format;
  screen.present_interval = kIntervalOne;
  plat_video_set_vsync(screen.video, true);
  return kEngOk;
}

}  // namespace

int eng_screen_open(int width, int height, int depth, int mode) {
  mode = clamp_mode(mode);
  int result = eng_core_startup();
  if (result != kEngOk) return result;
  if (mode >= 1)
    result = windowed_setup(width, height, mode);
  else
    result = fullscreen_setup(width, height, depth == 16 ? 16 : 32);
  if (result != kEngOk) return result;

  ScreenState& screen = g_engine.screen;
  screen.width = width;
  screen.height = height;
  screen.device_status = 0;
  eng_input_devices_create();
  // The pointer is held by the screen while it has the focus.
  if (screen.window) plat_window_set_mouse_grab(screen.window, true);
  if (!eng_font_add_default()) return kEngNoFont;
  return kEngOk;
}

const char* eng_display_missing() {
  return plat_display_init() ? nullptr : plat_display_problem();
}

const char* eng_device_name() {
  const PlatVideo* video = g_engine.screen.video;
  if (!video) return "no";
  return plat_video_backend(video) == PlatVideoBackend::GL ? "gl" : "soft";
}

int eng_last_error() {
  return g_engine.screen.last_error;
}
