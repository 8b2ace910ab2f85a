// Headless set-up: what a run without a display or sound card needs.
#include "platform/headless.h"

#include <cstdlib>

#include "platform/clock.h"
#include "platform/input.h"

void plat_use_headless(std::uint64_t start_100ns) {
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  setenv("SHOOTER_VIDEO", "soft", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  plat_clock_use_virtual(start_100ns);
  plat_input_use_scripted();
}
