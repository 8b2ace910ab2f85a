// The fixed order in which the program starts and ends its libraries. The
// tables are read by the start-up and end sequence and by the tests.
#pragma once
#include <span>

#include "runtime/startup.h"

// The twenty library initialisations, in start-up order.
std::span<const RtStep> game_library_steps();
// The nine library end operations, in end order (not the reverse).
std::span<const RtStep> game_end_steps();

// Prologue and every initialisation, in order.
void game_start_libraries();
// Every end operation, the main heap, exit code 0.
[[noreturn]] void game_end_libraries();
