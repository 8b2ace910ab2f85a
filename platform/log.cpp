// The diagnostics channel: level filter, folding of repeated lines, the
// capture sink for tests and the muting of libraries' own stderr output.
#include "platform/log.h"

#include <errno.h>
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace {

constexpr std::size_t kMaxMessage = 1024;

struct LogState {
  std::mutex mutex;
  bool level_read = false;
  PlatLogLevel level = PlatLogLevel::Warning;
  PlatLogSink sink = nullptr;
  void* sink_context = nullptr;
  int fd = STDERR_FILENO;  // the real standard error, also while muted
  int mute_depth = 0;
  int saved_stderr = -1;
  // The run of identical lines being folded.
  std::string last_line;
  std::string last_layer;
  PlatLogLevel last_level = PlatLogLevel::Off;
  long repeats = 0;
  bool flush_registered = false;
};

LogState& state() {
  static LogState& s = *new LogState;  // never destroyed: threads may log during exit
  return s;
}

constexpr std::array<const char*, 5> kLevelNames = {"off", "error", "warning", "info", "debug"};

bool parse_level(const char* text, PlatLogLevel* out) {
  for (std::size_t i = 0; i < kLevelNames.size(); ++i) {
    if (strcasecmp(text, kLevelNames[i]) == 0) {
      *out = static_cast<PlatLogLevel>(i);
      return true;
    }
  }
  return false;
}

const char* program_name() {
  return program_invocation_short_name ? program_invocation_short_name : "shooter";
}

std::string format_line(const char* layer, const char* text) {
  std::string line = program_name();
  line += ": ";
  line += layer && *layer ? layer : "?";
  line += ": ";
  line += text;
  return line;
}

// Sends one finished line on; the caller holds the mutex.
void emit(LogState& s, PlatLogLevel level, const std::string& line) {
  if (s.sink) {
    s.sink(s.sink_context, level, line.c_str());
    return;
  }
  std::string out = line + '\n';
  const char* p = out.data();
  std::size_t left = out.size();
  while (left > 0) {
    const ssize_t n = ::write(s.fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

void flush_locked(LogState& s) {
  if (s.repeats > 0) {
    const std::string note =
        "\u2026 repeated " + std::to_string(s.repeats) + (s.repeats == 1 ? " time" : " times");
    emit(s, s.last_level, format_line(s.last_layer.c_str(), note.c_str()));
  }
  s.repeats = 0;
  s.last_line.clear();
}

void read_env_locked(LogState& s) {
  s.level_read = true;
  s.level = PlatLogLevel::Warning;
  const char* value = std::getenv("SHOOTER_LOG");
  if (!value || !*value || parse_level(value, &s.level)) return;
  flush_locked(s);
  emit(s, PlatLogLevel::Warning,
       format_line("log", ("SHOOTER_LOG=" + std::string(value) +
                           " is not one of debug, info, warning, error, off; using warning")
                              .c_str()));
}

void at_exit_flush() {
  plat_log_flush();
}

}  // namespace

PlatLogLevel plat_log_level() {
  LogState& s = state();
  std::lock_guard lock(s.mutex);
  if (!s.level_read) read_env_locked(s);
  return s.level;
}

void plat_log_set_level(PlatLogLevel level) {
  LogState& s = state();
  std::lock_guard lock(s.mutex);
  s.level_read = true;
  s.level = level;
}

void plat_log_read_env() {
  LogState& s = state();
  std::lock_guard lock(s.mutex);
  read_env_locked(s);
}

bool plat_log_enabled(PlatLogLevel level) {
  return level != PlatLogLevel::Off && level <= plat_log_level();
}

void plat_logv(PlatLogLevel level, const char* layer, const char* format, std::va_list args) {
  if (!plat_log_enabled(level) || !format) return;
  std::array<char, kMaxMessage> text{};
  std::vsnprintf(text.data(), text.size(), format, args);
  const std::string line = format_line(layer, text.data());
  LogState& s = state();
  std::lock_guard lock(s.mutex);
  if (!s.flush_registered) {
    s.flush_registered = true;
    std::atexit(at_exit_flush);
  }
  if (!s.last_line.empty() && line == s.last_line) {
    ++s.repeats;
    return;
  }
  flush_locked(s);
  emit(s, level, line);
  s.last_line = line;
  s.last_layer = layer ? layer : "?";
  s.last_level = level;
}

void plat_log(PlatLogLevel level, const char* layer, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  plat_logv(level, layer, format, args);
  va_end(args);
}

void plat_log_flush() {
  LogState& s = state();
  std::lock_guard lock(s.mutex);
  flush_locked(s);
}

void plat_log_capture(PlatLogSink sink, void* context) {
  LogState& s = state();
  std::lock_guard lock(s.mutex);
  flush_locked(s);
  s.sink = sink;
  s.sink_context = context;
}

void plat_log_mute_stderr_begin() {
  LogState& s = state();
  std::lock_guard lock(s.mutex);
  if (s.mute_depth++ > 0) return;
  const int saved = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
  const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (saved < 0 || null < 0 || dup2(null, STDERR_FILENO) < 0) {
    if (saved >= 0) ::close(saved);
    if (null >= 0) ::close(null);
    return;  // cannot mute: the libraries' lines show, nothing is lost
  }
  ::close(null);
  s.saved_stderr = saved;
  s.fd = saved;
}

void plat_log_mute_stderr_end() {
  LogState& s = state();
  std::lock_guard lock(s.mutex);
  if (s.mute_depth == 0 || --s.mute_depth > 0) return;
  if (s.saved_stderr < 0) return;
  dup2(s.saved_stderr, STDERR_FILENO);
  ::close(s.saved_stderr);
  s.saved_stderr = -1;
  s.fd = STDERR_FILENO;
}
