// The sound decoder table: decoders are tried in the order they were
// registered, on a file or on a block of memory; the trampolines call a
// state's operations through the descriptor stored in its header.
#include <string>
#include <vector>

#include "sound/sound.h"

namespace {
std::vector<const SoundDecoder*>& decoders() {
  static std::vector<const SoundDecoder*> table;
  return table;
}
bool g_decoders_registered = false;
thread_local std::string t_problem;
}  // namespace

void snd_decoder_problem(const char* text) {
  t_problem = text ? text : "";
}
const char* snd_decoder_last_problem() {
  return t_problem.c_str();
}
void snd_decoder_clear_problem() {
  t_problem.clear();
}

void snd_register_decoder(const SoundDecoder* decoder) {
  if (decoder) decoders().push_back(decoder);
}

void snd_decoders_init() {
  if (g_decoders_registered) return;
  g_decoders_registered = true;
  snd_register_decoder(&snd_ogg_decoder);
}

SoundDecoderState* snd_decoder_open(const char* path, const void* memory, std::uint32_t size,
                                    std::uint32_t flags) {
  if (path) {
    std::FILE* stream = snd_open_file(path);
    if (!stream) return nullptr;
    for (const SoundDecoder* d : decoders()) {
      std::fseek(stream, 0, SEEK_SET);
      if (SoundDecoderState* state = d->open(stream, nullptr, 0, flags)) {
        state->decoder = d;
        state->stream = stream;
        return state;
      }
    }
    std::fclose(stream);
    return nullptr;
  }
  if (!memory) return nullptr;
  for (const SoundDecoder* d : decoders()) {
    if (SoundDecoderState* state = d->open(nullptr, memory, size, flags)) {
      state->decoder = d;
      state->stream = nullptr;
      return state;
    }
  }
  return nullptr;
}

std::uint32_t snd_decoder_read(SoundDecoderState* state, void* buffer, std::uint32_t bytes,
                               std::uint32_t flags) {
  return state->decoder->read(state, buffer, bytes, 0, flags);
}
void snd_decoder_rewind(SoundDecoderState* state) {
  state->decoder->rewind(state);
}
int snd_decoder_channels(SoundDecoderState* state) {
  return state->decoder->channels(state);
}
std::int32_t snd_decoder_length(SoundDecoderState* state) {
  return state->decoder->length(state);
}
int snd_decoder_rate(SoundDecoderState* state) {
  return state->decoder->rate(state);
}
void snd_decoder_close(SoundDecoderState* state) {
  state->decoder->close(state);
}
