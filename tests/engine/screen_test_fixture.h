// Shared set-up of the screen, input and start-up tests: libraries started
// once, a virtual clock and scripted input, the soft device, and a way back
// to a closed screen after each test (the engine itself never closes it).
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/engine.h"
#include "engine/objects_internal.h"
#include "engine/state_internal.h"
#include "image/image.h"
#include "platform/audio.h"
#include "platform/clock.h"
#include "platform/display.h"
#include "platform/input.h"
#include "platform/video.h"
#include "runtime/arrays.h"
#include "runtime/heap.h"
#include "runtime/lists.h"
#include "runtime/memory.h"
#include "runtime/strings.h"
#include "window/window.h"

namespace screen_test {

inline constexpr std::uint64_t kStart = 1'000'000'000ull;  // 100 s in 100-ns units
inline constexpr std::uint64_t kResetSleep = 100 * 10'000ull;

inline void start_libraries() {
  static const bool started = [] {
    if (!rt_main_heap) rt_main_heap = rt_heap_create();
    rt_strings_init();
    rt_lists_init();
    rt_memory_init();
    rt_arrays_init();
    img_decoders_init();
    img_init();
    win_events_init();
    win_init();
    // The CPU device gives the same pixels everywhere and needs no GL.
    setenv("SHOOTER_VIDEO", "soft", 1);
    return true;
  }();
  (void)started;
}

class ScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    start_libraries();
    plat_clock_use_virtual(kStart);
    plat_input_use_scripted();
  }
  void TearDown() override {
    close_screen();
    plat_input_use_real();
    plat_clock_use_real();
  }
  static void close_screen() {
    ScreenState& screen = g_engine.screen;
    if (screen.video) plat_video_destroy(screen.video);
    win_close(0);
    screen = ScreenState{};
    screen.frame_time = 0.016f;
    screen.windowed = 1;
    g_engine.input.keyboard = g_engine.input.mouse = false;
  }
  static std::uint64_t now() { return plat_time_100ns(); }
  static bool display() { return plat_display_available(); }
};

}  // namespace screen_test
