// The output mixer under the sound buffers: resampling from other rates,
// 8-bit and mono data, pan, clipping, duplicates and locking while playing.
#include "tests/sound/sound_test_util.h"

using namespace sndtest;

namespace {
PlatPcmFormat pcm(int channels, int rate, int bits) {
  auto align = static_cast<std::uint16_t>(channels * bits / 8);
  return PlatPcmFormat{kPlatFormatPcm,
                       static_cast<std::uint16_t>(channels),
                       static_cast<std::uint32_t>(rate),
                       static_cast<std::uint32_t>(rate) * align,
                       align,
                       static_cast<std::uint16_t>(bits)};
}

PlatAudioBuffer* buffer_with(const PlatPcmFormat& f, const void* data, std::uint32_t bytes) {
  PlatAudioBuffer* b = plat_audio_buffer_create(f, bytes);
  void* region;
  std::uint32_t n;
  if (!b || !plat_audio_buffer_lock(b, 0, bytes, &region, &n)) return nullptr;
  std::memcpy(region, data, n);
  plat_audio_buffer_unlock(b, region, n);
  return b;
}

class MixerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat_audio_use_manual(true);
    ASSERT_TRUE(plat_audio_open());
  }
  void TearDown() override {
    plat_audio_close();
    plat_audio_use_manual(false);
  }
};
}  // namespace

TEST_F(MixerTest, HalfRateMonoIsResampledSmoothly) {
  const int frames = 2205;  // 0.1 s at 22050 Hz
  std::vector<std::int16_t> s(frames);
  for (int i = 0; i < frames; ++i) s[i] = static_cast<std::int16_t>(10000 * std::sin(i * 0.05));
  PlatAudioBuffer* b = buffer_with(pcm(1, 22050, 16), s.data(), frames * 2);
  ASSERT_NE(b, nullptr);
  plat_audio_buffer_play(b, false);
  auto out = render(2 * frames + 10);
  for (int k = 2; k < 2 * frames - 4; ++k) {
    const double expected = 10000 * std::sin(k * 0.025);
    ASSERT_EQ(out[2 * k], out[2 * k + 1]) << k;  // mono goes to both sides
    if (k % 2 == 0) {
      ASSERT_EQ(out[2 * k], s[k / 2]) << k;  // whole positions are exact
    }
    ASSERT_NEAR(out[2 * k], expected, 2.0) << k;  // cubic between them
  }
  EXPECT_EQ(plat_audio_buffer_status(b), 0u);
  for (int k = 2 * frames; k < 2 * frames + 10; ++k) EXPECT_EQ(out[2 * k], 0);
}

TEST_F(MixerTest, EightBitPanClippingAndDuplicates) {
  std::vector<std::uint8_t> s8(100, 0x80 + 64);  // +64 in 8 bits is 16384
  PlatAudioBuffer* b = buffer_with(pcm(1, 44100, 8), s8.data(), 100);
  PlatAudioBuffer* d = plat_audio_buffer_duplicate(b);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(plat_audio_buffer_size(d), 100u);
  plat_audio_buffer_set_pan(d, 2000);  // right: the left side loses 20 dB
  plat_audio_buffer_play(b, true);
  plat_audio_buffer_play(d, true);
  auto out = render(50);
  EXPECT_EQ(out[0], 16384 + 1638);
  EXPECT_EQ(out[1], 32767);      // 32768 clipped
  plat_audio_buffer_release(b);  // the duplicate keeps the samples
  out = render(50);
  EXPECT_EQ(out[0], 1638);
  EXPECT_EQ(out[1], 16384);
  EXPECT_EQ(plat_audio_buffer_position(d), 0u);  // 100 frames: wrapped exactly
}

TEST_F(MixerTest, LockWhilePlayingTakesEffectAtUnlock) {
  std::vector<std::int16_t> s(2 * 1000, 1000);
  PlatAudioBuffer* b = buffer_with(pcm(2, 44100, 16), s.data(), 4000);
  plat_audio_buffer_play(b, true);
  void* region;
  std::uint32_t n;
  ASSERT_TRUE(plat_audio_buffer_lock(b, 3000, 4000, &region, &n));
  EXPECT_EQ(n, 1000u);  // cut at the end of the buffer
  std::memset(region, 0, n);
  EXPECT_EQ(render(1000)[2 * 999], 1000);  // not yet in place
  plat_audio_buffer_unlock(b, region, n);
  EXPECT_EQ(render(1000)[2 * 999], 0);
  EXPECT_FALSE(plat_audio_buffer_lock(b, 4000, 4, &region, &n));
}

TEST_F(MixerTest, RejectsBadFormatsAndNoOutput) {
  EXPECT_EQ(plat_audio_buffer_create(pcm(3, 44100, 16), 600), nullptr);
  EXPECT_EQ(plat_audio_buffer_create(pcm(2, 44100, 24), 600), nullptr);
  EXPECT_EQ(plat_audio_buffer_create(pcm(2, 0, 16), 600), nullptr);
  EXPECT_EQ(plat_audio_buffer_create(pcm(2, 44100, 16), 0), nullptr);
  EXPECT_EQ(plat_audio_buffer_create(pcm(2, 44100, 16), 6), nullptr);  // not whole frames
  PlatPcmFormat wrong_align = pcm(2, 44100, 16);
  wrong_align.block_align = 2;
  EXPECT_EQ(plat_audio_buffer_create(wrong_align, 600), nullptr);
  PlatAudioBuffer* b = plat_audio_buffer_create(pcm(2, 44100, 16), 600);
  ASSERT_NE(b, nullptr);
  EXPECT_FALSE(plat_audio_buffer_set_volume(b, 1));
  EXPECT_FALSE(plat_audio_buffer_set_volume(b, -10001));
  plat_audio_close();  // releases every buffer
  EXPECT_EQ(plat_audio_buffer_size(b), 0u);
  EXPECT_EQ(plat_audio_buffer_create(pcm(2, 44100, 16), 600), nullptr);
  ASSERT_TRUE(plat_audio_open());
}
