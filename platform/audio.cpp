// Audio output on SDL2: the device, the sound buffers and their locking. The
// mixer that the device callback runs is in audio_mix.cpp; both share the one
// mutex below, so buffers may be used from any thread.
#include "platform/audio.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/audio_mix_internal.h"
#include "platform/log.h"

namespace {
std::atomic<bool> g_manual{false};
SDL_AudioDeviceID g_device = 0;
bool g_sdl_audio = false;

float gain_of(std::int32_t hundredths_db) {
  if (hundredths_db <= kPlatVolumeSilent) return 0.0f;
  return static_cast<float>(std::pow(10.0, hundredths_db / 2000.0));
}

void update_gains(PlatAudioBuffer* b) {
  float g = gain_of(b->volume);
  b->gain_left = g * (b->pan > 0 ? gain_of(-b->pan) : 1.0f);
  b->gain_right = g * (b->pan < 0 ? gain_of(b->pan) : 1.0f);
}

bool format_ok(const PlatPcmFormat& f) {
  if (f.format_tag != kPlatFormatPcm) return false;
  if (f.channels < 1 || f.channels > 2 || f.samples_per_sec == 0) return false;
  if (f.bits_per_sample != 8 && f.bits_per_sample != 16) return false;
  return f.block_align == f.channels * f.bits_per_sample / 8;
}

void release_samples(PlatAudioSamples* s) {
  if (--s->refs > 0) return;
  std::free(s->bytes);
  delete s;
}

// Removes a buffer from the registry; the caller holds the mutex.
void unregister(PlatAudioBuffer* b) {
  auto& all = plat_audio_state().buffers;
  all.erase(std::remove(all.begin(), all.end(), b), all.end());
  release_samples(b->samples);
  delete b;
}

void SDLCALL device_callback(void*, Uint8* stream, int len) {
  plat_audio_render(reinterpret_cast<std::int16_t*>(stream), len / 4);
}

// The output itself, on an initialised audio subsystem.
bool open_output() {
  SDL_AudioSpec want{};
  want.freq = kPlatAudioRate;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = 1024;
  want.callback = device_callback;
  SDL_AudioSpec have{};
  g_device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (g_device == 0) return false;
  SDL_PauseAudioDevice(g_device, 0);
  return true;
}

void say_silent() {
  plat_log(PlatLogLevel::Warning, "audio", "no audio device: playing silently (SDL: %s)",
           SDL_GetError());
}

// The sound system's drivers print their own complaints about a missing
// device; the one line the user gets is the channel's.
bool open_device() {
  PlatStderrMute mute;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    say_silent();
    return false;
  }
  if (!open_output()) {
    say_silent();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  g_sdl_audio = true;
  return true;
}

// A new buffer record. Its address is kept where tables look for a non-zero
// first 32-bit field, so its low half must not be zero.
PlatAudioBuffer* new_buffer() {
  auto* b = new PlatAudioBuffer{};
  if ((reinterpret_cast<std::uintptr_t>(b) & 0xffffffffu) != 0) return b;
  auto* other = new PlatAudioBuffer{};
  delete b;
  return other;
}

// A live buffer, or null; the caller holds the mutex.
PlatAudioBuffer* live(PlatAudioBuffer* b) {
  if (!b) return nullptr;
  auto& all = plat_audio_state().buffers;
  return std::find(all.begin(), all.end(), b) != all.end() ? b : nullptr;
}
}  // namespace

PlatAudioState& plat_audio_state() {
  // Never destroyed: the device thread may still mix while the process exits
  // without the end sequence (tests, crashes elsewhere), and it must not
  // find the buffer list gone.
  static PlatAudioState& state = *new PlatAudioState;
  return state;
}

void plat_audio_use_manual(bool manual) {
  g_manual = manual;
}

bool plat_audio_open() {
  auto& st = plat_audio_state();
  if (st.open) return true;
  if (!g_manual && !open_device()) return false;
  std::lock_guard lock(st.mutex);
  st.open = true;
  return true;
}

void plat_audio_device_removed(unsigned device) {
  if (!g_sdl_audio || device != g_device || g_device == 0) return;
  SDL_CloseAudioDevice(g_device);
  g_device = 0;
}

void plat_audio_device_added() {
  if (g_sdl_audio && g_device == 0 && plat_audio_is_open()) open_output();
}

unsigned plat_audio_device() {
  return g_device;
}

