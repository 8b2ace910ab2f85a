// Sound objects: the sound table, the output device, the volume table, and
// loading whole sounds from WAV or decoded data into one buffer each.
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <new>
#include <string>

#include "platform/audio.h"
#include "platform/files.h"
#include "runtime/heap.h"
#include "runtime/log.h"
#include "sound/sound.h"
#include "sound/sound_internal.h"

namespace {
ObjectTable* g_table = nullptr;
bool g_output_open = false;
int g_media_window = 0;
std::array<std::int32_t, 101> g_volume_table{};
bool g_background_loads = false;

void build_volume_table() {
  g_volume_table[0] = 0;
  for (int v = 1; v <= 99; ++v) {
    g_volume_table[v] = static_cast<std::int32_t>(std::log10(v * 1000.0) * 20.0 * 100.0);
  }
  g_volume_table[100] = 10000;
}

std::uint16_t le16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
std::uint32_t le32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// The WAVEFORMATEX of a "fmt " chunk; the buffer refuses anything but 8- or
// 16-bit PCM with one or two channels.
bool wav_format(const SndWavInfo& wav, PlatPcmFormat* f) {
  if (wav.format_size < 16) return false;
  const std::uint8_t* p = wav.format;
  *f = PlatPcmFormat{le16(p), le16(p + 2), le32(p + 4), le32(p + 8), le16(p + 12), le16(p + 14)};
  return true;
}

// Creates a buffer of the given size and lets fill write its bytes; null
// when the buffer cannot be made or locked.
template <typename Fill>
PlatAudioBuffer* filled_buffer(const PlatPcmFormat& format, std::uint32_t bytes, Fill fill) {
  PlatAudioBuffer* buffer = plat_audio_buffer_create(format, bytes, false);
  if (!buffer) return nullptr;
  void* region = nullptr;
  std::uint32_t region_bytes = 0;
  if (!plat_audio_buffer_lock(buffer, 0, bytes, &region, &region_bytes)) {
    plat_audio_buffer_release(buffer);
    return nullptr;
  }
  fill(region, region_bytes);
  plat_audio_buffer_unlock(buffer, region, region_bytes);
  return buffer;
}

RtHandle catch_wav(RtHandle id, std::span<const std::uint8_t> image) {
  SndWavInfo wav{};
  PlatPcmFormat format{};
  if (!snd_wav_parse(image, &wav) || !wav_format(wav, &format)) return 0;
  if (format.block_align == 0) return 0;
  std::uint32_t bytes = wav.data_size - wav.data_size % format.block_align;
  PlatAudioBuffer* buffer = filled_buffer(
      format, bytes, [&](void* region, std::uint32_t n) { std::memcpy(region, wav.data, n); });
  return snd_store_buffer(id, buffer);
}

// Decodes everything (at most 64,000,000 bytes) straight into the buffer.
RtHandle catch_decoded(RtHandle id, SoundDecoderState* decoder) {
  const int channels = snd_decoder_channels(decoder);
  const std::uint32_t bytes = snd_whole_decode_bytes(decoder);
  PlatAudioBuffer* buffer = nullptr;
  if (bytes > 0) {
    buffer = filled_buffer(snd_pcm16_format(channels, snd_decoder_rate(decoder)), bytes,
                           [&](void* region, std::uint32_t n) {
                             std::uint32_t got = snd_decoder_read(decoder, region, n, 0);
                             std::memset(static_cast<char*>(region) + got, 0, n - got);
                           });
  }
  snd_decoder_close(decoder);
  return snd_store_buffer(id, buffer);
}

// Reads a whole file into main-heap memory; on failure says why in *problem.
void* read_file(const char* path, std::uint32_t* size, std::string* problem) {
  errno = 0;
  std::FILE* f = snd_open_file(path);
  if (!f) {
    *problem = plat_open_problem(path, errno);
    return nullptr;
  }
  void* memory = nullptr;
  long length = -1;
  if (std::fseek(f, 0, SEEK_END) == 0) length = std::ftell(f);
  if (length > 0 && length <= static_cast<long>(UINT32_MAX) && std::fseek(f, 0, SEEK_SET) == 0) {
    memory = rt_heap_alloc(rt_heap_main(), static_cast<std::size_t>(length), false);
    if (memory && std::fread(memory, 1, static_cast<std::size_t>(length), f) !=
                      static_cast<std::size_t>(length)) {
      *problem = std::string("cannot read it: ") + std::strerror(errno);
      rt_heap_free(rt_heap_main(), memory);
      memory = nullptr;
    }
  }
  std::fclose(f);
  if (length == 0) *problem = "empty file";
  if (!memory && problem->empty()) *problem = "cannot read it";
  *size = static_cast<std::uint32_t>(length);
  return memory;
}

// One line about a file load: why it gave no sound, or the defect of the
// sound it gave (a decoder's note, such as a cut stream).
void report_load(const char* path, RtHandle result, const std::string& problem) {
  const std::string noted = snd_decoder_last_problem();
  if (result) {
    if (!noted.empty()) rt_log(kRtLogWarning, "sound", "%s: %s", path, noted.c_str());
    return;
  }
  std::string why = problem;
  if (why.empty() && !noted.empty()) why = "not a sound file I can read (" + noted + ")";
  if (why.empty()) {
    // Without an output every buffer fails; the audio layer has said so once.
    if (!plat_audio_is_open()) return;
    why = "cannot be played";
  }
  rt_log(kRtLogWarning, "sound", "%s: %s; no sound", path, why.c_str());
}

RtHandle load_stream(RtHandle id, const char* path, std::uint32_t flags, std::string* problem) {
  errno = 0;
  std::FILE* f = snd_open_file(path);
  if (!f) {
    *problem = plat_open_problem(path, errno);
    return 0;
  }
  std::fclose(f);
  SoundDecoderState* decoder = snd_decoder_open(path, nullptr, 0, flags);
  return decoder ? snd_stream_create(id, decoder) : 0;
}

RtHandle load_whole(RtHandle id, const char* path, std::string* problem) {
  std::uint32_t size = 0;
  void* memory = read_file(path, &size, problem);
  if (!memory) return 0;
  std::span<const std::uint8_t> image(static_cast<const std::uint8_t*>(memory), size);
  // A compressed sound may decode while the caller goes on; the file image
  // is the decoder's until it is done.
  SoundDecoderState* decoder = g_background_loads && !snd_is_riff(image)
                                   ? snd_decoder_open(nullptr, memory, size, 0)
                                   : nullptr;
  if (decoder) return snd_decode_in_background(id, decoder, memory);
  RtHandle result = snd_catch_memory(id, memory, size);
  rt_heap_free(rt_heap_main(), memory);
  return result;
}

PlatAudioBuffer* channel_buffer(RtChainBlock* block) {
  return *reinterpret_cast<PlatAudioBuffer**>(snd_chain_record(block));
}
}  // namespace

