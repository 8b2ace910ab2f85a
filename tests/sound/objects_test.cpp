// Sound objects: handles, volume levels, restart, channels and their
// clean-up, stopping, freeing, and running without an output device.
#include <cstdlib>

#include "tests/sound/sound_test_util.h"

using namespace sndtest;

namespace {
// A short 44.1 kHz stereo sound as a WAV image.
Bytes short_wav(int frames) {
  return wav_image(tone(frames, 2, 44100), 2, 44100);
}

int channel_count(const SoundObject* rec) {
  int n = 0;
  for (RtChainBlock* b = rec->channels; b; b = b->next) ++n;
  return n;
}

PlatAudioBuffer* channel_of(RtHandle channel) {
  return *reinterpret_cast<PlatAudioBuffer**>(channel);
}
}  // namespace

class ObjectsTest : public ManualSound {};

TEST_F(ObjectsTest, VolumeTableLevelsAndClamping) {
  const std::pair<int, int> entries[] = {{0, 0},     {1, 6000},  {30, 8954},
                                         {50, 9397}, {99, 9991}, {100, 10000}};
  for (auto [volume, entry] : entries) EXPECT_EQ(snd_volume_entry(volume), entry) << volume;

  Bytes image = short_wav(100);
  RtHandle h = catch_image(1, image);
  auto* main = reinterpret_cast<PlatAudioBuffer*>(h);
  const std::pair<int, int> cases[] = {{0, -10000},  {30, -1046}, {100, 0},  {150, 0},
                                       {-5, -10000}, {50, -603},  {1, -4000}};
  for (auto [volume, level] : cases) {
    snd_volume(1, volume);
    EXPECT_EQ(plat_audio_buffer_volume(main), level) << volume;
  }
  snd_play(1, 0, 30);
  EXPECT_EQ(plat_audio_buffer_volume(main), -1046);
  snd_play(1, 0, -1);  // -1 leaves the level as it is
  EXPECT_EQ(plat_audio_buffer_volume(main), -1046);
  EXPECT_EQ(snd_object(1)->volume, 0);  // the remembered volume is not changed
}

TEST_F(ObjectsTest, HandlesForDynamicAndNumberedSounds) {
  Bytes image = short_wav(100);
  RtHandle dynamic = catch_image(-1, image);
  ASSERT_NE(dynamic, 0);
  EXPECT_EQ(reinterpret_cast<SoundObject*>(dynamic), snd_object(dynamic));
  RtHandle numbered = catch_image(7, image);
  EXPECT_EQ(reinterpret_cast<PlatAudioBuffer*>(numbered), snd_object(7)->buffer);

  // Operations on sounds that do not exist do nothing and return 0.
  EXPECT_EQ(snd_play(8, 0, 100), 0);
  EXPECT_EQ(snd_play(123456, 2, 100), 0);
  snd_stop(8, -1);
  snd_set_volume(8, 50, -1);
  snd_free(8);
  EXPECT_EQ(snd_object(8), nullptr);
  EXPECT_EQ(snd_catch_memory(9, nullptr, 100), 0);
  EXPECT_EQ(snd_load(9, "no/such/file.wav"), 0);
}

TEST_F(ObjectsTest, LoadingANumberInUseFreesTheOldSound) {
  Bytes image = short_wav(100);
  RtHandle first = catch_image(4, image);
  snd_play(4, kSndNewChannel, 100);
  SoundObject* rec = snd_object(4);
  ASSERT_EQ(channel_count(rec), 1);
  RtHandle second = catch_image(4, image);
  ASSERT_NE(second, 0);
  EXPECT_NE(second, first);
  EXPECT_EQ(snd_object(4), rec);  // same record, refilled
  EXPECT_EQ(channel_count(rec), 0);
  EXPECT_EQ(plat_audio_buffer_size(reinterpret_cast<PlatAudioBuffer*>(first)), 0u);  // released
}

TEST_F(ObjectsTest, PlayingTwiceRestartsFromTheBeginning) {
  auto samples = tone(4000, 2, 44100);
  Bytes image = wav_image(samples, 2, 44100);
  RtHandle h = catch_image(2, image);
  auto* main = reinterpret_cast<PlatAudioBuffer*>(h);
  EXPECT_EQ(snd_play(2, 0, 100), 1);
  render(1000);
  EXPECT_EQ(plat_audio_buffer_position(main), 4000u);
  EXPECT_EQ(snd_play(2, 0, 100), 1);
  EXPECT_EQ(plat_audio_buffer_position(main), 0u);
  auto out = render(10);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(out[i], samples[i]) << i;
}

TEST_F(ObjectsTest, OneShotEndsAndLoopWraps) {
  Bytes image = short_wav(500);
  auto* main = reinterpret_cast<PlatAudioBuffer*>(catch_image(2, image));
  snd_play(2, 0, 100);
  EXPECT_EQ(plat_audio_buffer_status(main), kPlatAudioPlaying);
  render(600);
  EXPECT_EQ(plat_audio_buffer_status(main), 0u);
  snd_play(2, kSndLoop, 100);
  render(1200);
  EXPECT_EQ(plat_audio_buffer_status(main), kPlatAudioPlaying | kPlatAudioLooping);
  EXPECT_EQ(plat_audio_buffer_position(main), 200u * 4);
}

