// The mixer: every playing buffer is resampled from its own rate to the
// output rate (Catmull-Rom cubic, exact at whole sample positions), scaled by
// its volume and pan, summed in float and clipped to 16 bits.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/audio_mix_internal.h"

namespace {
constexpr double kFracScale = 1.0 / 4294967296.0;

// Reads one channel of one frame of 8-bit unsigned or 16-bit signed PCM as a
// 16-bit-range float.
template <int Channels, int Bits>
float sample_at(const std::uint8_t* bytes, std::int64_t frame, int channel) {
  if constexpr (Bits == 16) {
    std::int16_t v;
    std::memcpy(&v, bytes + (frame * Channels + channel) * 2, 2);
    return v;
  } else {
    return (bytes[frame * Channels + channel] - 128) * 256.0f;
  }
}

// A frame index outside the buffer wraps for a looping buffer and is
// silence (-1) for a one-shot one.
std::int64_t neighbour(std::int64_t j, std::int64_t frames, bool looping) {
  if (j >= 0 && j < frames) return j;
  if (!looping) return -1;
  return ((j % frames) + frames) % frames;
}

float cubic(float p0, float p1, float p2, float p3, float t) {
  return p1 + 0.5f * t *
                  (p2 - p0 +
                   t * (2.0f * p0 - 5.0f * p1 + 4.0f * p2 - p3 + t * (3.0f * (p1 - p2) + p3 - p0)));
}

// The frame behind comes from the voice's own record, the rest from the
// samples.
template <int Channels, int Bits>
float interpolate(const std::uint8_t* bytes, std::int64_t i, float t, int channel,
                  std::int64_t frames, bool looping, float behind) {
  if (i + 2 < frames) {
    return cubic(behind, sample_at<Channels, Bits>(bytes, i, channel),
                 sample_at<Channels, Bits>(bytes, i + 1, channel),
                 sample_at<Channels, Bits>(bytes, i + 2, channel), t);
  }
  float p[3];
  for (int k = 0; k < 3; ++k) {
    std::int64_t j = neighbour(i + k, frames, looping);
    p[k] = j < 0 ? 0.0f : sample_at<Channels, Bits>(bytes, j, channel);
  }
  return cubic(behind, p[0], p[1], p[2], t);
}

// Keeps frame j (silence for -1) as the one behind the cursor at `frame`.
template <int Channels, int Bits>
void keep_behind(PlatAudioBuffer* b, std::int64_t frame, std::int64_t j) {
  const std::uint8_t* bytes = b->samples->bytes;
  for (int c = 0; c < 2; ++c)
    b->behind[c] = j < 0 ? 0.0f : sample_at<Channels, Bits>(bytes, j, Channels == 2 ? c : 0);
  b->behind_of = frame;
}

// The cursor has moved on to `frame`: before the first frame lies the last
// one for a looping buffer, silence otherwise.
template <int Channels, int Bits>
void remember_behind(PlatAudioBuffer* b, std::int64_t frame) {
  const PlatAudioSamples* s = b->samples;
  const std::int64_t frames = s->size / s->format.block_align;
  keep_behind<Channels, Bits>(b, frame, frame > 0 ? frame - 1 : (b->looping ? frames - 1 : -1));
}

template <typename Run>
void by_format(const PlatPcmFormat& f, Run run) {
  if (f.channels == 2) {
    if (f.bits_per_sample == 16)
      run.template operator()<2, 16>();
    else
      run.template operator()<2, 8>();
  } else {
    if (f.bits_per_sample == 16)
      run.template operator()<1, 16>();
    else
      run.template operator()<1, 8>();
  }
}

// Mixes one buffer into acc and advances it; returns when it is done with
// these frames or has played to its end.
template <int Channels, int Bits>
void mix_voice(PlatAudioBuffer* b, float* acc, int count) {
  const PlatAudioSamples* s = b->samples;
  const std::int64_t frames = s->size / s->format.block_align;
  const std::uint64_t end = static_cast<std::uint64_t>(frames) << 32;
  const std::uint64_t step = (static_cast<std::uint64_t>(b->frequency) << 32) / kPlatAudioRate;
  const bool silent = s->direct_locks > 0;
  const float gl = b->gain_left, gr = b->gain_right;
  // Samples still being written: the cursor waits where they end, short of
  // the neighbours the interpolation reads.
  const std::int64_t filled = s->filled / s->format.block_align;
  const std::int64_t wait_at = filled < frames ? std::max<std::int64_t>(filled - 2, 0) : frames;
  std::uint64_t pos = b->position;
  for (int k = 0; k < count; ++k) {
    if (static_cast<std::int64_t>(pos >> 32) >= wait_at && wait_at < frames) break;
    if (pos >= end) {
      if (!b->looping) break;
      pos %= end;
    }
    auto i = static_cast<std::int64_t>(pos >> 32);
    if (i != b->behind_of && !silent) remember_behind<Channels, Bits>(b, i);
    if (!silent) {
      auto frac = static_cast<std::uint32_t>(pos);
      float l, r;
      if (frac == 0) {
        l = sample_at<Channels, Bits>(s->bytes, i, 0);
        r = Channels == 2 ? sample_at<Channels, Bits>(s->bytes, i, 1) : l;
      } else {
        auto t = static_cast<float>(frac * kFracScale);
        l = interpolate<Channels, Bits>(s->bytes, i, t, 0, frames, b->looping, b->behind[0]);
        r = Channels == 2
                ? interpolate<Channels, Bits>(s->bytes, i, t, 1, frames, b->looping, b->behind[1])
                : l;
      }
      acc[2 * k] += l * gl;
      acc[2 * k + 1] += r * gr;
    }
    pos += step;
  }
  if (pos >= end) {
    if (b->looping) {
      pos %= end;
    } else {
      b->playing = false;  // a one-shot buffer stops at its end, cursor back at 0
      pos = 0;
    }
  }
  b->position = pos;
  // Taken before the lock is let go, so before a feeder can see the cursor
  // here and write over the frame behind it.
  if (b->playing && !silent && static_cast<std::int64_t>(pos >> 32) != b->behind_of)
    remember_behind<Channels, Bits>(b, static_cast<std::int64_t>(pos >> 32));
}

void mix_buffer(PlatAudioBuffer* b, float* acc, int count) {
  by_format(b->samples->format,
            [&]<int Channels, int Bits>() { mix_voice<Channels, Bits>(b, acc, count); });
}
}  // namespace

void plat_audio_remember_behind(PlatAudioBuffer* b, std::int64_t frame) {
  by_format(b->samples->format,
            [&]<int Channels, int Bits>() { keep_behind<Channels, Bits>(b, frame, frame - 1); });
}

void plat_audio_render(std::int16_t* out, int frames) {
  if (frames <= 0) return;
  thread_local std::vector<float> acc;
  acc.assign(static_cast<std::size_t>(frames) * 2, 0.0f);
  auto& st = plat_audio_state();
  {
    std::lock_guard lock(st.mutex);
    for (PlatAudioBuffer* b : st.buffers) {
      if (b->playing) mix_buffer(b, acc.data(), frames);
    }
  }
  for (std::size_t i = 0; i < acc.size(); ++i) {
    float v = std::clamp(acc[i], -32768.0f, 32767.0f);
    out[i] = static_cast<std::int16_t>(std::lrint(v));
  }
}