void* snd_chain_record(RtChainBlock* block) {
  return block + 1;
}

std::uint32_t snd_whole_decode_bytes(SoundDecoderState* decoder) {
  const int channels = snd_decoder_channels(decoder);
  const std::uint32_t frame = static_cast<std::uint32_t>(channels > 0 ? channels : 1) * 2;
  std::int64_t bytes = static_cast<std::int64_t>(channels) * snd_decoder_length(decoder) * 2;
  if (bytes > kSndWholeDecodeLimit) bytes = kSndWholeDecodeLimit;
  if (bytes <= 0) return 0;
  return static_cast<std::uint32_t>(bytes - bytes % frame);
}

PlatPcmFormat snd_pcm16_format(int channels, int rate) {
  auto c = static_cast<std::uint16_t>(channels);
  auto r = static_cast<std::uint32_t>(rate);
  return PlatPcmFormat{kPlatFormatPcm, c, r, c * r * 2, static_cast<std::uint16_t>(c * 2), 16};
}

ObjectTable* snd_table() {
  return g_table;
}

SoundObject* snd_object(RtHandle id) {
  if (!g_table) return nullptr;
  auto* rec = static_cast<SoundObject*>(rt_object_find(g_table, id));
  return rec && rec->buffer ? rec : nullptr;
}

