// The programs' command line: a table of options shared by both programs,
// read before the game starts. With no option the game runs as it always
// does; --help and --version answer and end; anything unknown is refused.
#pragma once
#include <span>

#include "platform/tape.h"

// What the options asked for; fields are added with their options.
struct AppOptions {
  bool help = false;
  bool version = false;
  PlatTapeMode tape = PlatTapeMode::Off;  // --record, --play or --timedemo
  const char* tape_file = nullptr;
  int tape_options = 0;  // more than one is refused
};

// One entry of the option table. `argument` names the value an option takes
// ("FILE"), or is null for a flag; `apply` stores it and returns false when
// the value is unusable.
struct AppOption {
  const char* name;  // "--help"
  const char* argument;
  const char* help;
  bool (*apply)(AppOptions& options, const char* value);
};

inline constexpr int kAppRun = -1;  // app_command_line: go on and play
inline constexpr int kAppExitUsage = 2;

// Reads argv into *options. Returns kAppRun when the game should start,
// otherwise the exit code, after printing what was asked for (help and
// version to standard output, usage after a bad option to standard error).
int app_command_line(int argc, char** argv, const char* program, AppOptions* options);

// The option table, for the usage text and for tests.
std::span<const AppOption> app_option_table();
