// The frame: render the queued passes, flip (mouse poll, frame time, present,
// recovery), and the clocks the game reads.
#include "engine/engine.h"
#include "engine/objects_internal.h"
#include "engine/state_internal.h"
#include "platform/clock.h"
#include "platform/display.h"
#include "platform/input.h"
#include "platform/video.h"

namespace {

void poll_mouse() {
  InputState& input = g_engine.input;
  PlatMouseState state{};
  if (!input.mouse || !plat_mouse_poll(state)) state = PlatMouseState{};
  input.mouse_dx = state.dx;
  input.mouse_dy = state.dy;
  input.mouse_wheel = state.wheel;
  for (int i = 0; i < 4; ++i) input.mouse_buttons[i] = state.buttons[i];
}

}  // namespace

int eng_render() {
  ScreenState& screen = g_engine.screen;
  // A device that cannot draw keeps the queues for the next good frame.
  if (screen.device_status != 0 || !screen.video) return 0;
  plat_video_begin_frame(screen.video);
  eng_sprite_pass();
  eng_text_pass();
  eng_box_pass();
  plat_video_end_frame(screen.video);
  return 0;
}

int eng_flip() {
  ScreenState& screen = g_engine.screen;
  poll_mouse();
  const std::uint64_t now = plat_time_100ns();
  screen.frame_time = static_cast<float>(static_cast<double>(now - screen.last_flip) * 1e-7);
  screen.last_flip = now;
  if (!screen.video) return 0;
  screen.device_status = plat_video_present(screen.video);
  if (screen.device_status != 0) eng_device_reset(kResetAfterPresent);
  // Large copies the device took in while start-up went on go now.
  eng_texture_drop_waiting_copies();
  return 0;
}

float eng_frame_time() {
  return g_engine.screen.frame_time;
}

int eng_ticks() {
  return static_cast<int>(static_cast<std::uint32_t>(plat_time_100ns() / 100));
}

int eng_close_requested() {
  plat_events_pump();
  if (plat_quit_requested()) return 1;
  return plat_window_close_requested(g_engine.screen.window) ? 1 : 0;
}
