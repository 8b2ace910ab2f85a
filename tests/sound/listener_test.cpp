// What the listener hears: SDL's disk audio driver writes the mixed device
// output to a file, which is compared with the sound's own samples.
#include <chrono>
#include <thread>

#include "tests/sound/sound_test_util.h"

using namespace sndtest;

namespace {
using Samples = std::vector<std::int16_t>;

void sleep_ms(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Waits (at most 20 s, for loaded machines) until a buffer has stopped
// playing, then a little longer so the device has written what it mixed.
void wait_until_stopped(PlatAudioBuffer* b) {
  for (int i = 0; i < 4000 && plat_audio_buffer_status(b); ++i) sleep_ms(5);
  sleep_ms(100);
}

// Waits until a looping buffer has wrapped round the given number of times.
void wait_for_wraps(PlatAudioBuffer* b, int wraps) {
  std::uint32_t last = 0;
  for (int i = 0; i < 10000 && wraps > 0; ++i) {
    std::uint32_t p = plat_audio_buffer_position(b);
    if (p < last) --wraps;
    last = p;
    sleep_ms(2);
  }
}

// Opens the library on the disk driver writing to a new capture file.
class ListenerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int run = 0;
    capture_ = temp_dir() + "/capture" + std::to_string(run++) + ".raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", capture_.c_str(), 1);
    plat_audio_use_manual(false);
    snd_decoders_init();
    ASSERT_NE(snd_init(), nullptr) << "SDL's disk audio driver could not be opened";
  }
  void TearDown() override {
    snd_shutdown();
    unsetenv("SDL_AUDIODRIVER");
    unsetenv("SDL_DISKAUDIOFILE");
  }
  // Closes the device and returns what it played, from the first sound on.
  Samples captured() {
    snd_shutdown();
    Bytes raw = read_file(capture_);
    Samples s(raw.size() / 2);
    std::memcpy(s.data(), raw.data(), s.size() * 2);
    std::size_t first = 0;
    while (first < s.size() && s[first] == 0) ++first;
    first -= first % 2;  // whole frames
    return Samples(s.begin() + static_cast<long>(first), s.end());
  }
  std::string capture_;
};

RtHandle load_wav(RtHandle id, const Samples& s) {
  Bytes image = wav_image(s, 2, 44100);
  return catch_image(id, image);
}

Samples from_bytes(const Bytes& b) {
  Samples s(b.size() / 2);
  std::memcpy(s.data(), b.data(), s.size() * 2);
  return s;
}
}  // namespace

TEST_F(ListenerTest, VolumeThirtyScalesEverySample) {
  const Samples sound = tone(8820, 2, 44100, 30000.0);  // 0.2 s, near full scale
  ASSERT_NE(load_wav(1, sound), 0);
  snd_play(1, 0, 30);
  wait_until_stopped(snd_object(1)->buffer);
  Samples out = captured();
  ASSERT_GE(out.size(), sound.size());
  const double gain = std::pow(10.0, -1046 / 2000.0);
  for (std::size_t i = 0; i < sound.size(); ++i) {
    ASSERT_NEAR(out[i], sound[i] * gain, 0.51) << i;
  }
  for (std::size_t i = sound.size(); i < out.size(); ++i) ASSERT_EQ(out[i], 0) << i;
}

TEST_F(ListenerTest, LoopPlaysSeamlesslyAndStopGivesSilence) {
  const Samples sound = tone(4410, 2, 44100);  // 0.1 s
  ASSERT_NE(load_wav(2, sound), 0);
  snd_play(2, kSndLoop, 100);
  wait_for_wraps(snd_object(2)->buffer, 2);
  sleep_ms(30);
  snd_stop(2, -1);
  sleep_ms(150);
  Samples out = captured();
  // The sound repeats without a gap up to the stop, then only silence.
  std::size_t i = 0;
  while (i < out.size() && out[i] == sound[i % sound.size()]) ++i;
  EXPECT_GE(i, 2 * sound.size());
  for (; i < out.size(); ++i) ASSERT_EQ(out[i], 0) << i;
}

TEST_F(ListenerTest, StreamedSoundSoundsLikeTheWholeDecodedOne) {
  if (!tools_present()) GTEST_SKIP() << "oggenc/oggdec (vorbis-tools) not installed";
  std::string ogg = make_ogg("listen", tone(44100, 2, 44100), 2, 44100);
  const Samples pcm = from_bytes(oggdec_pcm(ogg));
  std::size_t lead = 0;  // the decoded sound may begin with silent frames
  while (lead < pcm.size() && pcm[lead] == 0) ++lead;
  lead -= lead % 2;
  const Samples expected(pcm.begin() + static_cast<long>(lead), pcm.end());

  RtHandle streamed = snd_load_file(-1, ogg.c_str(), kSndStreamFromData);
  ASSERT_NE(streamed, 0);
  snd_play(streamed, 0, 100);
  wait_until_stopped(snd_object(streamed)->buffer);
  Samples heard_streamed = captured();

  SetUp();
  RtHandle whole = snd_load(-1, ogg.c_str());
  ASSERT_NE(whole, 0);
  snd_play(whole, 0, 100);
  wait_until_stopped(snd_object(whole)->buffer);
  Samples heard_whole = captured();

  for (const Samples* heard : {&heard_streamed, &heard_whole}) {
    ASSERT_GE(heard->size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), heard->begin()));
    for (std::size_t i = expected.size(); i < heard->size(); ++i) ASSERT_EQ((*heard)[i], 0) << i;
  }
}
