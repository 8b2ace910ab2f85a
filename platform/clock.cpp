// Real and virtual clocks. The virtual one lets tests step time exactly,
// including across the 32-bit wraps of the tick counters.
#include "platform/clock.h"

#include <unistd.h>

#include <atomic>
#include <ctime>

#include "platform/tape_seam_internal.h"

namespace {
std::atomic<bool> g_virtual{false};
std::atomic<std::uint64_t> g_virtual_now{0};
std::atomic<std::uint64_t> g_slept{0};

std::uint64_t real_100ns() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::uint64_t>(ts.tv_sec) * 10'000'000ull +
         static_cast<std::uint64_t>(ts.tv_nsec) / 100ull;
}
}  // namespace

std::uint64_t plat_time_untaped_100ns() {
  return g_virtual ? g_virtual_now.load() : real_100ns();
}

std::uint64_t plat_time_100ns() {
  return tape_seam_time(plat_time_untaped_100ns());
}

std::uint32_t plat_ticks_untaped_ms() {
  return static_cast<std::uint32_t>(plat_time_untaped_100ns() / 10'000ull);
}

std::uint32_t plat_ticks_ms() {
  return tape_seam_ticks(plat_ticks_untaped_ms());
}

std::uint32_t plat_random_seed() {
  const auto live = static_cast<std::uint32_t>(gettid()) ^ plat_ticks_untaped_ms();
  return tape_seam_seed(live);
}

void plat_sleep_ms(std::uint32_t ms) {
  if (tape_seam_unpaced()) return;  // a timed playback never waits
  if (g_virtual) {
    g_virtual_now += static_cast<std::uint64_t>(ms) * 10'000ull;
    return;
  }
  const std::uint64_t start = real_100ns();
  timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1'000'000L};
  while (nanosleep(&ts, &ts) != 0) {
  }
  g_slept += real_100ns() - start;
}

std::uint64_t plat_slept_100ns() {
  return g_slept.load();
}

void plat_clock_use_virtual(std::uint64_t start_100ns) {
  g_virtual_now = start_100ns;
  g_virtual = true;
}
void plat_clock_advance_100ns(std::uint64_t delta) {
  g_virtual_now += delta;
}
void plat_clock_set_100ns(std::uint64_t now) {
  g_virtual_now = now;
}
void plat_clock_use_real() {
  g_virtual = false;
}
bool plat_clock_is_virtual() {
  return g_virtual;
}
