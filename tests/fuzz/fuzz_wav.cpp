// Fuzzes the WAV reader: the chunk parser over the image, then the image
// taken whole into a sound buffer from memory and played a little, as a
// load of a .wav file does after reading it.
#include <span>

#include "tests/fuzz/fuzz_sound_setup.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_sound_library();
  if (size == 0 || size > 1 << 20) return 0;
  SndWavInfo info{};
  if (snd_wav_parse(std::span(data, size), &info)) {
    // What the parser hands out must lie inside the image.
    const std::uint8_t* end = data + size;
    if (info.format < data || info.format + info.format_size > end) __builtin_trap();
    if (info.data < data || info.data + info.data_size > end) __builtin_trap();
  }
  const RtHandle h = snd_catch_memory(-1, data, static_cast<std::uint32_t>(size));
  if (h) {
    snd_play(h, kSndLoop, 100);
    fuzz_mix_a_little();
    snd_free(h);
  }
  return 0;
}
