// Fuzzes the OGG Vorbis decoder through its memory callbacks: the decoder
// read, rewound and read again as a stream's feeder does, then the image
// decoded whole into a sound buffer and played a little, as a load does.
#include <array>

#include "tests/fuzz/fuzz_sound_setup.h"

namespace {
constexpr std::uint32_t kReadBytes = 4096;
constexpr int kMaxReads = 64;  // bounds one input's time; a long stream is cut short
constexpr std::int64_t kMaxWholeBytes = 4 << 20;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_sound_library();
  if (size == 0 || size > 1 << 20) return 0;
  const auto bytes = static_cast<std::uint32_t>(size);
  if (SoundDecoderState* d = snd_decoder_open(nullptr, data, bytes, 0)) {
    std::array<std::uint8_t, kReadBytes> pcm;
    (void)snd_decoder_channels(d);
    (void)snd_decoder_rate(d);
    (void)snd_decoder_length(d);
    for (int i = 0; i < kMaxReads && snd_decoder_read(d, pcm.data(), kReadBytes, 0) > 0; ++i) {
    }
    snd_decoder_rewind(d);
    snd_decoder_read(d, pcm.data(), kReadBytes, kSndLoop);
    snd_decoder_close(d);
  }
  // A whole decode is bounded by the length the stream claims; keep inputs
  // that claim minutes of sound from slowing the run.
  if (SoundDecoderState* d = snd_decoder_open(nullptr, data, bytes, 0)) {
    const std::int64_t claimed = std::int64_t{snd_decoder_channels(d)} * snd_decoder_length(d) * 2;
    const bool short_enough = claimed <= kMaxWholeBytes;
    snd_decoder_close(d);
    if (!short_enough) return 0;
  }
  if (RtHandle h = snd_catch_memory(-1, data, bytes)) {
    snd_play(h, 0, 100);
    fuzz_mix_a_little();
    snd_free(h);
  }
  return 0;
}
