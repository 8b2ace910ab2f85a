// The engine's global state and its start-up: the core start-up run by the
// screen open, and the three operations the program calls before it.
#include <cstring>

#include "engine/engine.h"
#include "engine/objects_internal.h"
#include "engine/state_internal.h"
#include "platform/audio.h"
#include "platform/clock.h"
#include "runtime/heap.h"
#include "runtime/maths.h"
#include "runtime/strings.h"

namespace {
constexpr float kFirstFrameTime = 0.016f;
constexpr std::size_t kKeyArrayBytes = 257;

EngineState make_initial_state() {
  EngineState state{};
  state.screen.frame_time = kFirstFrameTime;
  state.screen.windowed = 1;
  state.input.cursor_shape = 1;
  return state;
}

std::uint8_t* new_key_array(std::uint8_t* old) {
  if (old) rt_heap_free(rt_heap_main(), old);
  auto* keys = static_cast<std::uint8_t*>(rt_heap_alloc(rt_heap_main(), kKeyArrayBytes));
  if (!keys) rt_out_of_memory("the keyboard state");
  return keys;
}
}  // namespace

EngineState g_engine = make_initial_state();

void eng_strings_init() {
  rt_strings_init();
}

int eng_init() {
  return 0;
}

int eng_random_range(int low, int high) {
  return low + rt_random(high - low);
}

int eng_core_startup() {
  ScreenState& screen = g_engine.screen;
  if (screen.window_handle || screen.video) return kEngAlreadyOpen;
  eng_object_lists_reset();
  g_engine.current_font = 0;
  g_engine.input.keys_now = new_key_array(g_engine.input.keys_now);
  g_engine.input.keys_before = new_key_array(g_engine.input.keys_before);
  screen.frame_time = kFirstFrameTime;
  screen.last_flip = plat_time_100ns();
  // The engine keeps no audio object of its own; what matters is whether the
  // program has an audio output at all, which the sound library opened.
  g_engine.sound_object = plat_audio_is_open();
  if (!g_engine.sound_object) screen.last_error = kEngNoSound;
  g_engine.started = true;
  return kEngOk;
}
