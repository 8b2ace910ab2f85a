// The diagnostics channel as the layers above the platform use it: the
// platform's channel, so that every layer writes "<program>: <layer>: <text>"
// the same way and obeys the same SHOOTER_LOG level.
#pragma once
#include "platform/log.h"

using RtLogLevel = PlatLogLevel;

inline constexpr RtLogLevel kRtLogError = PlatLogLevel::Error;
inline constexpr RtLogLevel kRtLogWarning = PlatLogLevel::Warning;
inline constexpr RtLogLevel kRtLogInfo = PlatLogLevel::Info;
inline constexpr RtLogLevel kRtLogDebug = PlatLogLevel::Debug;

void rt_log(RtLogLevel level, const char* layer, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
