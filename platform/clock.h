// Clocks: the millisecond tick and the 100-ns interrupt-time counter, real
// (CLOCK_MONOTONIC) or virtual for tests.
#pragma once
#include <cstdint>

// 100-ns units since the system started (or the virtual clock's value).
std::uint64_t plat_time_100ns();
// The same counter past any tape, for the platform's own pacing.
std::uint64_t plat_time_untaped_100ns();
// Milliseconds since the system started, truncated to 32 bits (wraps).
std::uint32_t plat_ticks_ms();
// The same tick past any tape, for readers that must not be recorded.
std::uint32_t plat_ticks_untaped_ms();
// Sleeps on the real clock; with the virtual clock, advances it instead.
void plat_sleep_ms(std::uint32_t ms);
// A random seed from the thread and the clock (or the tape's seed).
std::uint32_t plat_random_seed();
// Real time spent in plat_sleep_ms so far, over all threads (100-ns units):
// start-up measures tell their own work from the waits they are asked for.
std::uint64_t plat_slept_100ns();

// Virtual clock: once installed, every reading comes from it until removed.
void plat_clock_use_virtual(std::uint64_t start_100ns);
void plat_clock_advance_100ns(std::uint64_t delta);
void plat_clock_set_100ns(std::uint64_t now);
void plat_clock_use_real();
bool plat_clock_is_virtual();
