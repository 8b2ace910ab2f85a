// Recorded games. Everything the layers above read from the outside world
// through the platform (clocks, keyboard, mouse, the desktop pointer, close
// and quit requests, the random seed) can be written to a tape while the
// program runs, and fed back from one in the same order: the layers above
// cannot tell a played game from a live one.
#pragma once
#include <cstdint>
#include <string>

#include "platform/tape_format.h"

enum class PlatTapeMode { Off, Record, Play, Timedemo };

// Records from the next read on, on the calling thread (reads from other
// threads stay live). The tape is written when the process exits, however
// the game ends; `seed` is handed out as the random seed. False when the file
// cannot be created (`why` says why).
bool plat_tape_record(const char* path, const char* program, const char* version,
                      std::uint32_t seed, std::string& why);
// Loads and checks a whole tape, then plays it from the next read on, at the
// recorded pace or, `unpaced`, as fast as frames can be drawn (no vertical
// sync, no waits). Nothing changes on failure.
TapeError plat_tape_play(const char* path, const char* program, bool unpaced, std::string& why);
PlatTapeMode plat_tape_mode();

// The game state's checksum, taken after every 60th frame; on playback a
// different value is reported as a drift at that frame.
using PlatTapeStateHook = std::uint32_t (*)();
void plat_tape_set_state_hook(PlatTapeStateHook hook);

// Writes the tape (recording) or settles the playback now; runs at exit too.
void plat_tape_finish();

struct PlatTapeReport {
  std::uint32_t frames;       // frames played (mouse polls)
  std::uint32_t tape_frames;  // frames on the tape
  std::uint32_t checks_passed;
  std::uint32_t tape_checks;  // checkpoints on the tape
  std::uint32_t drift_frame;  // first frame that differed, 0 for none
  double seconds;             // from the first to the last frame played
  double median_ms, p99_ms;   // frame times of the playback
};
PlatTapeReport plat_tape_report();

// Every error of the tape goes out here, through the diagnostics channel.
void plat_tape_say(const std::string& message);
// The same for what only warns (a playback that drifts or stops early).
void plat_tape_warn(const std::string& message);