void plat_audio_close() {
  auto& st = plat_audio_state();
  if (g_sdl_audio) {
    if (g_device != 0) SDL_CloseAudioDevice(g_device);  // waits for a running callback
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    g_device = 0;
    g_sdl_audio = false;
  }
  std::lock_guard lock(st.mutex);
  while (!st.buffers.empty()) unregister(st.buffers.back());
  st.open = false;
}

bool plat_audio_is_open() {
  auto& st = plat_audio_state();
  std::lock_guard lock(st.mutex);
  return st.open;
}

PlatAudioBuffer* plat_audio_buffer_create(const PlatPcmFormat& format, std::uint32_t bytes,
                                          bool silent) {
  auto& st = plat_audio_state();
  if (!format_ok(format) || bytes == 0 || bytes % format.block_align != 0) return nullptr;
  auto* data = static_cast<std::uint8_t*>(std::malloc(bytes));
  if (!data) return nullptr;
  if (silent) std::memset(data, format.bits_per_sample == 8 ? 0x80 : 0, bytes);
  auto* s = new PlatAudioSamples{data, bytes, format, 1, 0, {}, bytes};
  auto* b = new_buffer();
  b->samples = s;
  b->frequency = format.samples_per_sec;
  update_gains(b);
  std::lock_guard lock(st.mutex);
  if (!st.open) {
    release_samples(s);
    delete b;
    return nullptr;
  }
  st.buffers.push_back(b);
  return b;
}

PlatAudioBuffer* plat_audio_buffer_duplicate(PlatAudioBuffer* buffer) {
  auto& st = plat_audio_state();
  std::lock_guard lock(st.mutex);
  PlatAudioBuffer* src = live(buffer);
  if (!src) return nullptr;
  auto* b = new_buffer();
  b->samples = src->samples;
  ++b->samples->refs;
  b->volume = src->volume;
  b->pan = src->pan;
  b->frequency = src->frequency;
  update_gains(b);
  st.buffers.push_back(b);
  return b;
}

void plat_audio_buffer_release(PlatAudioBuffer* buffer) {
  auto& st = plat_audio_state();
  std::lock_guard lock(st.mutex);
  if (live(buffer)) unregister(buffer);
}

// A lock writes straight into the samples when no buffer over them is
// playing (the mixer skips them until the unlock); otherwise into a copy that
// the unlock puts in place, so the mixer never reads half-written samples.
bool plat_audio_buffer_lock(PlatAudioBuffer* buffer, std::uint32_t offset, std::uint32_t bytes,
                            void** region, std::uint32_t* region_bytes) {
  auto& st = plat_audio_state();
  std::lock_guard lock(st.mutex);
  PlatAudioBuffer* b = live(buffer);
  if (!b || !region || !region_bytes) return false;
  PlatAudioSamples* s = b->samples;
  if (offset >= s->size || bytes == 0) return false;
  std::uint32_t n = std::min(bytes, s->size - offset);
  bool playing = std::any_of(st.buffers.begin(), st.buffers.end(),
                             [s](PlatAudioBuffer* o) { return o->samples == s && o->playing; });
  PlatAudioLock l{offset, n, nullptr, false};
  if (offset >= s->filled) {
    // Past the filled mark the mixer reads nothing until it is moved: the
    // samples go in place, and what is filled plays on meanwhile. A copy
    // here would read and write every fresh page twice.
    *region = s->bytes + offset;
  } else if (playing) {
    l.copy.reset(new (std::nothrow) std::uint8_t[n]);
    if (!l.copy) return false;
    std::memcpy(l.copy.get(), s->bytes + offset, n);
    *region = l.copy.get();
  } else {
    ++s->direct_locks;
    l.silences = true;
    *region = s->bytes + offset;
  }
  *region_bytes = n;
  s->locks.push_back(std::move(l));
  return true;
}

bool plat_audio_buffer_unlock(PlatAudioBuffer* buffer, void* region, std::uint32_t region_bytes) {
  auto& st = plat_audio_state();
  std::lock_guard lock(st.mutex);
  PlatAudioBuffer* b = live(buffer);
  if (!b) return false;
  PlatAudioSamples* s = b->samples;
  for (auto it = s->locks.begin(); it != s->locks.end(); ++it) {
    void* p = it->copy ? static_cast<void*>(it->copy.get()) : s->bytes + it->offset;
    if (p != region) continue;
    std::uint32_t n = std::min(region_bytes, it->bytes);
    if (it->copy)
      std::memcpy(s->bytes + it->offset, it->copy.get(), n);
    else if (it->silences)
      --s->direct_locks;
    s->locks.erase(it);
    return true;
  }
  return false;
}

