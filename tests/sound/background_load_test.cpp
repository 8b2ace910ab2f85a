// Loads that decode on a worker thread: the mixer's cursor waits at the end
// of the samples written so far, a sound played right after its load is
// heard whole and in order, and freeing or ending the library while a
// decode runs stops it cleanly.
#include <algorithm>
#include <chrono>
#include <thread>

#include "tests/sound/sound_test_util.h"

using namespace sndtest;

namespace {

constexpr std::uint32_t kFrame = 4;  // 16-bit stereo

// Frames whose two samples are both zero carry nothing to compare.
std::vector<std::int16_t> without_silence(const std::vector<std::int16_t>& s) {
  std::vector<std::int16_t> out;
  for (std::size_t i = 0; i + 1 < s.size(); i += 2) {
    if (s[i] != 0 || s[i + 1] != 0) {
      out.push_back(s[i]);
      out.push_back(s[i + 1]);
    }
  }
  return out;
}

// Stereo 16-bit samples that rise from `base` and wrap every `period`.
std::vector<std::int16_t> ramp(std::uint32_t frames, int base, int period) {
  std::vector<std::int16_t> s(frames * 2);
  for (std::size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<std::int16_t>(base + static_cast<int>(i % std::size_t(period)));
  return s;
}

constexpr PlatPcmFormat kStereo16{kPlatFormatPcm,         2,      kPlatAudioRate,
                                  kPlatAudioRate* kFrame, kFrame, 16};

class BackgroundLoadTest : public ManualSound {
 protected:
  void TearDown() override {
    snd_set_background_loads(false);
    ManualSound::TearDown();
  }
};

}  // namespace

TEST_F(BackgroundLoadTest, CursorWaitsAtTheEndOfTheFilledSamples) {
  const std::uint32_t frames = 4000;
  const std::vector<std::int16_t> s = ramp(frames, 1000, 3000);
  PlatAudioBuffer* b = plat_audio_buffer_create(kStereo16, frames * kFrame);
  ASSERT_NE(b, nullptr);
  void* region = nullptr;
  std::uint32_t n = 0;
  ASSERT_TRUE(plat_audio_buffer_lock(b, 0, frames * kFrame, &region, &n));
  std::memcpy(region, s.data(), n);
  plat_audio_buffer_unlock(b, region, n);
  PlatAudioBuffer* dup = plat_audio_buffer_duplicate(b);
  ASSERT_NE(dup, nullptr);

  // Only the first 1000 frames are marked: the cursor stops short of them
  // by the interpolation's reach, and waits there, silent.
  ASSERT_TRUE(plat_audio_buffer_set_filled(b, 1000 * kFrame));
  plat_audio_buffer_play(b, false);
  auto out = render(3000);
  EXPECT_TRUE(std::equal(s.begin(), s.begin() + 998 * 2, out.begin()));
  EXPECT_TRUE(std::all_of(out.begin() + 998 * 2, out.end(), [](std::int16_t v) { return v == 0; }));
  EXPECT_EQ(plat_audio_buffer_position(b), 998 * kFrame);
  EXPECT_EQ(plat_audio_buffer_status(b), kPlatAudioPlaying);
  // A duplicate shares the samples and so the mark.
  plat_audio_buffer_play(dup, false);
  render(10);
  EXPECT_EQ(plat_audio_buffer_position(dup), 10 * kFrame);
  plat_audio_buffer_stop(dup);

  // Marked whole, it goes on from where it waited and stops at its end.
  ASSERT_TRUE(plat_audio_buffer_set_filled(b, frames * kFrame));
  out = render(frames);
  EXPECT_TRUE(std::equal(s.begin() + 998 * 2, s.end(), out.begin()));
  EXPECT_EQ(plat_audio_buffer_status(b), 0u);
  plat_audio_buffer_release(dup);
  plat_audio_buffer_release(b);
}

// The decoder writes past the mark while the filled part may be playing:
// that part plays on through the lock, started before it or during it.
TEST_F(BackgroundLoadTest, LockPastTheFilledMarkLeavesTheFilledSamplesPlaying) {
  const std::uint32_t frames = 2000;
  const std::vector<std::int16_t> s = ramp(frames, 500, 2000);
  for (bool play_first : {true, false}) {
    SCOPED_TRACE(play_first ? "playing before the lock" : "played during the lock");
    PlatAudioBuffer* b = plat_audio_buffer_create(kStereo16, frames * kFrame);
    ASSERT_NE(b, nullptr);
    ASSERT_TRUE(plat_audio_buffer_set_filled(b, 0));
    void* region = nullptr;
    std::uint32_t n = 0;
    ASSERT_TRUE(plat_audio_buffer_lock(b, 0, 1000 * kFrame, &region, &n));
    std::memcpy(region, s.data(), n);
    plat_audio_buffer_unlock(b, region, n);
    ASSERT_TRUE(plat_audio_buffer_set_filled(b, 1000 * kFrame));
    if (play_first) plat_audio_buffer_play(b, false);
    ASSERT_TRUE(plat_audio_buffer_lock(b, 1000 * kFrame, 1000 * kFrame, &region, &n));
    if (!play_first) plat_audio_buffer_play(b, false);
    auto out = render(500);
    EXPECT_TRUE(std::equal(s.begin(), s.begin() + 500 * 2, out.begin()));
    std::memcpy(region, s.data() + 1000 * 2, n);
    plat_audio_buffer_unlock(b, region, n);
    ASSERT_TRUE(plat_audio_buffer_set_filled(b, frames * kFrame));
    out = render(frames - 500);
    EXPECT_TRUE(std::equal(s.begin() + 500 * 2, s.end(), out.begin()));
    plat_audio_buffer_release(b);
  }
}

TEST_F(BackgroundLoadTest, SoundPlayedRightAfterItsLoadIsHeardWholeAndInOrder) {
  if (!tools_present()) GTEST_SKIP() << "oggenc/oggdec (vorbis-tools) not installed";
  const int seconds = 12;  // several pieces of the worker's
  std::string ogg = make_ogg("background", tone(44100 * seconds, 2, 44100), 2, 44100);
  ASSERT_FALSE(ogg.empty());
  const Bytes pcm = oggdec_pcm(ogg);
  std::vector<std::int16_t> expected(pcm.size() / 2);
  std::memcpy(expected.data(), pcm.data(), expected.size() * 2);

  snd_set_background_loads(true);
  const RtHandle h = snd_load(-1, ogg.c_str());
  ASSERT_NE(h, 0);
  PlatAudioBuffer* b = snd_object(h)->buffer;
  EXPECT_EQ(plat_audio_buffer_size(b), pcm.size());
  ASSERT_EQ(snd_play(h, 0, 100), 1);
  // The test mixes far faster than real time, so the cursor catches up with
  // the decoder and waits for it: whatever is heard is the sound in order,
  // with nothing but silence in between.
  // While the cursor waits, this thread sleeps: the decoder runs only on
  // time no other thread wants.
  std::vector<std::int16_t> heard;
  for (int i = 0; i < 100000 && plat_audio_buffer_status(b); ++i) {
    auto out = render(1024);
    if (std::all_of(out.begin(), out.end(), [](std::int16_t v) { return v == 0; }))
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    heard.insert(heard.end(), out.begin(), out.end());
  }
  EXPECT_EQ(plat_audio_buffer_status(b), 0u) << "the sound never ended";
  EXPECT_EQ(without_silence(heard), without_silence(expected));
  snd_free(h);
  EXPECT_EQ(snd_object(h), nullptr);
}

TEST_F(BackgroundLoadTest, FreeingOrEndingDuringTheDecodeStopsIt) {
  if (!tools_present()) GTEST_SKIP() << "oggenc/oggdec (vorbis-tools) not installed";
  std::string ogg = make_ogg("stopped", tone(44100 * 8, 2, 44100), 2, 44100);
  ASSERT_FALSE(ogg.empty());
  snd_set_background_loads(true);
  for (int i = 0; i < 3; ++i) {
    const RtHandle h = snd_load(-1, ogg.c_str());
    ASSERT_NE(h, 0);
    snd_free(h);  // most likely long before the decode is done
    EXPECT_EQ(snd_object(h), nullptr);
  }
  // A numbered load returns the buffer, as a load decoded at once does.
  const RtHandle numbered = snd_load(4, ogg.c_str());
  ASSERT_NE(numbered, 0);
  EXPECT_EQ(reinterpret_cast<PlatAudioBuffer*>(numbered), snd_object(4)->buffer);
  snd_play(4, kSndLoop | kSndNewChannel, 50);
  render(4096);
  // The library's end (the fixture's) frees it with its decode still running.
}
