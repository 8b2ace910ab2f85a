// WAV images: the chunk walk, format checks and damaged files.
#include <random>

#include "tests/sound/sound_test_util.h"

using namespace sndtest;

class WavTest : public ManualSound {};

TEST_F(WavTest, LoadsPcmAsStoredIn8And16BitMonoAndStereo) {
  for (int bits : {8, 16}) {
    for (int channels : {1, 2}) {
      WavLayout w;
      w.bits = bits;
      w.channels = channels;
      w.rate = 22050;
      Bytes data(static_cast<std::size_t>(bits / 8 * channels) * 100);
      for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
      Bytes image = wav_image(w, data);
      RtHandle h = catch_image(3, image);
      ASSERT_NE(h, 0) << bits << " bits, " << channels << " channels";
      auto* buffer = reinterpret_cast<PlatAudioBuffer*>(h);
      EXPECT_EQ(snd_object(3)->buffer, buffer);
      EXPECT_EQ(buffer_bytes(buffer), data);
      PlatPcmFormat f = plat_audio_buffer_format(buffer);
      EXPECT_EQ(f.bits_per_sample, bits);
      EXPECT_EQ(f.channels, channels);
      EXPECT_EQ(snd_object(3)->frequency, 22050);
    }
  }
}

TEST_F(WavTest, DataAfterOddSizedChunkIsFoundWithoutPadByte) {
  WavLayout w;
  w.extra_chunks.push_back({"LIST", Bytes{1, 2, 3}});  // odd size, no pad follows
  Bytes data{10, 0, 20, 0, 30, 0, 40, 0};
  Bytes image = wav_image(w, data);
  RtHandle h = catch_image(-1, image);
  ASSERT_NE(h, 0);
  EXPECT_EQ(buffer_bytes(snd_object(h)->buffer), data);

  // The same file written with a pad byte after the odd chunk does not
  // parse as stored sizes say: the walk lands one byte early and fails.
  Bytes padded = image;
  const std::size_t list_end = 20 + 16 + 8 + 3;
  padded.insert(padded.begin() + static_cast<long>(list_end), 0);
  EXPECT_EQ(catch_image(-1, padded), 0);
}

TEST_F(WavTest, LongerFmtChunkMovesTheWalk) {
  WavLayout w;
  w.fmt_size = 18;  // WAVEFORMATEX with cbSize
  Bytes data{1, 0, 2, 0, 3, 0, 4, 0};
  Bytes image = wav_image(w, data);
  RtHandle h = catch_image(-1, image);
  ASSERT_NE(h, 0);
  EXPECT_EQ(buffer_bytes(snd_object(h)->buffer), data);
}

TEST_F(WavTest, RejectsFormatsThatAreNot8Or16BitPcm) {
  Bytes data(64, 1);
  WavLayout bad[6];
  bad[0].bits = 24;
  bad[1].bits = 32;
  bad[2].format_tag = 3;  // float
  bad[3].channels = 0;
  bad[4].rate = 0;
  bad[5].fmt_size = 14;  // too short for a format
  for (const WavLayout& w : bad) {
    Bytes image = wav_image(w, data);
    EXPECT_EQ(catch_image(5, image), 0)
        << w.bits << " " << w.format_tag << " " << w.channels << " " << w.rate;
  }
  EXPECT_EQ(snd_object(5), nullptr);
}

TEST_F(WavTest, RejectsMissingFmtWrongSizesAndTruncation) {
  Bytes data(400, 9);
  Bytes good = wav_image(WavLayout{}, data);

  Bytes no_fmt = good;
  std::memcpy(no_fmt.data() + 12, "junk", 4);
  EXPECT_EQ(catch_image(-1, no_fmt), 0);

  Bytes huge_fmt = good;
  huge_fmt[16] = 0xff;
  huge_fmt[19] = 0x7f;
  EXPECT_EQ(catch_image(-1, huge_fmt), 0);

  Bytes long_data = good;  // data chunk says more than the file holds
  const std::uint32_t claimed = 401;
  std::memcpy(long_data.data() + 40, &claimed, 4);
  EXPECT_EQ(catch_image(-1, long_data), 0);

  Bytes no_data = good;
  std::memcpy(no_data.data() + 36, "fact", 4);
  EXPECT_EQ(catch_image(-1, no_data), 0);

  Bytes empty = wav_image(WavLayout{}, Bytes{});
  EXPECT_EQ(catch_image(-1, empty), 0);

  // Every truncation of a valid file: a size smaller than the image.
  for (std::size_t n = 1; n < 44; ++n) {
    Bytes cut(good.begin(), good.begin() + static_cast<long>(n));
    EXPECT_EQ(catch_image(-1, cut), 0) << n;
  }
  EXPECT_EQ(snd_catch_memory(-1, good.data(), static_cast<std::uint32_t>(good.size() - 1)), 0);
  EXPECT_NE(catch_image(-1, good), 0);
}

// Random damage never crashes or reads outside the image (the sanitizer
// build checks the reads; each case gets its own exactly sized copy).
TEST_F(WavTest, RandomlyDamagedImagesAreHandled) {
  WavLayout w;
  w.extra_chunks.push_back({"LIST", Bytes(13, 4)});
  Bytes good = wav_image(w, Bytes(256, 3));
  std::mt19937 rng(7);
  int loaded = 0;
  for (int i = 0; i < 3000; ++i) {
    Bytes image = good;
    for (int k = 0; k < 3; ++k) image[rng() % image.size()] = static_cast<std::uint8_t>(rng());
    image.resize(rng() % (image.size() + 1));
    if (image.empty()) continue;
    std::vector<std::uint8_t> exact(image);  // heap block of exactly the image size
    RtHandle h = catch_image(-1, exact);
    if (h) {
      ++loaded;
      snd_free(h);
    }
  }
  EXPECT_GT(loaded, 0);
}
