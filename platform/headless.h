// Headless runs (tests, the demo maker): no display, the soft device, a
// silent sound driver, the virtual clock and scripted input.
#pragma once
#include <cstdint>

// Sets the environment and installs the virtual clock at `start_100ns` and
// the scripted input; call before anything starts SDL.
void plat_use_headless(std::uint64_t start_100ns);
