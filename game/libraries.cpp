// The start-up and end tables of the program, in their fixed orders.
#include "game/libraries.h"

#include <array>

#include "engine/engine.h"
#include "image/draw.h"
#include "image/image.h"
#include "runtime/arrays.h"
#include "runtime/libraries.h"
#include "runtime/lists.h"
#include "runtime/memory.h"
#include "runtime/strings.h"
#include "sound/sound.h"
#include "window/window.h"

namespace {
// The sound library's start-up returns its table (or 0 without a device);
// the sequence ignores it.
void snd_init_step() {
  snd_init();
}

// The engine's start-up returns a result that the sequence ignores.
void eng_init_step() {
  eng_init();
}

constexpr std::array<RtStep, 20> kLibrarySteps{{
    {"rt_strings_init", rt_strings_init},
    {"rt_lists_init", rt_lists_init},
    {"rt_common_controls_init", rt_common_controls_init},
    {"rt_prefs_init", rt_prefs_init},
    {"rt_memory_init", rt_memory_init},
    {"draw_init", draw_init},
    {"img_decoders_init", img_decoders_init},
    {"img_init", img_init},
    {"window_theme_init", win_theme_init},
    {"window_events_init", win_events_init},
    {"win_init", win_init},
    {"gadgets_init", win_gadgets_init},
    {"rt_fonts_init", rt_fonts_init},
    {"rt_files_init", rt_files_init},
    {"rt_arrays_init", rt_arrays_init},
    {"eng_strings_init", eng_strings_init},
    {"eng_png_init", eng_png_init},
    {"snd_decoders_init", snd_decoders_init},
    {"snd_init", snd_init_step},
    {"eng_init", eng_init_step},
}};

constexpr std::array<RtStep, 9> kEndSteps{{
    {"snd_shutdown", snd_shutdown},
    {"rt_files_end", rt_files_end},
    {"rt_fonts_end", rt_fonts_end},
    {"gadgets_end", win_gadgets_end},
    {"win_end", win_end},
    {"window_theme_end", win_theme_end},
    {"img_free_all", img_free_all},
    {"rt_memory_end", rt_memory_end},
    {"rt_prefs_end", rt_prefs_end},
}};
}  // namespace

std::span<const RtStep> game_library_steps() {
  return kLibrarySteps;
}
std::span<const RtStep> game_end_steps() {
  return kEndSteps;
}

void game_start_libraries() {
  rt_prologue();
  rt_run_steps(game_library_steps());
}

void game_end_libraries() {
  rt_end_sequence(game_end_steps());
}