TEST_F(ObjectsTest, NewChannelReleasesFinishedChannelsFirst) {
  Bytes image = short_wav(300);
  catch_image(3, image);
  SoundObject* rec = snd_object(3);
  RtHandle c[3];
  for (auto& ch : c) ch = snd_play(3, kSndNewChannel, 40);
  for (auto ch : c) ASSERT_NE(ch, 0);
  EXPECT_EQ(channel_count(rec), 3);
  EXPECT_EQ(plat_audio_buffer_volume(channel_of(c[0])), snd_volume_entry(40) - 10000);
  render(400);  // all three have played to their end
  RtHandle looping = snd_play(3, kSndNewChannel | kSndLoop, -1);
  EXPECT_EQ(channel_count(rec), 1);
  EXPECT_EQ(plat_audio_buffer_status(channel_of(looping)), kPlatAudioPlaying | kPlatAudioLooping);
  EXPECT_EQ(plat_audio_buffer_volume(channel_of(looping)), rec->volume);

  // A channel still playing is kept.
  RtHandle once = snd_play(3, kSndNewChannel, 100);
  EXPECT_EQ(channel_count(rec), 2);
  EXPECT_EQ(plat_audio_buffer_status(channel_of(once)), kPlatAudioPlaying);
}

TEST_F(ObjectsTest, StopAndVolumeAddressMainAllOrOneChannel) {
  Bytes image = short_wav(300);
  catch_image(3, image);
  SoundObject* rec = snd_object(3);
  snd_play(3, kSndLoop, 100);
  RtHandle a = snd_play(3, kSndNewChannel | kSndLoop, 100);
  RtHandle b = snd_play(3, kSndNewChannel | kSndLoop, 100);

  snd_set_volume(3, 50, a);
  EXPECT_EQ(plat_audio_buffer_volume(channel_of(a)), -603);
  EXPECT_EQ(plat_audio_buffer_volume(channel_of(b)), 0);
  EXPECT_EQ(plat_audio_buffer_volume(rec->buffer), 0);
  snd_set_volume(3, 1, 0xdead0);  // not a channel of this sound: nothing
  snd_set_volume(3, 0, -1);
  for (PlatAudioBuffer* p : {rec->buffer, channel_of(a), channel_of(b)})
    EXPECT_EQ(plat_audio_buffer_volume(p), -10000);

  snd_stop(3, b);
  EXPECT_EQ(plat_audio_buffer_status(channel_of(b)), 0u);
  EXPECT_NE(plat_audio_buffer_status(channel_of(a)), 0u);
  snd_stop_main(3);
  EXPECT_EQ(plat_audio_buffer_status(rec->buffer), 0u);
  EXPECT_NE(plat_audio_buffer_status(channel_of(a)), 0u);
  snd_stop(3, -1);
  EXPECT_EQ(plat_audio_buffer_status(channel_of(a)), 0u);
}

TEST_F(ObjectsTest, StopEverySoundStopsMainBuffers) {
  Bytes image = short_wav(300);
  catch_image(1, image);
  RtHandle d = catch_image(-1, image);
  snd_play(1, kSndLoop, 100);
  snd_play(d, kSndLoop, 100);
  snd_stop(-1, 0);
  EXPECT_EQ(plat_audio_buffer_status(snd_object(1)->buffer), 0u);
  EXPECT_EQ(plat_audio_buffer_status(snd_object(d)->buffer), 0u);
  EXPECT_EQ(render(100), std::vector<std::int16_t>(200, 0));
}

TEST_F(ObjectsTest, FreeReleasesChannelsAndTheNumber) {
  Bytes image = short_wav(300);
  catch_image(6, image);
  snd_play(6, kSndNewChannel | kSndLoop, 100);
  snd_play(6, kSndNewChannel | kSndLoop, 100);
  snd_free(6);
  EXPECT_EQ(snd_object(6), nullptr);
  EXPECT_EQ(render(50), std::vector<std::int16_t>(100, 0));
  RtHandle d = catch_image(-1, image);
  snd_free(d);
  EXPECT_EQ(snd_object(d), nullptr);
}

TEST_F(ObjectsTest, ShutdownFreesEverySoundAndInitAgainWorks) {
  Bytes image = short_wav(300);
  catch_image(1, image);
  RtHandle d = catch_image(-1, image);
  snd_play(d, kSndNewChannel | kSndLoop, 100);
  ObjectTable* table = snd_init();  // already open: the same table
  snd_shutdown();
  EXPECT_EQ(snd_object(1), nullptr);
  EXPECT_FALSE(plat_audio_is_open());
  EXPECT_EQ(snd_init(), table);
  EXPECT_NE(catch_image(1, image), 0);
}

// Without an output device the library reports 0 and every load fails,
// so every other operation finds no sound and does nothing.
TEST(SoundWithoutDevice, InitFailsAndOperationsDoNothing) {
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  snd_decoders_init();
  EXPECT_EQ(snd_init(), nullptr);
  Bytes image = short_wav(100);
  EXPECT_EQ(catch_image(1, image), 0);
  EXPECT_EQ(catch_image(-1, image), 0);
  EXPECT_EQ(snd_play(1, 0, 100), 0);
  snd_stop(-1, 0);
  snd_free(1);
  snd_shutdown();
  unsetenv("SDL_AUDIODRIVER");
}
