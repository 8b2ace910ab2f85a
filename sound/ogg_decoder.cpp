// The OGG Vorbis sound decoder on libvorbisfile, reading a C stream or a
// block of memory through callbacks that never step outside the block.
#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "runtime/heap.h"
#include "sound/sound.h"

namespace {
constexpr int kReadPiece = 4096;
// Damaged data makes ov_read report errors; a run this long without a single
// sample means nothing more will come.
constexpr int kMaxErrorRun = 10000;

struct OggDecodeState {
  SoundDecoderState header;
  OggVorbis_File vf;
  std::int32_t channels;
  std::int32_t total;  // samples per channel
  std::int32_t rate;
  const std::uint8_t* base;
  std::uint32_t position;
  std::uint32_t size;
};

OggDecodeState* ogg(SoundDecoderState* s) {
  return reinterpret_cast<OggDecodeState*>(s);
}

size_t mem_read(void* buffer, size_t item, size_t count, void* source) {
  auto* s = static_cast<OggDecodeState*>(source);
  if (item == 0) return 0;
  size_t n = std::min<size_t>(item * count, s->size - s->position) / item * item;
  std::memcpy(buffer, s->base + s->position, n);
  s->position += static_cast<std::uint32_t>(n);
  return n / item;
}

int mem_seek(void* source, ogg_int64_t offset, int whence) {
  auto* s = static_cast<OggDecodeState*>(source);
  std::int64_t at = offset;
  if (whence == SEEK_CUR)
    at += s->position;
  else if (whence == SEEK_END)
    at += s->size;
  s->position = static_cast<std::uint32_t>(std::clamp<std::int64_t>(at, 0, s->size));
  return 0;
}

int mem_close(void* source) {
  static_cast<OggDecodeState*>(source)->position = 0;
  return 0;
}

long mem_tell(void* source) {
  return static_cast<OggDecodeState*>(source)->position;
}

const char* ov_reason(int code) {
  switch (code) {
    case OV_EREAD:
      return "libvorbisfile: read error";
    case OV_ENOTVORBIS:
      return "libvorbisfile: not Vorbis data";
    case OV_EVERSION:
      return "libvorbisfile: unknown Vorbis version";
    case OV_EBADHEADER:
      return "libvorbisfile: bad Vorbis header";
    case OV_EIMPL:
      return "libvorbisfile: unsupported feature";
    default:
      return "libvorbisfile: cannot open the stream";
  }
}

// Whether the data ends with a whole page that closes the stream: a cut
// file loses it, and libvorbisfile then plays what is there without a word.
bool ends_cleanly(const std::uint8_t* tail, std::size_t n) {
  constexpr std::size_t kPageHeader = 27;
  constexpr std::uint8_t kEndOfStream = 4;
  for (std::size_t at = n >= kPageHeader ? n - kPageHeader + 1 : 0; at-- > 0;) {
    if (std::memcmp(tail + at, "OggS", 4) != 0) continue;
    // The bytes "OggS" may also occur inside a packet: a candidate counts
    // only when it is a page ending exactly at the end.
    const std::size_t segments = tail[at + 26];
    if (at + kPageHeader + segments > n) continue;
    std::size_t body = 0;
    for (std::size_t i = 0; i < segments; ++i) body += tail[at + kPageHeader + i];
    if (at + kPageHeader + segments + body == n) return (tail[at + 5] & kEndOfStream) != 0;
  }
  return false;
}

constexpr std::size_t kTailBytes = 65536;  // more than the largest Ogg page

bool stream_ends_cleanly(std::FILE* stream) {
  const long here = std::ftell(stream);
  std::vector<std::uint8_t> tail(kTailBytes);
  std::size_t n = 0;
  if (std::fseek(stream, 0, SEEK_END) == 0) {
    const long size = std::ftell(stream);
    const long from =
        size > static_cast<long>(kTailBytes) ? size - static_cast<long>(kTailBytes) : 0;
    if (std::fseek(stream, from, SEEK_SET) == 0)
      n = std::fread(tail.data(), 1, tail.size(), stream);
  }
  std::fseek(stream, here, SEEK_SET);
  return ends_cleanly(tail.data(), n);
}

void note_if_cut(const OggDecodeState* s, bool clean) {
  if (clean) return;
  char text[160];
  std::snprintf(text, sizeof text, "truncated (the stream has no end); plays the first %.1f s",
                s->rate > 0 ? static_cast<double>(s->total) / s->rate : 0.0);
  snd_decoder_problem(text);
}

SoundDecoderState* ogg_open(std::FILE* stream, const void* memory, std::uint32_t size,
                            std::uint32_t) {
  void* block = rt_heap_alloc(rt_heap_main(), sizeof(OggDecodeState), false);
  if (!block) return nullptr;
  auto* s = new (block) OggDecodeState;
  int result;
  if (stream) {
    result = ov_open(stream, &s->vf, nullptr, 0);
  } else {
    s->base = static_cast<const std::uint8_t*>(memory);
    s->size = memory ? size : 0;
    s->position = 0;
    ov_callbacks callbacks{mem_read, mem_seek, mem_close, mem_tell};
    result = ov_open_callbacks(s, &s->vf, nullptr, 0, callbacks);
  }
  if (result < 0) {
    snd_decoder_problem(ov_reason(result));
    rt_heap_free(rt_heap_main(), block);
    return nullptr;
  }
  vorbis_info* info = ov_info(&s->vf, -1);
  s->channels = info ? info->channels : 0;
  s->rate = info ? static_cast<std::int32_t>(info->rate) : 0;
  ogg_int64_t total = ov_pcm_total(&s->vf, -1);
  s->total = static_cast<std::int32_t>(std::clamp<ogg_int64_t>(total, 0, INT32_MAX));
  if (stream) {
    note_if_cut(s, stream_ends_cleanly(stream));
  } else {
    const std::size_t n = std::min<std::size_t>(s->size, kTailBytes);
    note_if_cut(s, ends_cleanly(s->base + s->size - n, n));
  }
  return &s->header;
}

// Fills up to bytes with whole frames. With flags bit 0 the data starts
// again at its end; a pass that yields no sample at all ends the read.
std::uint32_t ogg_read(SoundDecoderState* state, void* buffer, std::uint32_t bytes, std::uint32_t,
                       std::uint32_t flags) {
  OggDecodeState* s = ogg(state);
  auto* out = static_cast<char*>(buffer);
  const std::uint32_t frame = std::max(1, s->channels) * 2u;
  std::uint32_t done = 0, since_rewind = 0;
  bool rewound = false;
  int errors = 0, bitstream = 0;
  while (bytes - done >= frame) {
    int piece = static_cast<int>(std::min<std::uint32_t>(kReadPiece, bytes - done));
    long n = ov_read(&s->vf, out + done, piece, 0, 2, 1, &bitstream);
    if (n == 0) {
      if (!(flags & kSndLoop) || (rewound && since_rewind == 0)) break;
      if (ov_pcm_seek(&s->vf, 0) != 0) break;
      rewound = true;
      since_rewind = 0;
    } else if (n < 0) {
      if (++errors > kMaxErrorRun) break;
    } else {
      errors = 0;
      done += static_cast<std::uint32_t>(n);
      since_rewind += static_cast<std::uint32_t>(n);
    }
  }
  return done;
}

void ogg_rewind(SoundDecoderState* state) {
  ov_pcm_seek(&ogg(state)->vf, 0);
}
int ogg_channels(SoundDecoderState* state) {
  return ogg(state)->channels;
}
std::int32_t ogg_length(SoundDecoderState* state) {
  return ogg(state)->total;
}
int ogg_rate(SoundDecoderState* state) {
  return ogg(state)->rate;
}

void ogg_close(SoundDecoderState* state) {
  OggDecodeState* s = ogg(state);
  ov_clear(&s->vf);  // closes the C stream of a file decoder too
  s->~OggDecodeState();
  rt_heap_free(rt_heap_main(), s);
}
}  // namespace

const SoundDecoder snd_ogg_decoder{ogg_open,   ogg_read, ogg_rewind, ogg_channels,
                                   ogg_length, ogg_rate, ogg_close};
