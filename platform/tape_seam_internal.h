// The tape's side of the seam, for the platform's own read functions: each
// takes the live value and returns what the caller gets (the live value,
// noted on the tape while recording, or the tape's while playing).
#pragma once
#include <cstdint>

#include "platform/input.h"

// A tape runs on this thread.
bool tape_seam_on();
// Playing as fast as possible: no vertical sync, no pacing, no sleeps.
bool tape_seam_unpaced();
std::uint64_t tape_seam_time(std::uint64_t live);
std::uint32_t tape_seam_ticks(std::uint32_t live);
void tape_seam_keys(PlatKeyState& keys);
void tape_seam_mouse(PlatMouseState& mouse);
void tape_seam_pointer(int& x, int& y);
bool tape_seam_quit(bool live);
bool tape_seam_close(bool live);
std::uint32_t tape_seam_seed(std::uint32_t live);
