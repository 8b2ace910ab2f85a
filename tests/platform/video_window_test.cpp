// Both devices presenting into real display windows: present succeeds at
// the back buffer's size and letterboxed into a larger window, the back
// buffer survives it, and vsync presents never come faster than the
// display's refresh (only a lower bound on time is checked). Skips without
// a display.
#include <gtest/gtest.h>

#include <cstdio>

#include "platform/clock.h"
#include "platform/display.h"
#include "platform/video.h"
#include "tests/platform/video_scenes.h"

using namespace video_test;

namespace {

struct WindowDevice {
  PlatWindow* window = nullptr;
  PlatVideo* video = nullptr;
  WindowDevice(PlatVideoBackend backend, int win_w, int win_h, int w, int h) {
    window = plat_window_create("video test", 0, 0, win_w, win_h, kPlatWindowDecorated, nullptr);
    if (window != nullptr) video = plat_video_create(backend, window, w, h);
  }
  ~WindowDevice() {
    plat_video_destroy(video);
    plat_window_destroy(window);
  }
};

#define DEVICE_OR_SKIP(name, ...)                                  \
  WindowDevice name(__VA_ARGS__);                                  \
  if (name.window == nullptr) GTEST_SKIP() << "no display window"; \
  if (name.video == nullptr) GTEST_SKIP() << "no device: " << plat_video_last_error()

void draw_frame(PlatVideo* v) {
  PlatTexture t = make_texture(v, 16, 16, pattern_texel);
  plat_video_begin_frame(v);
  plat_video_draw_quad(v, sprite_quad(t, 16, 16, 10, 10));
  plat_video_overlay_fill(v, 0, 0, 4, 4, 0x00FF00u);
  plat_video_end_frame(v);
  plat_texture_destroy(v, t);
}

void presents_and_keeps_the_picture(PlatVideoBackend backend, int win_w, int win_h) {
  DEVICE_OR_SKIP(d, backend, win_w, win_h, 64, 48);
  draw_frame(d.video);
  EXPECT_EQ(plat_video_present(d.video), 0) << plat_video_last_error();
  Pixels px(64 * 48);
  plat_video_read_back(d.video, px.data());
  EXPECT_EQ(px[0], 0x00FF00u);
  EXPECT_EQ(px[10 * 64 + 11], pattern_texel(1, 0) & 0xFFFFFF);
}

TEST(VideoWindowTest, GlPresentsAtSizeAndLetterboxed) {
  presents_and_keeps_the_picture(PlatVideoBackend::GL, 64, 48);
  presents_and_keeps_the_picture(PlatVideoBackend::GL, 200, 90);
}

TEST(VideoWindowTest, SoftPresentsAtSizeAndLetterboxed) {
  presents_and_keeps_the_picture(PlatVideoBackend::Soft, 64, 48);
  presents_and_keeps_the_picture(PlatVideoBackend::Soft, 90, 200);
}

TEST(VideoWindowTest, AutoPicksGlOnAGlWindow) {
  if (!plat_video_gl_wanted()) GTEST_SKIP() << "SHOOTER_VIDEO=soft";
  DEVICE_OR_SKIP(d, PlatVideoBackend::Auto, 32, 32, 32, 32);
  EXPECT_EQ(plat_video_backend(d.video), PlatVideoBackend::GL);
}

// Ten presents with vsync on span at least nine refresh periods, whether
// the swap waits for the retrace or the device paces it.
void vsync_paces(PlatVideoBackend backend) {
  DEVICE_OR_SKIP(d, backend, 32, 32, 32, 32);
  const int hz = plat_window_refresh_hz(d.window);
  plat_video_set_vsync(d.video, true);
  draw_frame(d.video);
  plat_video_present(d.video);
  const std::uint64_t start = plat_time_100ns();
  for (int i = 0; i < 10; ++i) plat_video_present(d.video);
  const double seconds = double(plat_time_100ns() - start) * 1e-7;
  std::printf("10 vsync presents at %d Hz: %.1f ms\n", hz, seconds * 1e3);
  EXPECT_GE(seconds, 9.0 / hz);
}

TEST(VideoWindowTest, VsyncPresentsNeverOutrunTheRefresh) {
  vsync_paces(PlatVideoBackend::GL);
  vsync_paces(PlatVideoBackend::Soft);
}

}  // namespace
