// Both devices presenting into real display windows: present succeeds at
// the back buffer's size and letterboxed into a larger window, the back
// buffer survives it, and vsync presents never come faster than the
// display's refresh (only a lower bound on time is checked); a program
// that exits with its gl device still drawing ends. Skips without a display.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/clock.h"
#include "platform/display.h"
#include "platform/video.h"
#include "platform/video_device_internal.h"
#include "tests/platform/video_scenes.h"

extern char** environ;

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

// Ended at the process's end, a device draws nothing more, and neither its
// calls nor its destruction wait for the render thread that has gone.
TEST(VideoWindowTest, GlDeviceEndedAtExitFailsPresentsWithoutWaiting) {
  DEVICE_OR_SKIP(d, PlatVideoBackend::GL, 64, 48, 64, 48);
  draw_frame(d.video);
  ASSERT_EQ(plat_video_present(d.video), 0) << plat_video_last_error();
  plat_video_end_all();
  draw_frame(d.video);
  EXPECT_NE(plat_video_present(d.video), 0);
  Pixels px(64 * 48, 0x123456u);
  plat_video_read_back(d.video, px.data());
  plat_video_finish(d.video);
}

// The child of the test below: frames queued on the render thread right up
// to exit(), with no teardown of its own, as a program ends.
TEST(VideoWindowTest, ExitChild) {
  if (std::getenv("SHOOTER_EXIT_CHILD") == nullptr) GTEST_SKIP() << "run by the test below";
  DEVICE_OR_SKIP(d, PlatVideoBackend::GL, 320, 240, 320, 240);
  PlatTexture t = make_texture(d.video, 64, 64, pattern_texel);
  for (int frame = 0; frame < 30; ++frame) {
    plat_video_begin_frame(d.video);
    for (int i = 0; i < 400; ++i)
      plat_video_draw_quad(d.video, sprite_quad(t, 64, 64, float(i % 300), float(i % 200), 2, 2));
    plat_video_end_frame(d.video);
    plat_video_present(d.video);
  }
  std::exit(0);
}

// Closing the display at exit tears the driver down; a render thread still
// drawing could make the program crash there or wait forever.
TEST(VideoWindowTest, ProgramExitingWhileTheGlDeviceDrawsEnds) {
  DEVICE_OR_SKIP(probe, PlatVideoBackend::GL, 16, 16, 16, 16);
  std::string self = "/proc/self/exe", filter = "--gtest_filter=VideoWindowTest.ExitChild";
  std::vector<std::string> env{"SHOOTER_EXIT_CHILD=1"};
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  std::vector<char*> envp;
  for (auto& v : env) envp.push_back(v.data());
  envp.push_back(nullptr);
  char* argv[] = {self.data(), filter.data(), nullptr};
  for (int run = 0; run < 5; ++run) {
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, envp.data()), 0);
    int status = 0;
    pid_t done = 0;
    for (int waited = 0; waited < 3000 && (done = waitpid(pid, &status, WNOHANG)) == 0; ++waited)
      usleep(10'000);
    if (done == 0) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      FAIL() << "run " << run << ": the program did not end within 30 s of exit()";
    }
    ASSERT_TRUE(WIFEXITED(status)) << "run " << run << ": ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "run " << run;
  }
}

}  // namespace
