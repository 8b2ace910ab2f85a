// Streaming through the two-half buffer: the test plays the device's part
// and mixes the output in steps while the feeder thread refills the halves.
#include <chrono>
#include <thread>

#include "tests/sound/sound_test_util.h"

using namespace sndtest;

namespace {
constexpr int kStep = 512;  // frames mixed per 3 ms: about four times real time

// Mixes until the sound's main buffer stops (or max_frames), in real-time-like steps.
std::vector<std::int16_t> play_out(SoundObject* rec, int max_frames) {
  std::vector<std::int16_t> out;
  while (static_cast<int>(out.size() / 2) < max_frames) {
    auto part = render(kStep);
    out.insert(out.end(), part.begin(), part.end());
    if (!(plat_audio_buffer_status(rec->buffer) & kPlatAudioPlaying)) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
  }
  return out;
}

std::vector<std::int16_t> as_samples(const Bytes& b) {
  std::vector<std::int16_t> s(b.size() / 2);
  std::memcpy(s.data(), b.data(), s.size() * 2);
  return s;
}

void wait_for_feeder_end(SoundObject* rec) {
  for (int i = 0; i < 500 && rec->alive; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

class StreamTest : public ManualSound {
 protected:
  void SetUp() override {
    if (!tools_present()) GTEST_SKIP() << "oggenc/oggdec (vorbis-tools) not installed";
    ManualSound::SetUp();
  }
  // An OGG of the given length and the PCM that oggdec makes of it.
  std::string make(const char* name, int frames, std::vector<std::int16_t>* pcm) {
    std::string ogg = make_ogg(name, tone(frames, 2, 44100), 2, 44100);
    *pcm = as_samples(oggdec_pcm(ogg));
    return ogg;
  }
};
}  // namespace

TEST_F(StreamTest, StreamedSoundPlaysItsSamplesThenStops) {
  std::vector<std::int16_t> pcm;
  std::string ogg = make("long", 44100, &pcm);
  RtHandle h = snd_load_file(-1, ogg.c_str(), kSndStreamFromData);
  ASSERT_NE(h, 0);
  SoundObject* rec = snd_object(h);
  EXPECT_EQ(rec->buffer_size, 65536u);
  EXPECT_EQ(plat_audio_buffer_size(rec->buffer), 65536u);
  EXPECT_EQ(snd_play(h, 0, 100), 0);  // streams report 0
  auto out = play_out(rec, 44100 + 3 * 16384);
  ASSERT_GE(out.size(), pcm.size());
  EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), out.begin()));
  for (std::size_t i = pcm.size(); i < out.size(); ++i) ASSERT_EQ(out[i], 0) << i;
  EXPECT_EQ(plat_audio_buffer_status(rec->buffer), 0u);
  wait_for_feeder_end(rec);
  EXPECT_EQ(rec->alive, 0);
  EXPECT_EQ(rec->run, 0);
}

TEST_F(StreamTest, ShortStreamStopsWithinTwoRefillsOrLoopsWithoutGap) {
  std::vector<std::int16_t> pcm;
  std::string ogg = make("short", 3000, &pcm);  // less than one half
  Bytes image = read_file(ogg);
  RtHandle h =
      snd_catch(-1, image.data(), static_cast<std::uint32_t>(image.size()), kSndStreamFromData);
  ASSERT_NE(h, 0);
  SoundObject* rec = snd_object(h);

  snd_play(h, 0, 100);
  auto out = play_out(rec, 4 * 16384);
  // The rest of the first half is silence; the buffer stops before the
  // cursor has gone round the buffer once more.
  EXPECT_EQ(plat_audio_buffer_status(rec->buffer), 0u);
  EXPECT_LE(out.size() / 2, 16384u + 8192u + 2 * kStep);
  EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), out.begin()));
  for (std::size_t i = pcm.size(); i < out.size(); ++i) ASSERT_EQ(out[i], 0) << i;

  snd_play(h, kSndLoop, 100);
  out = play_out(rec, 3 * 16384);
  EXPECT_NE(plat_audio_buffer_status(rec->buffer), 0u);
  for (std::size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], pcm[i % pcm.size()]) << i;
  snd_stop(h, 0);
  wait_for_feeder_end(rec);
  EXPECT_EQ(rec->alive, 0);
}

TEST_F(StreamTest, PlayingAgainRestartsAndFreeWaitsForTheFeeder) {
  std::vector<std::int16_t> pcm;
  std::string ogg = make("restart", 30000, &pcm);
  RtHandle h = snd_load_file(5, ogg.c_str(), kSndStreamFromData);
  ASSERT_EQ(h, reinterpret_cast<RtHandle>(snd_object(5)));  // streams return the record
  SoundObject* rec = snd_object(5);
  snd_play(5, kSndLoop, 100);
  play_out(rec, 20000);
  for (int i = 0; i < 5; ++i) snd_play(5, kSndLoop, 100);  // each waits for the old feeder
  auto out = play_out(rec, 40000);
  for (std::size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], pcm[i % pcm.size()]) << i;
  snd_free(5);
  EXPECT_EQ(snd_object(5), nullptr);
  EXPECT_EQ(render(100), std::vector<std::int16_t>(200, 0));
}

