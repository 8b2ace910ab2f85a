// Parsing of the programs' options against one table, and the usage and
// version texts. Plain stdout/stderr: nothing else has started yet.
#include "apps/command_line.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <string_view>

#ifndef SHOOTER_VERSION
#define SHOOTER_VERSION "unknown"
#endif

namespace {

bool set_help(AppOptions& options, const char*) {
  options.help = true;
  return true;
}

bool set_version(AppOptions& options, const char*) {
  options.version = true;
  return true;
}

template <PlatTapeMode mode>
bool set_tape(AppOptions& options, const char* file) {
  if (!file || !*file) return false;
  options.tape = mode;
  options.tape_file = file;
  ++options.tape_options;
  return true;
}

constexpr std::array kOptions{
    AppOption{"--help", nullptr, "print this help and exit", set_help},
    AppOption{"--version", nullptr, "print the version and exit", set_version},
    AppOption{"--record", "FILE", "play and record the game into FILE",
              set_tape<PlatTapeMode::Record>},
    AppOption{"--play", "FILE", "play the recorded game in FILE back at its pace",
              set_tape<PlatTapeMode::Play>},
    AppOption{"--timedemo", "FILE", "play FILE back as fast as possible and print the timing",
              set_tape<PlatTapeMode::Timedemo>},
};

constexpr const char* kControls =
    "Controls:\n"
    "  mouse          steer the ship (it chases the aim point)\n"
    "  left button    fire\n"
    "  P              pause and resume\n"
    "  S              save a screenshot to Gamebild.png (while paused)\n"
    "  F              shooter: switch full screen and window;"
    " shooter-alt: toggle the flash\n"
    "  keypad +       add spawn markers\n"
    "  Escape (held)  quit\n";

constexpr const char* kDataSearch =
    "Data (GFX/ and Sound/) is read from the first of:\n"
    "  $SHOOTER_DATA, when set (then nothing else is searched)\n"
    "  the working directory\n"
    "  the build tree's assets/, for a program run from its build tree\n"
    "  <program folder>/../share/games/shooter\n"
    "Gamebild.png is written to the working directory.\n"
    "Environment: SHOOTER_DATA, SHOOTER_VIDEO=gl|soft (the drawing device).\n";

void print_usage(std::FILE* out, const char* program) {
  std::fprintf(out, "Usage: %s [OPTION]...\n", program);
  std::fputs("A real-time arcade shooter: steer with the mouse, fire, collect energy.\n\n", out);
  std::fputs("Options:\n", out);
  for (const AppOption& option : kOptions) {
    char left[40];
    std::snprintf(left, sizeof left, "%s%s%s", option.name, option.argument ? " " : "",
                  option.argument ? option.argument : "");
    std::fprintf(out, "  %-22s %s\n", left, option.help);
  }
  std::fputs("\n", out);
  std::fputs(kControls, out);
  std::fputs("\n", out);
  std::fputs(kDataSearch, out);
}

const AppOption* find_option(std::string_view name) {
  for (const AppOption& option : kOptions)
    if (name == option.name) return &option;
  return nullptr;
}

// The option named by argv[*i] ("--name" or "--name=value") applied; moves
// *i past a separate value. False with a message on standard error.
bool apply_one(int argc, char** argv, int* i, const char* program, AppOptions* options) {
  const std::string_view arg = argv[*i];
  const auto equals = arg.find('=');
  const AppOption* option = find_option(arg.substr(0, equals));
  if (!option) {
    std::fprintf(stderr, "%s: unknown option '%s'\n", program, argv[*i]);
    return false;
  }
  const char* value = nullptr;
  if (option->argument && equals != std::string_view::npos) {
    value = argv[*i] + equals + 1;
  } else if (option->argument) {
    if (*i + 1 >= argc) {
      std::fprintf(stderr, "%s: option '%s' needs %s\n", program, option->name, option->argument);
      return false;
    }
    value = argv[++*i];
  } else if (equals != std::string_view::npos) {
    std::fprintf(stderr, "%s: option '%s' takes no value\n", program, option->name);
    return false;
  }
  if (!option->apply(*options, value)) {
    std::fprintf(stderr, "%s: bad value '%s' for %s\n", program, value ? value : "", option->name);
    return false;
  }
  return true;
}

}  // namespace

std::span<const AppOption> app_option_table() {
  return kOptions;
}

int app_command_line(int argc, char** argv, const char* program, AppOptions* options) {
  for (int i = 1; i < argc; ++i) {
    if (!apply_one(argc, argv, &i, program, options)) {
      print_usage(stderr, program);
      return kAppExitUsage;
    }
  }
  if (options->tape_options > 1) {
    std::fprintf(stderr, "%s: only one of --record, --play and --timedemo can be given\n", program);
    print_usage(stderr, program);
    return kAppExitUsage;
  }
  if (options->help) {
    print_usage(stdout, program);
    return 0;
  }
  if (options->version) {
    std::printf("%s %s\n", program, SHOOTER_VERSION);
    return 0;
  }
  return kAppRun;
}
