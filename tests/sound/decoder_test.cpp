// The OGG Vorbis decoder against oggdec, the looping read, the decoder table
// and damaged OGG data.
#include <random>

#include "tests/sound/sound_test_util.h"

using namespace sndtest;

namespace {
Bytes decode_all(SoundDecoderState* d, std::uint32_t piece) {
  Bytes out;
  Bytes chunk(piece);
  for (;;) {
    std::uint32_t n = snd_decoder_read(d, chunk.data(), piece, 0);
    out.insert(out.end(), chunk.begin(), chunk.begin() + n);
    if (n < piece) return out;
  }
}

class DecoderTest : public ManualSound {
 protected:
  void SetUp() override {
    if (!tools_present()) GTEST_SKIP() << "oggenc/oggdec (vorbis-tools) not installed";
    ManualSound::SetUp();
  }
};
}  // namespace

TEST_F(DecoderTest, FileAndMemoryDecodeToTheBytesOggdecWrites) {
  for (int channels : {1, 2}) {
    const int rate = channels == 1 ? 22050 : 44100;
    auto samples = tone(rate * 3 / 2, channels, rate);
    std::string ogg = make_ogg("peer" + std::to_string(channels), samples, channels, rate);
    ASSERT_FALSE(ogg.empty());
    Bytes expected = oggdec_pcm(ogg);
    ASSERT_EQ(expected.size(), samples.size() * 2);

    SoundDecoderState* file = snd_decoder_open(ogg.c_str(), nullptr, 0, 0);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->decoder, &snd_ogg_decoder);
    EXPECT_NE(file->stream, nullptr);
    EXPECT_EQ(snd_decoder_channels(file), channels);
    EXPECT_EQ(snd_decoder_rate(file), rate);
    EXPECT_EQ(snd_decoder_length(file), rate * 3 / 2);
    EXPECT_EQ(decode_all(file, 32768), expected);
    snd_decoder_close(file);

    Bytes image = read_file(ogg);
    SoundDecoderState* mem =
        snd_decoder_open(nullptr, image.data(), static_cast<std::uint32_t>(image.size()), 0);
    ASSERT_NE(mem, nullptr);
    EXPECT_EQ(mem->stream, nullptr);
    EXPECT_EQ(decode_all(mem, 1000), expected);  // a piece size that is no multiple of 4096
    snd_decoder_close(mem);

    // Whole loads from a path (read into memory) and from memory.
    RtHandle h = snd_load(1, ogg.c_str());
    ASSERT_NE(h, 0);
    EXPECT_EQ(buffer_bytes(reinterpret_cast<PlatAudioBuffer*>(h)), expected);
    EXPECT_EQ(snd_object(1)->frequency, rate);
    EXPECT_EQ(snd_object(1)->decoder, nullptr);
    h = catch_image(-1, image);
    ASSERT_NE(h, 0);
    EXPECT_EQ(buffer_bytes(snd_object(h)->buffer), expected);
  }
}

TEST_F(DecoderTest, BackslashPathsAreMappedToFolders) {
  auto samples = tone(2000, 2, 44100);
  std::string ogg = make_ogg("slash", samples, 2, 44100);
  std::string windows = ogg;
  for (char& c : windows) {
    if (c == '/') c = '\\';
  }
  EXPECT_NE(snd_load(-1, windows.c_str()), 0);
}

TEST_F(DecoderTest, LoopingReadWrapsAndRewindRestarts) {
  auto samples = tone(1000, 2, 44100);
  std::string ogg = make_ogg("loop", samples, 2, 44100);
  Bytes once = oggdec_pcm(ogg);
  ASSERT_EQ(once.size(), 4000u);
  SoundDecoderState* d = snd_decoder_open(ogg.c_str(), nullptr, 0, 0);
  ASSERT_NE(d, nullptr);
  Bytes three(12000);
  ASSERT_EQ(snd_decoder_read(d, three.data(), 12000, kSndLoop), 12000u);
  for (int k = 0; k < 3; ++k) {
    EXPECT_TRUE(std::equal(once.begin(), once.end(), three.begin() + k * 4000)) << k;
  }
  snd_decoder_rewind(d);
  Bytes again(4000);
  EXPECT_EQ(snd_decoder_read(d, again.data(), 4000, 0), 4000u);
  EXPECT_EQ(again, once);
  EXPECT_EQ(snd_decoder_read(d, again.data(), 4000, 0), 0u);  // at the end, no loop
  snd_decoder_close(d);
}