TEST_F(StreamTest, StopEndsTheFeederAndVolumeApplies) {
  std::vector<std::int16_t> pcm;
  std::string ogg = make("stop", 30000, &pcm);
  RtHandle h = snd_load_file(-1, ogg.c_str(), kSndStreamFromData);
  SoundObject* rec = snd_object(h);
  snd_play(h, kSndLoop | kSndNewChannel, 30);  // the channel flag is ignored
  EXPECT_EQ(rec->channels, nullptr);
  EXPECT_EQ(plat_audio_buffer_volume(rec->buffer), -1046);
  EXPECT_EQ(plat_audio_buffer_status(rec->buffer), kPlatAudioPlaying | kPlatAudioLooping);
  EXPECT_EQ(rec->stream_flags, kSndLoop | kSndNewChannel);
  snd_stop(h, -1);
  EXPECT_EQ(rec->run, 0);
  wait_for_feeder_end(rec);
  EXPECT_EQ(rec->alive, 0);
  EXPECT_EQ(plat_audio_buffer_status(rec->buffer), 0u);
}

// Headers without one sample: a looping stream stops instead of spinning.
TEST_F(StreamTest, LoopingStreamWithoutSamplesStops) {
  std::string ogg = make_ogg("nothing", {}, 2, 44100);
  RtHandle h = snd_load_file(-1, ogg.c_str(), kSndStreamFromData);
  ASSERT_NE(h, 0);
  SoundObject* rec = snd_object(h);
  snd_play(h, kSndLoop, 100);
  auto out = play_out(rec, 4 * 16384);
  EXPECT_EQ(plat_audio_buffer_status(rec->buffer), 0u);
  for (auto v : out) ASSERT_EQ(v, 0);
  wait_for_feeder_end(rec);
  EXPECT_EQ(rec->alive, 0);
}

namespace {
// Mixes a streamed sound until it stops. Near each wrap of the buffer the
// output is mixed a frame at a time and then the feeder is given time to
// refill, so the wrap always falls where a device callback may end.
std::vector<std::int16_t> play_out_across_wraps(SoundObject* rec, int max_frames) {
  const std::uint32_t size = plat_audio_buffer_size(rec->buffer);
  const std::uint32_t near_end = size - 4 * kStep;
  std::vector<std::int16_t> out;
  while (static_cast<int>(out.size() / 2) < max_frames) {
    const std::uint32_t before = plat_audio_buffer_position(rec->buffer);
    auto part = render(before >= near_end ? 1 : kStep);
    out.insert(out.end(), part.begin(), part.end());
    if (!(plat_audio_buffer_status(rec->buffer) & kPlatAudioPlaying)) break;
    const bool wrapped = plat_audio_buffer_position(rec->buffer) < before;
    std::this_thread::sleep_for(std::chrono::milliseconds(wrapped ? 30 : 3));
  }
  return out;
}
}  // namespace

// The resampler reads a frame behind the cursor; at each wrap that frame is
// in the half the feeder refills next. The stream must still sound exactly
// like the same file decoded whole.
TEST_F(StreamTest, StreamAtAnotherRateSoundsLikeTheWholeDecode) {
  for (int rate : {22050, 48000}) {
    SCOPED_TRACE(rate);
    const int frames = 16384 * 4 + 5000;  // four wraps and a part
    std::string ogg = make_ogg("rate" + std::to_string(rate), tone(frames, 2, rate), 2, rate);
    RtHandle whole = snd_load_file(-1, ogg.c_str(), 0);
    ASSERT_NE(whole, 0);
    snd_play(whole, 0, 100);
    std::vector<std::int16_t> expected;
    while (plat_audio_buffer_status(snd_object(whole)->buffer) & kPlatAudioPlaying) {
      auto part = render(kStep);
      expected.insert(expected.end(), part.begin(), part.end());
    }
    snd_free(whole);
    const std::size_t heard = static_cast<std::size_t>(frames) * 44100 / rate * 2;
    ASSERT_GE(expected.size(), heard - 4);

    RtHandle h = snd_load_file(-1, ogg.c_str(), kSndStreamFromData);
    ASSERT_NE(h, 0);
    SoundObject* rec = snd_object(h);
    snd_play(h, 0, 100);
    auto out = play_out_across_wraps(rec, static_cast<int>(expected.size() / 2) + 3 * 16384);
    // Past its last frame a whole buffer stops, while the stream's cursor
    // runs on into the silence after it: the sound itself must match.
    ASSERT_GE(out.size(), heard);
    for (std::size_t i = 0; i < heard; ++i) ASSERT_EQ(out[i], expected[i]) << i;
    wait_for_feeder_end(rec);
    snd_free(h);
  }
}
