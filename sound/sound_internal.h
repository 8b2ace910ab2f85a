// Helpers shared by the sound library's own files.
#pragma once
#include <functional>

#include "platform/audio.h"
#include "sound/sound.h"

ObjectTable* snd_table();
// A zeroed record for number id (the old sound of that number freed) or a
// new dynamic record for -1; null on failure.
SoundObject* snd_alloc_record(RtHandle id);
// Enters a filled buffer as sound id; returns what a load returns.
RtHandle snd_store_buffer(RtHandle id, PlatAudioBuffer* buffer);
void* snd_chain_record(RtChainBlock* block);
PlatPcmFormat snd_pcm16_format(int channels, int rate);
// Bytes of a whole decode to 16-bit samples: whole frames, at most
// kSndWholeDecodeLimit; 0 when the decoder knows no length.
std::uint32_t snd_whole_decode_bytes(SoundDecoderState* decoder);
RtHandle snd_play_channel(RtHandle id, SoundObject* rec, std::uint32_t flags, int volume);

// Streaming: a sound over an open decoder and a 65536-byte buffer.
RtHandle snd_stream_create(RtHandle id, SoundDecoderState* decoder);
void snd_stream_play(RtHandle id, SoundObject* rec, std::uint32_t flags, int volume);
// Asks the feeder thread to end and waits until it has.
void snd_stream_end(SoundObject* rec);

// Background decoding of a file's sound (decode_job.cpp): enters a silent
// buffer of the decoded size as sound id and fills it on a worker thread,
// which owns the decoder and the file image (main heap) from here on.
RtHandle snd_decode_in_background(RtHandle id, SoundDecoderState* decoder, void* memory);
// Runs play while no piece of the sound is being written.
void snd_decode_before_play(SoundObject* rec, const std::function<void()>& play);
// Stops and joins the worker of a sound still decoding.
void snd_decode_end(SoundObject* rec);
