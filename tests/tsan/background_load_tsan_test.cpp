// Loads decoded on a worker thread under ThreadSanitizer: the worker writes
// the buffer and its filled mark while the device thread mixes it and the
// main thread plays, stops and frees the sound.
#include "tests/tsan/disk_device_fixture.h"

using namespace sndtest;

namespace {
class BackgroundLoadRaceTest : public DiskDeviceTest {
 protected:
  void SetUp() override {
    DiskDeviceTest::SetUp();
    snd_set_background_loads(true);
  }
  void TearDown() override {
    snd_set_background_loads(false);
    DiskDeviceTest::TearDown();
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