// An OGG stream that holds headers but not one sample: a looping read must
// give up instead of rewinding for ever.
TEST_F(DecoderTest, LoopingReadOfDataWithoutSamplesEnds) {
  std::string ogg = make_ogg("empty", {}, 2, 44100);
  ASSERT_FALSE(ogg.empty());
  Bytes image = read_file(ogg);
  SoundDecoderState* d =
      snd_decoder_open(nullptr, image.data(), static_cast<std::uint32_t>(image.size()), 0);
  ASSERT_NE(d, nullptr);
  Bytes out(32768);
  EXPECT_EQ(snd_decoder_read(d, out.data(), 32768, kSndLoop), 0u);
  snd_decoder_close(d);
  // Nothing to decode whole: the load fails.
  EXPECT_EQ(catch_image(-1, image), 0);
}

TEST_F(DecoderTest, DataNoDecoderAcceptsYieldsNull) {
  Bytes junk(5000);
  for (std::size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<std::uint8_t>(i * 31 + 7);
  EXPECT_EQ(snd_decoder_open(nullptr, junk.data(), 5000, 0), nullptr);
  EXPECT_EQ(snd_catch_memory(-1, junk.data(), 5000), 0);
  EXPECT_EQ(snd_catch(-1, junk.data(), 5000, kSndStreamFromData), 0);
  std::string path = temp_dir() + "/junk.ogg";
  write_file(path, junk);
  EXPECT_EQ(snd_decoder_open(path.c_str(), nullptr, 0, 0), nullptr);
  EXPECT_EQ(snd_load_file(-1, path.c_str(), kSndStreamFromData), 0);
  EXPECT_EQ(snd_decoder_open("no/such.ogg", nullptr, 0, 0), nullptr);
  EXPECT_EQ(snd_load_file(-1, "no/such.ogg", kSndStreamFromData), 0);
}

// Truncated and damaged files: loads succeed or fail, never crash or read
// outside the image (the sanitizer build checks the reads).
TEST_F(DecoderTest, TruncatedAndDamagedOggIsHandled) {
  auto samples = tone(3 * 44100, 2, 44100);
  std::string ogg = make_ogg("damage", samples, 2, 44100);
  const Bytes good = read_file(ogg);
  ASSERT_GT(good.size(), 1000u);
  std::vector<std::size_t> cuts{1, 4, 27, 58, 100, 500, 3000, 4000};
  for (std::size_t n = good.size() / 2; n < good.size(); n += good.size() / 7) cuts.push_back(n);
  for (std::size_t n : cuts) {
    Bytes cut(good.begin(), good.begin() + static_cast<long>(std::min(n, good.size())));
    RtHandle h = catch_image(-1, cut);
    if (h) snd_free(h);
  }
  std::mt19937 rng(11);
  int loaded = 0;
  for (int i = 0; i < 150; ++i) {
    // Even rounds damage only audio pages in the middle, odd ones any byte.
    const std::size_t from = i % 2 == 0 ? good.size() / 4 : 0;
    const std::size_t span = i % 2 == 0 ? good.size() / 2 : good.size();
    Bytes bad = good;
    for (int k = 0; k < 8; ++k)
      bad[from + rng() % span] ^= static_cast<std::uint8_t>(1 + rng() % 255);
    RtHandle h = catch_image(-1, bad);
    if (h) {
      loaded += i % 2 == 0;
      snd_free(h);
    }
    SoundDecoderState* d =
        snd_decoder_open(nullptr, bad.data(), static_cast<std::uint32_t>(bad.size()), 0);
    if (d) {
      Bytes out(32768);
      snd_decoder_read(d, out.data(), 32768, kSndLoop);
      snd_decoder_close(d);
    }
  }
  EXPECT_GT(loaded, 60);  // damaged audio pages are skipped
}

namespace {
// A decoder for images that begin with "FAKE": a long stereo sound of a
// counting pattern, recording how it is called.
struct FakeState {
  SoundDecoderState header;
  std::uint32_t produced;
};
struct FakeLog {
  int opens = 0, closes = 0;
  std::uint32_t last_request = 0, last_flags = 99;
} g_fake;

const SoundDecoder kFakeDecoder{
    [](std::FILE*, const void* memory, std::uint32_t size, std::uint32_t) -> SoundDecoderState* {
      if (!memory || size < 4 || std::memcmp(memory, "FAKE", 4) != 0) return nullptr;
      ++g_fake.opens;
      return &(new FakeState{})->header;
    },
    [](SoundDecoderState* s, void* buffer, std::uint32_t bytes, std::uint32_t,
       std::uint32_t flags) -> std::uint32_t {
      g_fake.last_request = bytes;
      g_fake.last_flags = flags;
      auto* fake = reinterpret_cast<FakeState*>(s);
      auto* out = static_cast<std::uint8_t*>(buffer);
      for (std::uint32_t i = 0; i < bytes; ++i)
        out[i] = static_cast<std::uint8_t>(fake->produced++);
      return bytes;
    },
    [](SoundDecoderState* s) { reinterpret_cast<FakeState*>(s)->produced = 0; },
    [](SoundDecoderState*) { return 2; },
    [](SoundDecoderState*) -> std::int32_t { return 20'000'000; },  // 80,000,000 bytes
    [](SoundDecoderState*) { return 44100; },
    [](SoundDecoderState* s) {
      ++g_fake.closes;
      delete reinterpret_cast<FakeState*>(s);
    },
};
}  // namespace

// Data the OGG decoder rejects goes to the next registered decoder; a whole
// decode is cut at 64,000,000 bytes and read without the loop flag.
TEST_F(DecoderTest, LaterDecodersAndTheWholeDecodeLimit) {
  static const bool registered = (snd_register_decoder(&kFakeDecoder), true);
  ASSERT_TRUE(registered);
  const char image[] = "FAKE and some bytes";
  SoundDecoderState* d = snd_decoder_open(nullptr, image, sizeof image, 0);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->decoder, &kFakeDecoder);
  snd_decoder_close(d);

  g_fake = FakeLog{};
  RtHandle h = snd_catch(-1, image, sizeof image, 0);
  ASSERT_NE(h, 0);
  PlatAudioBuffer* b = snd_object(h)->buffer;
  EXPECT_EQ(plat_audio_buffer_size(b), kSndWholeDecodeLimit);
  EXPECT_EQ(g_fake.last_request, kSndWholeDecodeLimit);
  EXPECT_EQ(g_fake.last_flags, 0u);
  EXPECT_EQ(g_fake.opens, 1);
  EXPECT_EQ(g_fake.closes, 1);  // closed after a whole decode
  Bytes bytes = buffer_bytes(b);
  EXPECT_EQ(bytes[12345678], static_cast<std::uint8_t>(12345678));
  snd_free(h);

  // Streamed from memory: the decoder stays open until the sound is freed.
  h = snd_catch(7, image, sizeof image, kSndStreamFromData);
  ASSERT_NE(h, 0);
  EXPECT_EQ(plat_audio_buffer_size(snd_object(7)->buffer), kSndStreamBufferBytes);
  EXPECT_EQ(g_fake.closes, 1);
  snd_free(7);
  EXPECT_EQ(g_fake.closes, 2);
}
