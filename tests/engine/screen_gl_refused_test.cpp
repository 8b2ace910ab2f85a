// No OpenGL context to be had: the screen opens on the soft device, and the
// game sees the same result codes as with the GL device, windowed and full
// screen, and draws and presents frames.
#include <cstdlib>

#include "platform/video.h"
#include "tests/engine/screen_test_fixture.h"

namespace {

using screen_test::ScreenTest;

struct Opened {
  int code;
  PlatVideoBackend backend;
};

class GlRefusedTest : public ScreenTest {
 protected:
  static Opened open_and_draw(int mode) {
    Opened o{eng_screen_open(1024, 768, 32, mode), PlatVideoBackend::Auto};
    if (g_engine.screen.video) {
      o.backend = plat_video_backend(g_engine.screen.video);
      eng_render();
      eng_flip();
    }
    close_screen();
    return o;
  }
};

TEST_F(GlRefusedTest, NoGlContextLeavesTheSoftDeviceWithTheSameCodes) {
  unsetenv("SHOOTER_VIDEO");  // the automatic choice, as the programs make it
  if (!plat_display_init()) {
    setenv("SHOOTER_VIDEO", "soft", 1);
    GTEST_SKIP() << "needs an X display";
  }
  for (int mode : {1, 0}) {
    SCOPED_TRACE(mode);
    const Opened gl = open_and_draw(mode);
    plat_video_gl_refuse_contexts(true);
    const Opened soft = open_and_draw(mode);
    plat_video_gl_refuse_contexts(false);
    EXPECT_EQ(gl.backend, PlatVideoBackend::GL);
    EXPECT_EQ(soft.backend, PlatVideoBackend::Soft);
    EXPECT_EQ(soft.code, gl.code);
    EXPECT_EQ(soft.code, kEngOk);
  }
  setenv("SHOOTER_VIDEO", "soft", 1);
}

}  // namespace