// Enters a new buffer as sound id (freeing an older sound of that number).
RtHandle snd_store_buffer(RtHandle id, PlatAudioBuffer* buffer) {
  if (!buffer) return 0;
  SoundObject* rec = snd_alloc_record(id);
  if (!rec) {
    plat_audio_buffer_release(buffer);
    return 0;
  }
  rec->buffer = buffer;
  rec->pan = plat_audio_buffer_pan(buffer);
  rec->frequency = static_cast<std::int32_t>(plat_audio_buffer_frequency(buffer));
  rec->volume = plat_audio_buffer_volume(buffer);
  return id == -1 ? reinterpret_cast<RtHandle>(rec) : reinterpret_cast<RtHandle>(buffer);
}

SoundObject* snd_alloc_record(RtHandle id) {
  if (!g_table || id < -1) return nullptr;
  void* block = rt_object_alloc(g_table, id);
  return block ? new (block) SoundObject{} : nullptr;
}

int snd_media_window_create() {
  g_media_window = 1;  // nothing to create: the output needs no window here
  return g_media_window;
}

ObjectTable* snd_init() {
  if (!g_table) g_table = rt_objects_create(sizeof(SoundObject), 64, snd_free);
  build_volume_table();
  if (!snd_media_window_create()) return nullptr;
  if (g_output_open) return g_table;
  if (!plat_audio_open()) return nullptr;
  g_output_open = true;
  return g_table;
}

std::int32_t snd_volume_entry(int volume) {
  return volume >= 0 && volume <= 100 ? g_volume_table[volume] : 0;
}

void snd_set_background_loads(bool on) {
  g_background_loads = on;
}

RtHandle snd_load(RtHandle id, const char* path) {
  return snd_load_file(id, path, 0);
}

RtHandle snd_load_file(RtHandle id, const char* path, std::uint32_t flags) {
  if (!g_table || !path) return 0;
  snd_decoder_clear_problem();
  std::string problem;
  const RtHandle result = (flags & kSndStreamFromData) ? load_stream(id, path, flags, &problem)
                                                       : load_whole(id, path, &problem);
  report_load(path, result, problem);
  return result;
}

RtHandle snd_catch_memory(RtHandle id, const void* memory, std::uint32_t size) {
  return snd_catch(id, memory, size, 0);
}

RtHandle snd_catch(RtHandle id, const void* memory, std::uint32_t size, std::uint32_t flags) {
  if (!g_table || !memory || size == 0) return 0;
  std::span<const std::uint8_t> image(static_cast<const std::uint8_t*>(memory), size);
  if (snd_is_riff(image)) return catch_wav(id, image);
  SoundDecoderState* decoder = snd_decoder_open(nullptr, memory, size, flags);
  if (!decoder) return 0;
  if (flags & kSndStreamFromData) return snd_stream_create(id, decoder);
  return catch_decoded(id, decoder);
}

RtHandle snd_play(RtHandle id, std::uint32_t flags, int volume) {
  SoundObject* rec = snd_object(id);
  if (!rec) return 0;
  if (rec->decoder) {
    snd_stream_play(id, rec, flags, volume);
    return 0;
  }
  RtHandle result = 0;
  snd_decode_before_play(rec, [&] {
    if (flags & kSndNewChannel) {
      result = snd_play_channel(id, rec, flags, volume);
      return;
    }
    plat_audio_buffer_stop(rec->buffer);
    plat_audio_buffer_set_position(rec->buffer, 0);
    if (volume != -1) snd_volume(id, volume);
    result = plat_audio_buffer_play(rec->buffer, flags & kSndLoop) ? 1 : 0;
  });
  return result;
}

