// The runtime's entry to the diagnostics channel.
#include "runtime/log.h"

void rt_log(RtLogLevel level, const char* layer, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  plat_logv(level, layer, format, args);
  va_end(args);
}