namespace {
// Runs `use` on the buffer under the lock when it is live; `absent` when not.
template <typename T, typename Use>
T with_live(PlatAudioBuffer* buffer, T absent, Use use) {
  auto& st = plat_audio_state();
  std::lock_guard lock(st.mutex);
  PlatAudioBuffer* b = live(buffer);
  return b ? use(b) : absent;
}
}  // namespace

bool plat_audio_buffer_set_filled(PlatAudioBuffer* buffer, std::uint32_t bytes) {
  return with_live(buffer, false, [&](PlatAudioBuffer* b) {
    b->samples->filled = std::min(bytes, b->samples->size);
    return true;
  });
}

bool plat_audio_buffer_play(PlatAudioBuffer* buffer, bool looping) {
  return with_live(buffer, false, [&](PlatAudioBuffer* b) {
    b->playing = true;
    b->looping = looping;
    return true;
  });
}

bool plat_audio_buffer_stop(PlatAudioBuffer* buffer) {
  return with_live(buffer, false, [](PlatAudioBuffer* b) {
    b->playing = false;
    return true;
  });
}

bool plat_audio_buffer_set_position(PlatAudioBuffer* buffer, std::uint32_t offset) {
  return with_live(buffer, false, [&](PlatAudioBuffer* b) {
    const PlatAudioSamples* s = b->samples;
    std::uint64_t frame = std::min(offset, s->size - 1) / s->format.block_align;
    b->position = frame << 32;
    plat_audio_remember_behind(b, static_cast<std::int64_t>(frame));
    return true;
  });
}

std::uint32_t plat_audio_buffer_position(PlatAudioBuffer* buffer) {
  return with_live(buffer, std::uint32_t{0}, [](PlatAudioBuffer* b) {
    return static_cast<std::uint32_t>(b->position >> 32) * b->samples->format.block_align;
  });
}

std::uint32_t plat_audio_buffer_status(PlatAudioBuffer* buffer) {
  return with_live(buffer, std::uint32_t{0}, [](PlatAudioBuffer* b) -> std::uint32_t {
    if (!b->playing) return 0;
    return kPlatAudioPlaying | (b->looping ? kPlatAudioLooping : 0);
  });
}

std::uint32_t plat_audio_buffer_size(PlatAudioBuffer* buffer) {
  return with_live(buffer, std::uint32_t{0}, [](PlatAudioBuffer* b) { return b->samples->size; });
}

PlatPcmFormat plat_audio_buffer_format(PlatAudioBuffer* buffer) {
  return with_live(buffer, PlatPcmFormat{}, [](PlatAudioBuffer* b) { return b->samples->format; });
}

bool plat_audio_buffer_set_volume(PlatAudioBuffer* buffer, std::int32_t volume) {
  if (volume < kPlatVolumeSilent || volume > kPlatVolumeFull) return false;
  return with_live(buffer, false, [&](PlatAudioBuffer* b) {
    b->volume = volume;
    update_gains(b);
    return true;
  });
}

std::int32_t plat_audio_buffer_volume(PlatAudioBuffer* buffer) {
  return with_live(buffer, std::int32_t{0}, [](PlatAudioBuffer* b) { return b->volume; });
}

bool plat_audio_buffer_set_pan(PlatAudioBuffer* buffer, std::int32_t pan) {
  if (pan < kPlatPanLeft || pan > kPlatPanRight) return false;
  return with_live(buffer, false, [&](PlatAudioBuffer* b) {
    b->pan = pan;
    update_gains(b);
    return true;
  });
}

std::int32_t plat_audio_buffer_pan(PlatAudioBuffer* buffer) {
  return with_live(buffer, std::int32_t{0}, [](PlatAudioBuffer* b) { return b->pan; });
}

bool plat_audio_buffer_set_frequency(PlatAudioBuffer* buffer, std::uint32_t frequency) {
  if (frequency < 100 || frequency > 200000) return false;
  return with_live(buffer, false, [&](PlatAudioBuffer* b) {
    b->frequency = frequency;
    return true;
  });
}

std::uint32_t plat_audio_buffer_frequency(PlatAudioBuffer* buffer) {
  return with_live(buffer, std::uint32_t{0}, [](PlatAudioBuffer* b) { return b->frequency; });
}
