// The sound library: numbered sounds held whole in a sound buffer or streamed
// through a two-half buffer by a feeder thread, WAV parsing, and the table of
// sound decoders (OGG Vorbis) that turn compressed data into 16-bit PCM.
#pragma once
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <span>

#include "runtime/objects.h"

struct PlatAudioBuffer;

inline constexpr std::uint32_t kSndStreamFromData = 1;  // load/catch flags bit 0
inline constexpr std::uint32_t kSndLoop = 1;            // play flags bit 0
inline constexpr std::uint32_t kSndNewChannel = 2;      // play flags bit 1
inline constexpr RtHandle kSndAllSounds = -1;
inline constexpr RtHandle kSndMainBuffer = 0;
inline constexpr RtHandle kSndAllBuffers = -1;
inline constexpr std::uint32_t kSndStreamBufferBytes = 65536;
inline constexpr std::uint32_t kSndWholeDecodeLimit = 64'000'000;

// One sound in the sound table. The record is live while buffer is non-null.
struct SoundObject {
  PlatAudioBuffer* buffer;
  RtChainBlock* channels;  // records of one PlatAudioBuffer* each: the duplicates
  std::int32_t pan;
  std::int32_t frequency;
  std::int32_t volume;
  struct SoundDecoderState* decoder;  // streamed sounds only
  std::uint32_t buffer_size;          // 65536 for streamed sounds
  std::atomic<std::uint8_t> run;      // the feeder thread is asked to keep running
  std::atomic<std::uint8_t> alive;    // a feeder thread exists for this sound
  std::uint32_t stream_flags;         // flags of the last play; bit 0 loop
  struct SndDecodeJob* decoding;      // a file's sound still being decoded into buffer
};

// A sound decoder: seven operations. Every state it returns begins with a
// SoundDecoderState header, which the decoder table fills in.
struct SoundDecoder {
  SoundDecoderState* (*open)(std::FILE* stream, const void* memory, std::uint32_t size,
                             std::uint32_t flags);
  std::uint32_t (*read)(SoundDecoderState* state, void* buffer, std::uint32_t bytes,
                        std::uint32_t reserved, std::uint32_t flags);
  void (*rewind)(SoundDecoderState* state);
  int (*channels)(SoundDecoderState* state);
  std::int32_t (*length)(SoundDecoderState* state);  // samples per channel
  int (*rate)(SoundDecoderState* state);
  void (*close)(SoundDecoderState* state);
};

struct SoundDecoderState {
  const SoundDecoder* decoder;
  std::FILE* stream;  // null when decoding from memory
};

// Sound objects.
void snd_decoders_init();
ObjectTable* snd_init();
RtHandle snd_load(RtHandle id, const char* path);
RtHandle snd_load_file(RtHandle id, const char* path, std::uint32_t flags);
// With this on, a whole load of a compressed file returns once its buffer
// exists, and a worker thread decodes into it; the sound plays at once, its
// cursor waiting wherever decoding has not got to, and freeing it stops the
// worker. Off (the default), the load returns with everything decoded.
void snd_set_background_loads(bool on);
// True while such a worker is still decoding the sound.
bool snd_is_decoding(RtHandle id);
RtHandle snd_catch_memory(RtHandle id, const void* memory, std::uint32_t size);
RtHandle snd_catch(RtHandle id, const void* memory, std::uint32_t size, std::uint32_t flags);
RtHandle snd_play(RtHandle id, std::uint32_t flags, int volume);
void snd_stop(RtHandle id, RtHandle channel);
void snd_stop_main(RtHandle id);
void snd_set_volume(RtHandle id, int volume, RtHandle channel);
void snd_volume(RtHandle id, int volume);
void snd_free(RtHandle id);
void snd_shutdown();
int snd_media_window_create();

// The live record of a sound (a number or a handle the table gave out), or null.
SoundObject* snd_object(RtHandle id);
// The volume table built by snd_init: entry v is the level of volume v.
std::int32_t snd_volume_entry(int volume);

// Decoders.
void snd_register_decoder(const SoundDecoder* decoder);
// A decoder tells here, in words, what it found wrong with the data it
// refused or opened with a defect (a truncated stream); the file loads turn
// it into one line naming the file. Per thread; a load starts it empty.
void snd_decoder_problem(const char* text);
const char* snd_decoder_last_problem();
void snd_decoder_clear_problem();
SoundDecoderState* snd_decoder_open(const char* path, const void* memory, std::uint32_t size,
                                    std::uint32_t flags);
std::uint32_t snd_decoder_read(SoundDecoderState* state, void* buffer, std::uint32_t bytes,
                               std::uint32_t flags);
void snd_decoder_rewind(SoundDecoderState* state);
int snd_decoder_channels(SoundDecoderState* state);
std::int32_t snd_decoder_length(SoundDecoderState* state);
int snd_decoder_rate(SoundDecoderState* state);
void snd_decoder_close(SoundDecoderState* state);
extern const SoundDecoder snd_ogg_decoder;

// Streaming.
int snd_stream_fill(SoundObject* sound, std::uint32_t offset);
int snd_stream_thread(SoundObject* sound);

// WAV: the PCM format and the first "data" chunk of a RIFF image.
struct SndWavInfo {
  const std::uint8_t* format;  // the "fmt " chunk as stored (WAVEFORMATEX)
  std::uint32_t format_size;
  const std::uint8_t* data;
  std::uint32_t data_size;
};
bool snd_is_riff(std::span<const std::uint8_t> image);
bool snd_wav_parse(std::span<const std::uint8_t> image, SndWavInfo* info);

// Opens a file named the program's way (backslashes separate folders).
std::FILE* snd_open_file(const char* path);
