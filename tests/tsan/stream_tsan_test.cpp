// Streaming under ThreadSanitizer: the main thread, the feeder threads and
// the audio device thread share sound records and buffers; any unordered
// access between them fails the run (TSAN_OPTIONS=halt_on_error=1).
#include "tests/tsan/disk_device_fixture.h"

using namespace sndtest;

using StreamRaceTest = DiskDeviceTest;

TEST_F(StreamRaceTest, ShortStreamEndsOrLoops) {
  std::string ogg = make_ogg("tsan-short", tone(3000, 2, 44100), 2, 44100);
  RtHandle h = snd_load_file(-1, ogg.c_str(), kSndStreamFromData);
  ASSERT_NE(h, 0);
  SoundObject* rec = snd_object(h);
  snd_play(h, 0, 100);
  for (int i = 0; i < 400 && plat_audio_buffer_status(rec->buffer); ++i) sleep_ms(5);
  EXPECT_EQ(plat_audio_buffer_status(rec->buffer), 0u);  // the feeder stopped it
  for (int i = 0; i < 400 && rec->alive; ++i) sleep_ms(5);
  EXPECT_EQ(rec->alive, 0);

  snd_play(h, kSndLoop, 80);
  sleep_ms(500);  // several refills of a looping short stream
  EXPECT_EQ(plat_audio_buffer_status(rec->buffer), kPlatAudioPlaying | kPlatAudioLooping);
  EXPECT_EQ(rec->alive, 1);
  snd_free(h);
  EXPECT_EQ(snd_object(h), nullptr);
}

TEST_F(StreamRaceTest, RestartWhilePlaying) {
  std::string ogg = make_ogg("tsan-restart", tone(44100, 2, 44100), 2, 44100);
  Bytes image = read_file(ogg);
  RtHandle h =
      snd_catch(3, image.data(), static_cast<std::uint32_t>(image.size()), kSndStreamFromData);
  ASSERT_NE(h, 0);
  SoundObject* rec = snd_object(3);
  for (int i = 0; i < 20; ++i) {
    snd_play(3, i % 2 ? kSndLoop : 0, 100);  // the next play may come before the feeder runs
    if (i % 4 == 0) sleep_ms(60);
    snd_set_volume(3, i * 5, -1);
  }
  sleep_ms(100);
  EXPECT_EQ(rec->alive, 1);
  EXPECT_NE(plat_audio_buffer_status(rec->buffer), 0u);
  snd_stop(3, -1);
  for (int i = 0; i < 400 && rec->alive; ++i) sleep_ms(5);
  EXPECT_EQ(rec->alive, 0);
}

TEST_F(StreamRaceTest, FreeWhilePlaying) {
  std::string ogg = make_ogg("tsan-free", tone(44100, 2, 44100), 2, 44100);
  for (int i = 0; i < 10; ++i) {
    RtHandle h = snd_load_file(-1, ogg.c_str(), kSndStreamFromData);
    ASSERT_NE(h, 0);
    snd_play(h, kSndLoop, 100);
    if (i % 2) sleep_ms(40);  // free with the feeder running, or just started
    snd_free(h);
    EXPECT_EQ(snd_object(h), nullptr);
  }
  // Whole sounds and channels alongside a stream, freed by the shutdown.
  RtHandle stream = snd_load_file(-1, ogg.c_str(), kSndStreamFromData);
  RtHandle whole = snd_load(-1, ogg.c_str());
  snd_play(stream, kSndLoop, 100);
  for (int i = 0; i < 4; ++i) snd_play(whole, kSndNewChannel, 50);
  sleep_ms(100);
}
