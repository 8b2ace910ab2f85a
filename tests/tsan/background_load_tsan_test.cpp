// Loads decoded on a worker thread under ThreadSanitizer: the worker writes
// the buffer and its filled mark while the device thread mixes it and the
// main thread plays, stops and frees the sound.
#include <chrono>
#include <thread>

#include "tests/sound/sound_test_util.h"

using namespace sndtest;

namespace {
void sleep_ms(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// A real device thread (SDL's disk driver writing to /dev/null).
class BackgroundLoadRaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!tools_present()) GTEST_SKIP() << "oggenc/oggdec (vorbis-tools) not installed";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    snd_decoders_init();
    ASSERT_NE(snd_init(), nullptr);
    snd_set_background_loads(true);
  }
  void TearDown() override {
    snd_set_background_loads(false);
    snd_shutdown();
    unsetenv("SDL_AUDIODRIVER");
    unsetenv("SDL_DISKAUDIOFILE");
  }
};
}  // namespace

TEST_F(BackgroundLoadRaceTest, PlayStopAndFreeWhileTheWorkerDecodes) {
  std::string ogg = make_ogg("tsan-background", tone(44100 * 6, 2, 44100), 2, 44100);
  ASSERT_FALSE(ogg.empty());
  for (int i = 0; i < 4; ++i) {
    RtHandle h = snd_load(-1, ogg.c_str());
    ASSERT_NE(h, 0);
    snd_play(h, kSndLoop, 100);
    snd_play(h, kSndNewChannel, 50);
    if (i % 2) sleep_ms(30);
    snd_stop(h, kSndAllBuffers);
    snd_play(h, 0, 80);
    snd_free(h);  // with the worker running, or just done
    EXPECT_EQ(snd_object(h), nullptr);
  }
  // Left playing for the library's end to stop and free.
  RtHandle h = snd_load(-1, ogg.c_str());
  snd_play(h, kSndLoop, 100);
  sleep_ms(50);
}
