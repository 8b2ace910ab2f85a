// Recorded-game options: record a game, play it back at its pace, or time
// the renderer on it and print the figures when the game ends.
#include "apps/tape_options.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/engine.h"
#include "platform/clock.h"
#include "platform/tape.h"

namespace {

const char* g_file = nullptr;

[[noreturn]] void fail(const std::string& message) {
  plat_tape_say(message);
  std::exit(kTapeExitBad);
}

void print_timing() {
  const char* device = eng_device_name();  // before the tape settles and may say more
  plat_tape_finish();
  const PlatTapeReport r = plat_tape_report();
  const double fps = r.seconds > 0 ? (r.frames - 1) / r.seconds : 0;
  std::printf(
      "timedemo %s: %u frames, %.2f s, %.1f fps, frame time median %.2f ms, p99 %.2f ms, "
      "score %d, checkpoints %u of %u, %s device\n",
      g_file, r.frames, r.seconds, fps, r.median_ms, r.p99_ms, game_score(), r.checks_passed,
      r.tape_checks, device);
  std::fflush(stdout);
}

}  // namespace

void tape_options_apply(const AppOptions& options, const GameVariant& variant) {
  const struct {
    PlatTapeMode mode;
    const char* file;
  } request{options.tape, options.tape_file};
  if (request.mode == PlatTapeMode::Off) return;
  g_file = request.file;
  std::string why;
  plat_tape_set_state_hook(game_state_checksum);
  if (request.mode == PlatTapeMode::Record) {
    if (!plat_tape_record(request.file, variant.name, SHOOTER_VERSION, plat_random_seed(), why))
      fail(std::string(request.file) + ": " + why + "; nothing is recorded");
    return;
  }
  const bool timed = request.mode == PlatTapeMode::Timedemo;
  if (plat_tape_play(request.file, variant.name, timed, why) != TapeError::None)
    fail(std::string(request.file) + ": " + why + "; nothing is played");
  if (timed) std::atexit(print_timing);
}
