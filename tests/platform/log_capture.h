// Takes the diagnostics channel's lines for the length of a test, at
// warning level, and gives them back.
#pragma once
#include <string>
#include <vector>

#include "platform/log.h"

class LogCapture {
 public:
  LogCapture() {
    plat_log_capture(take, this);
    plat_log_set_level(PlatLogLevel::Warning);
  }
  ~LogCapture() {
    plat_log_flush();
    plat_log_capture(nullptr, nullptr);
    plat_log_read_env();
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // The lines so far, with the pending fold written out; then forgets them.
  std::vector<std::string> take_lines() {
    plat_log_flush();
    std::vector<std::string> out;
    out.swap(lines_);
    levels_.clear();
    return out;
  }
  // The lines so far as they are (a run being folded not yet counted).
  const std::vector<std::string>& lines() const { return lines_; }
  const std::vector<PlatLogLevel>& levels() const { return levels_; }

 private:
  static void take(void* context, PlatLogLevel level, const char* line) {
    auto* self = static_cast<LogCapture*>(context);
    self->lines_.emplace_back(line);
    self->levels_.push_back(level);
  }
  std::vector<std::string> lines_;
  std::vector<PlatLogLevel> levels_;
};
