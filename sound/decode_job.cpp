// Loading a compressed sound from a file may decode it on a worker thread of
// its own: the load returns with the buffer made and the sound in the table,
// and the worker fills the buffer a piece at a time, marking how far it has
// got, with a rest after the first seconds while the caller starts up.
// Playing such a sound starts at once; its cursor waits wherever the decoder
// has not got to yet, which at hundreds of times real time it never has to.
// Freeing the sound stops the worker first.
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/audio.h"
#include "runtime/heap.h"
#include "sound/sound_internal.h"

namespace {
// Bytes decoded under one buffer lock: about 0.19 s of 44.1 kHz stereo, so
// that a play waiting for the piece in hand waits a few milliseconds at most.
constexpr std::uint32_t kPiece = 32u * 1024u;
constexpr int kDecodeNice = 19;
// Loads like this come during a program's start-up, when its window, its
// renderer and the graphics driver want every core of a small machine; a
// whole decode at once took one core for a fifth of a second and held back
// the first frame. So the decoder writes a lead of a few seconds at once,
// which covers any play meanwhile, rests until that start-up time has
// passed, and then decodes the rest.
constexpr std::uint32_t kLeadSeconds = 3;
constexpr auto kStartUpRest = std::chrono::milliseconds(300);
}  // namespace

struct SndDecodeJob {
  PlatAudioBuffer* buffer = nullptr;
  SoundDecoderState* decoder = nullptr;
  void* memory = nullptr;  // the file image the decoder reads; the job frees it
  std::uint32_t total = 0;
  // Held while a piece of the buffer is locked for writing: a lock taken
  // while nothing plays writes the samples in place, and the mixer plays
  // silence over them meanwhile, so a play waits for the piece in hand.
  std::mutex piece;
  std::atomic<bool> play_waiting{false};  // a play wants the piece lock next
  std::atomic<bool> cancel{false};
  std::atomic<bool> finished{false};
  std::uint32_t lead = 0;  // bytes decoded before the rest
  std::mutex rest;
  std::condition_variable wake;  // ends the rest early on cancel
  std::thread thread;
};

namespace {

void decode_all(SndDecodeJob* job) {
  // Behind the caller's own start-up work: even at a small share of a core
  // the decoder stays far ahead of playback.
  setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kDecodeNice);
  const auto rest_until = std::chrono::steady_clock::now() + kStartUpRest;
  bool more = true;              // the decoder still gives samples
  bool rested = job->lead == 0;  // the rest after the lead is over (or none)
  for (std::uint32_t offset = 0; offset < job->total && !job->cancel;) {
    if (!rested && offset >= job->lead) {
      std::unique_lock hold(job->rest);
      job->wake.wait_until(hold, rest_until, [job] { return job->cancel.load(); });
      rested = true;
      // The rest decodes only on time no other thread wants, so a running
      // game's frames never wait for it; a game leaves plenty (its frames
      // wait for the display).
      sched_param idle{};
      pthread_setschedparam(pthread_self(), SCHED_IDLE, &idle);
      continue;
    }
    // The lock is not fair: a waiting play gets it before the next piece.
    while (job->play_waiting) std::this_thread::yield();
    std::lock_guard hold(job->piece);
    void* region = nullptr;
    std::uint32_t bytes = 0;
    if (!plat_audio_buffer_lock(job->buffer, offset, std::min(kPiece, job->total - offset), &region,
                                &bytes))
      break;  // cannot write: the cursor waits at what is there
    const std::uint32_t got = more ? snd_decoder_read(job->decoder, region, bytes, 0) : 0;
    // Data that ends early leaves silence behind it.
    if (got < bytes) std::memset(static_cast<char*>(region) + got, 0, bytes - got);
    more = got == bytes;
    plat_audio_buffer_unlock(job->buffer, region, bytes);
    offset += bytes;
    plat_audio_buffer_set_filled(job->buffer, offset);
  }
  snd_decoder_close(job->decoder);
  rt_heap_free(rt_heap_main(), job->memory);
  job->decoder = nullptr;
  job->memory = nullptr;
  job->finished = true;
}

}  // namespace

RtHandle snd_decode_in_background(RtHandle id, SoundDecoderState* decoder, void* memory) {
  const int channels = snd_decoder_channels(decoder);
  const std::uint32_t bytes = snd_whole_decode_bytes(decoder);
  PlatAudioBuffer* buffer = nullptr;
  if (bytes > 0) {
    // Every byte is written before it can play: the cursor waits at the
    // end of what is decoded.
    buffer = plat_audio_buffer_create(snd_pcm16_format(channels, snd_decoder_rate(decoder)), bytes,
                                      false);
    if (buffer) plat_audio_buffer_set_filled(buffer, 0);
  }
  const RtHandle handle = buffer ? snd_store_buffer(id, buffer) : 0;
  SoundObject* rec = handle ? snd_object(id == -1 ? handle : id) : nullptr;
  if (!rec) {
    snd_decoder_close(decoder);
    rt_heap_free(rt_heap_main(), memory);
    return 0;
  }
  auto* job = new SndDecodeJob;
  job->buffer = buffer;
  job->decoder = decoder;
  job->memory = memory;
  job->total = static_cast<std::uint32_t>(bytes);
  const PlatPcmFormat format = snd_pcm16_format(channels, snd_decoder_rate(decoder));
  job->lead = format.avg_bytes_per_sec * kLeadSeconds;
  rec->decoding = job;
  job->thread = std::thread(decode_all, job);
  return handle;
}

void snd_decode_before_play(SoundObject* rec, const std::function<void()>& play) {
  SndDecodeJob* job = rec->decoding;
  if (!job) {
    play();
    return;
  }
  job->play_waiting = true;
  std::lock_guard hold(job->piece);
  job->play_waiting = false;
  play();
}

void snd_decode_end(SoundObject* rec) {
  SndDecodeJob* job = rec->decoding;
  if (!job) return;
  {
    std::lock_guard hold(job->rest);
    job->cancel = true;
  }
  job->wake.notify_all();
  job->thread.join();
  delete job;
  rec->decoding = nullptr;
}

bool snd_is_decoding(RtHandle id) {
  const SoundObject* rec = snd_object(id);
  return rec && rec->decoding && !rec->decoding->finished;
}
