// Sets the sound library up once for a fuzz target on an output that nothing
// plays: the decoder table with the OGG decoder, the sound table.
#pragma once
#include <cstdint>
#include <vector>

#include "platform/audio.h"
#include "sound/sound.h"

inline void fuzz_sound_library() {
  static const bool ready = [] {
    plat_audio_use_manual(true);
    snd_decoders_init();
    return snd_init() != nullptr;
  }();
  (void)ready;
}

// Mixes a little of what is playing, so the buffer's bytes are all read.
inline void fuzz_mix_a_little() {
  std::vector<std::int16_t> out(2 * 256);
  plat_audio_render(out.data(), 256);
}
