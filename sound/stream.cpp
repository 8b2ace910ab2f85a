// Streaming: a looping buffer of two halves that a feeder thread refills
// from the sound's decoder as the play cursor leaves each half.
#include <pthread.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "sound/sound_internal.h"

namespace {
constexpr auto kFeederPoll = std::chrono::milliseconds(10);

void* feeder_entry(void* sound) {
  snd_stream_thread(static_cast<SoundObject*>(sound));
  return nullptr;
}

// Starts a detached feeder; false when no thread could be made.
bool start_feeder(SoundObject* rec) {
  pthread_t thread;
  if (pthread_create(&thread, nullptr, feeder_entry, rec) != 0) return false;
  pthread_detach(thread);
  return true;
}
}  // namespace

RtHandle snd_stream_create(RtHandle id, SoundDecoderState* decoder) {
  PlatPcmFormat format = snd_pcm16_format(snd_decoder_channels(decoder), snd_decoder_rate(decoder));
  SoundObject* rec = snd_alloc_record(id);
  PlatAudioBuffer* buffer = rec ? plat_audio_buffer_create(format, kSndStreamBufferBytes) : nullptr;
  if (!buffer) {
    if (rec && id == -1) rt_object_release(snd_table(), reinterpret_cast<RtHandle>(rec));
    snd_decoder_close(decoder);
    return 0;
  }
  rec->buffer = buffer;
  rec->decoder = decoder;
  rec->buffer_size = kSndStreamBufferBytes;
  rec->pan = plat_audio_buffer_pan(buffer);
  rec->frequency = static_cast<std::int32_t>(plat_audio_buffer_frequency(buffer));
  rec->volume = plat_audio_buffer_volume(buffer);
  return reinterpret_cast<RtHandle>(rec);
}

int snd_stream_fill(SoundObject* sound, std::uint32_t offset) {
  const std::uint32_t half = sound->buffer_size / 2;
  void* region = nullptr;
  std::uint32_t bytes = 0;
  if (!plat_audio_buffer_lock(sound->buffer, offset, half, &region, &bytes)) return 0;
  std::uint32_t n = snd_decoder_read(sound->decoder, region, bytes, sound->stream_flags);
  std::memset(static_cast<char*>(region) + n, 0, bytes - n);
  plat_audio_buffer_unlock(sound->buffer, region, bytes);
  return n > 0 ? 1 : 0;
}

int snd_stream_thread(SoundObject* sound) {
  const std::uint32_t half = sound->buffer_size / 2;
  int next = 1;  // the second half is filled first
  int end_count = 0;
  sound->alive = 1;
  while (sound->run == 1) {
    std::this_thread::sleep_for(kFeederPoll);
    std::uint32_t p = plat_audio_buffer_position(sound->buffer);
    std::uint32_t offset;
    if (next == 0 && p > half)
      offset = 0;
    else if (next == 1 && p < half)
      offset = half;
    else
      continue;
    if (end_count == 0) {
      if (!snd_stream_fill(sound, offset)) end_count = 1;
    } else {
      ++end_count;
    }
    next = 1 - next;
    if (end_count >= 2) {
      plat_audio_buffer_stop(sound->buffer);
      sound->run = 0;
      break;
    }
  }
  sound->alive = 0;  // the last touch of the record
  return 0;
}

void snd_stream_end(SoundObject* rec) {
  rec->run = 0;
  while (rec->alive) std::this_thread::yield();
}

// The feeder is marked alive before it starts, so that a play or free that
// follows at once waits for it rather than sharing the decoder with it.
void snd_stream_play(RtHandle id, SoundObject* rec, std::uint32_t flags, int volume) {
  snd_stop_main(id);
  while (rec->alive) std::this_thread::sleep_for(kFeederPoll);
  snd_decoder_rewind(rec->decoder);
  rec->stream_flags = flags;
  rec->run = 1;
  snd_stream_fill(rec, 0);
  rec->alive = 1;
  if (!start_feeder(rec)) {
    rec->alive = 0;
    rec->run = 0;
    return;
  }
  if (volume != -1) snd_volume(id, volume);
  plat_audio_buffer_set_position(rec->buffer, 0);
  plat_audio_buffer_play(rec->buffer, true);
}