// Drops finished channels, then plays a new duplicate of the main buffer.
RtHandle snd_play_channel(RtHandle id, SoundObject* rec, std::uint32_t flags, int volume) {
  for (RtChainBlock* block = rec->channels; block;) {
    RtChainBlock* next = block->next;
    PlatAudioBuffer* b = channel_buffer(block);
    if (!(plat_audio_buffer_status(b) & kPlatAudioPlaying)) {
      plat_audio_buffer_release(b);
      rt_chain_free(&rec->channels, snd_chain_record(block));
    }
    block = next;
  }
  // The record holds the duplicate buffer's address.
  void* record = rt_chain_alloc(&rec->channels,
                                sizeof(PlatAudioBuffer*));  // NOLINT(bugprone-sizeof-expression)
  if (!record) return 0;
  PlatAudioBuffer* dup = plat_audio_buffer_duplicate(rec->buffer);
  if (!dup) {
    rt_chain_free(&rec->channels, record);
    return 0;
  }
  *static_cast<PlatAudioBuffer**>(record) = dup;
  plat_audio_buffer_set_frequency(dup, static_cast<std::uint32_t>(rec->frequency));
  plat_audio_buffer_set_pan(dup, rec->pan);
  auto channel = reinterpret_cast<RtHandle>(record);
  if (volume != -1)
    snd_set_volume(id, volume, channel);
  else
    plat_audio_buffer_set_volume(dup, rec->volume);
  plat_audio_buffer_play(dup, flags & kSndLoop);
  return channel;
}

// Calls op for the buffers a channel argument names: -1 all (main first),
// 0 the main buffer, else that channel when it belongs to the sound.
template <typename Op>
void for_buffers(SoundObject* rec, RtHandle channel, Op op) {
  if (channel == kSndAllBuffers) {
    op(rec->buffer);
    for (RtChainBlock* block = rec->channels; block; block = block->next) {
      op(channel_buffer(block));
    }
  } else if (channel == kSndMainBuffer) {
    op(rec->buffer);
  } else if (void* record = rt_chain_contains(rec->channels, reinterpret_cast<void*>(channel))) {
    op(*static_cast<PlatAudioBuffer**>(record));
  }
}

void snd_stop(RtHandle id, RtHandle channel) {
  if (id == kSndAllSounds) {
    if (!g_table) return;
    rt_objects_enum_start(g_table);
    RtHandle each = 0;
    while (rt_objects_enum_next(g_table, &each)) snd_stop(each, kSndMainBuffer);
    return;
  }
  SoundObject* rec = snd_object(id);
  if (!rec) return;
  for_buffers(rec, channel, [](PlatAudioBuffer* b) {
    plat_audio_buffer_stop(b);
    plat_audio_buffer_set_position(b, 0);
  });
  rec->run = 0;
}

void snd_stop_main(RtHandle id) {
  snd_stop(id, kSndMainBuffer);
}

void snd_set_volume(RtHandle id, int volume, RtHandle channel) {
  SoundObject* rec = snd_object(id);
  if (!rec) return;
  volume = volume < 0 ? 0 : volume > 100 ? 100 : volume;
  const std::int32_t level = g_volume_table[volume] - 10000;
  for_buffers(rec, channel,
              [level](PlatAudioBuffer* b) { plat_audio_buffer_set_volume(b, level); });
}

void snd_volume(RtHandle id, int volume) {
  snd_set_volume(id, volume, kSndMainBuffer);
}

void snd_free(RtHandle id) {
  SoundObject* rec = snd_object(id);
  if (!rec) return;
  snd_decode_end(rec);
  if (rec->decoder) {
    snd_stream_end(rec);
    snd_decoder_close(rec->decoder);
    rec->decoder = nullptr;
  }
  while (RtChainBlock* block = rec->channels) {
    plat_audio_buffer_release(channel_buffer(block));
    rt_chain_free(&rec->channels, snd_chain_record(block));
  }
  plat_audio_buffer_release(rec->buffer);
  rec->buffer = nullptr;
  rt_object_release(g_table, id);
}

void snd_shutdown() {
  if (g_table) rt_objects_free_all(g_table);
  if (g_output_open) plat_audio_close();
  g_output_open = false;
}
