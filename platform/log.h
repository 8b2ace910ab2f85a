// The diagnostics channel every layer writes to: one line per message,
// "<program>: <layer>: <text>", on standard error, filtered by level
// (SHOOTER_LOG=debug|info|warning|error|off, warning by default). Runs of
// identical lines are folded into one line and a count. Tests can take the
// lines instead of standard error.
#pragma once
#include <cstdarg>

enum class PlatLogLevel { Off, Error, Warning, Info, Debug };

// Writes one message when its level is enabled. Thread-safe.
void plat_log(PlatLogLevel level, const char* layer, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
void plat_logv(PlatLogLevel level, const char* layer, const char* format, std::va_list args);
bool plat_log_enabled(PlatLogLevel level);

// The level in force: messages at it or more severe are written. Read from
// SHOOTER_LOG on first use; plat_log_read_env reads it again (an unknown
// value keeps the default and says so).
PlatLogLevel plat_log_level();
void plat_log_set_level(PlatLogLevel level);
void plat_log_read_env();

// Writes the count of a run of identical lines still being folded. Runs at
// exit by itself.
void plat_log_flush();

// Hands every line (without its newline) to sink instead of standard error;
// a null sink writes to standard error again. The pending fold is flushed
// to the old destination first.
using PlatLogSink = void (*)(void* context, PlatLogLevel level, const char* line);
void plat_log_capture(PlatLogSink sink, void* context);

// While a library that prints its own complaints straight to standard error
// starts up (audio and video drivers), its lines go nowhere; the channel
// still reaches the real standard error. Nested calls count.
void plat_log_mute_stderr_begin();
void plat_log_mute_stderr_end();
struct PlatStderrMute {
  PlatStderrMute() { plat_log_mute_stderr_begin(); }
  ~PlatStderrMute() { plat_log_mute_stderr_end(); }
  PlatStderrMute(const PlatStderrMute&) = delete;
  PlatStderrMute& operator=(const PlatStderrMute&) = delete;
};
