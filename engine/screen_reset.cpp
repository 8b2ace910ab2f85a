// The one device reset routine and the two operations that use it: vsync on
// and off, windowed and full screen, and the recovery after a failed present.
#include "engine/engine.h"
#include "engine/state_internal.h"
#include "platform/clock.h"
#include "platform/display.h"
#include "platform/video.h"
#include "window/window.h"

namespace {

constexpr std::uint32_t kResetSleepMs = 100;

// Reasons 1 and 2 leave a usable device alone when it already presents with
// the wanted interval; true when there is nothing to do.
bool interval_already(int interval) {
  ScreenState& screen = g_engine.screen;
  if (screen.present_interval == interval && screen.device_status == 0) return true;
  screen.present_interval = interval;
  return false;
}

void remember_position(bool always) {
  ScreenState& screen = g_engine.screen;
  if (always || screen.remembered_x == 0) screen.remembered_x = win_x(0);
  if (always || screen.remembered_y == 0) screen.remembered_y = win_y(0);
}

// Applies the kept parameters to the device and the window; 0 when the
// device is usable afterwards.
int apply_parameters() {
  ScreenState& screen = g_engine.screen;
  if (!screen.video) return 1;
  plat_video_set_vsync(screen.video, screen.present_interval != kIntervalImmediate);
  if (!screen.window) return 0;
  const bool full = screen.windowed == 0;
  const PlatFullscreen shown =
      plat_window_set_fullscreen(screen.window, full, screen.width, screen.height);
  screen.shown_fullscreen = static_cast<int>(shown);
  return (shown != PlatFullscreen::Off) == full ? 0 : 1;
}

}  // namespace

void eng_device_reset(int reason) {
  ScreenState& screen = g_engine.screen;
  switch (reason) {
    case kResetVsyncOn:
      if (interval_already(kIntervalOne)) return;
      break;
    case kResetVsyncOff:
      if (interval_already(kIntervalImmediate)) return;
      break;
    case kResetWindowed:
      remember_position(false);
      screen.windowed = 1;
      break;
    case kResetFullscreen:
      remember_position(true);
      screen.windowed = 0;
      break;
    default:
      break;
  }
  plat_sleep_ms(kResetSleepMs);
  screen.device_status = apply_parameters();
  if (reason == kResetWindowed && screen.window)
    plat_window_move(screen.window, screen.remembered_x, screen.remembered_y);
}

int eng_set_vsync(int flag) {
  if (!g_engine.screen.video) return 0;
  if (flag == 1) eng_device_reset(kResetVsyncOn);
  if (flag == 0) eng_device_reset(kResetVsyncOff);
  return 0;
}

int eng_set_fullscreen(int flag) {
  if (!g_engine.screen.video) return 0;
  if (flag == 0) eng_device_reset(kResetWindowed);
  if (flag == 1) eng_device_reset(kResetFullscreen);
  return 0;
}
