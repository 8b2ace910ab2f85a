// Audio output: PCM sound buffers mixed into one 44.1 kHz stereo 16-bit
// stream, either on an SDL audio device or, for tests and benchmarks, by a
// caller that pulls the mixed frames itself.
#pragma once
#include <cstdint>

// A buffer's sample format, laid out as a WAVEFORMATEX without its extra bytes.
struct PlatPcmFormat {
  std::uint16_t format_tag;  // 1: PCM
  std::uint16_t channels;    // 1 or 2
  std::uint32_t samples_per_sec;
  std::uint32_t avg_bytes_per_sec;
  std::uint16_t block_align;      // channels * bits / 8
  std::uint16_t bits_per_sample;  // 8 (unsigned) or 16 (signed)
};

inline constexpr std::uint16_t kPlatFormatPcm = 1;
inline constexpr int kPlatAudioRate = 44100;               // the mixed stream: stereo, 16-bit
inline constexpr std::int32_t kPlatVolumeSilent = -10000;  // hundredths of a dB
inline constexpr std::int32_t kPlatVolumeFull = 0;
inline constexpr std::int32_t kPlatPanLeft = -10000;
inline constexpr std::int32_t kPlatPanRight = 10000;

// Status bits, as a sound buffer reports them.
inline constexpr std::uint32_t kPlatAudioPlaying = 1;
inline constexpr std::uint32_t kPlatAudioLooping = 4;

struct PlatAudioBuffer;

// Opens the output. With the SDL device it asks for 44.1 kHz stereo 16-bit
// and lets SDL convert; false when no device can be opened. In manual mode it
// always succeeds and nothing plays until plat_audio_render is called.
bool plat_audio_open();
void plat_audio_close();  // releases every buffer still alive
bool plat_audio_is_open();
// The output device went away (unplugged, its server ended): the buffers
// live on and play silently, nothing mixes them. When a device is added,
// the output opens on it again and they are heard from where they are.
// The display's event pump calls these; `device` is the SDL device id.
void plat_audio_device_removed(unsigned device);
void plat_audio_device_added();
unsigned plat_audio_device();  // 0 while there is none
// Manual mode (set before plat_audio_open): no device, the caller mixes.
void plat_audio_use_manual(bool manual);
// Mixes the next frames of the output (interleaved left, right) and advances
// every playing buffer, exactly as the device callback does.
void plat_audio_render(std::int16_t* out, int frames);

// Buffers exist only while the output is open; create fails otherwise, and
// for formats other than 8- or 16-bit PCM with 1 or 2 channels and a rate,
// or a size that is zero or not a whole number of frames. The samples start
// as silence unless silent is false, for a caller that writes every byte
// through a lock before the buffer plays.
PlatAudioBuffer* plat_audio_buffer_create(const PlatPcmFormat& format, std::uint32_t bytes,
                                          bool silent = true);
// A new buffer over the same samples, stopped at position 0, with the
// original's volume, pan and frequency.
PlatAudioBuffer* plat_audio_buffer_duplicate(PlatAudioBuffer* buffer);
void plat_audio_buffer_release(PlatAudioBuffer* buffer);

// Locks bytes from offset (cut at the end of the buffer) for writing; the
// region holds the current samples. Unlock with the same pointer and length.
// While a lock that starts before the filled mark (below) is held, the
// samples play on from a copy, or as silence if they were not playing.
bool plat_audio_buffer_lock(PlatAudioBuffer* buffer, std::uint32_t offset, std::uint32_t bytes,
                            void** region, std::uint32_t* region_bytes);
bool plat_audio_buffer_unlock(PlatAudioBuffer* buffer, void* region, std::uint32_t region_bytes);

// For samples written while they may already play: only the first bytes
// (whole frames) count as filled, and the cursor of every buffer over these
// samples waits at their end, playing silence, until more are marked. A new
// buffer is filled whole.
bool plat_audio_buffer_set_filled(PlatAudioBuffer* buffer, std::uint32_t bytes);

bool plat_audio_buffer_play(PlatAudioBuffer* buffer, bool looping);
bool plat_audio_buffer_stop(PlatAudioBuffer* buffer);
// Byte offsets of the play cursor, whole frames.
bool plat_audio_buffer_set_position(PlatAudioBuffer* buffer, std::uint32_t offset);
std::uint32_t plat_audio_buffer_position(PlatAudioBuffer* buffer);
std::uint32_t plat_audio_buffer_status(PlatAudioBuffer* buffer);
std::uint32_t plat_audio_buffer_size(PlatAudioBuffer* buffer);
PlatPcmFormat plat_audio_buffer_format(PlatAudioBuffer* buffer);

// Hundredths of a decibel, kPlatVolumeSilent … kPlatVolumeFull; -10000 is silence.
bool plat_audio_buffer_set_volume(PlatAudioBuffer* buffer, std::int32_t volume);
std::int32_t plat_audio_buffer_volume(PlatAudioBuffer* buffer);
// Hundredths of a decibel taken off the other side, kPlatPanLeft … kPlatPanRight.
bool plat_audio_buffer_set_pan(PlatAudioBuffer* buffer, std::int32_t pan);
std::int32_t plat_audio_buffer_pan(PlatAudioBuffer* buffer);
// Playback rate in samples per second; the mixer resamples to the output.
bool plat_audio_buffer_set_frequency(PlatAudioBuffer* buffer, std::uint32_t frequency);
std::uint32_t plat_audio_buffer_frequency(PlatAudioBuffer* buffer);
