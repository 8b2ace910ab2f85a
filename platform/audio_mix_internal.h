// Records shared by the audio buffers and the mixer (internal to platform/).
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/audio.h"

// An outstanding lock: either straight into the samples or into a copy.
struct PlatAudioLock {
  std::uint32_t offset;
  std::uint32_t bytes;
  std::unique_ptr<std::uint8_t[]> copy;
  bool silences;  // a lock in place that the mixer plays as silence
};

// Sample memory, shared by a buffer and its duplicates.
struct PlatAudioSamples {
  std::uint8_t* bytes;
  std::uint32_t size;
  PlatPcmFormat format;
  int refs;
  int direct_locks;  // while non-zero the mixer plays these samples as silence
  std::vector<PlatAudioLock> locks;
  std::uint32_t filled;  // bytes from the start that hold samples; cursors wait there
};

struct PlatAudioBuffer {
  PlatAudioSamples* samples = nullptr;
  std::uint64_t position = 0;  // frames, 32.32 fixed point
  bool playing = false;
  bool looping = false;
  std::int32_t volume = kPlatVolumeFull;
  std::int32_t pan = 0;
  std::uint32_t frequency = 0;
  float gain_left = 1.0f;
  float gain_right = 1.0f;
  // The frame before the cursor's frame, as it was when the cursor reached
  // it: the resampler needs it, and a streaming feeder may already have
  // written new samples over it (the half behind the cursor).
  std::int64_t behind_of = 0;  // the frame index it precedes
  float behind[2] = {0.0f, 0.0f};
};

// The cursor was set to `frame`: the frame before it is the one behind,
// silence before the first (nothing has played yet).
void plat_audio_remember_behind(PlatAudioBuffer* b, std::int64_t frame);

struct PlatAudioState {
  std::mutex mutex;  // guards everything here and every buffer
  bool open = false;
  std::vector<PlatAudioBuffer*> buffers;
};

PlatAudioState& plat_audio_state();
