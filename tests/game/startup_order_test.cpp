// The program's start-up and end: the prologue, the twenty library steps and
// the nine end steps in their fixed order, and the exit code of the end.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "game/libraries.h"
#include "runtime/heap.h"
#include "runtime/libraries.h"
#include "runtime/lists.h"
#include "runtime/objects.h"
#include "runtime/startup.h"
#include "runtime/strings.h"

namespace {
const std::vector<std::string> kInitOrder{
    "rt_strings_init",    "rt_lists_init",  "rt_common_controls_init",
    "rt_prefs_init",      "rt_memory_init", "draw_init",
    "img_decoders_init",  "img_init",       "window_theme_init",
    "window_events_init", "win_init",       "gadgets_init",
    "rt_fonts_init",      "rt_files_init",  "rt_arrays_init",
    "eng_strings_init",   "eng_png_init",   "snd_decoders_init",
    "snd_init",           "eng_init"};

const std::vector<std::string> kEndOrder{"snd_shutdown", "rt_files_end",  "rt_fonts_end",
                                         "gadgets_end",  "win_end",       "window_theme_end",
                                         "img_free_all", "rt_memory_end", "rt_prefs_end"};

std::vector<std::string> names(std::span<const RtStep> steps) {
  std::vector<std::string> out;
  for (const RtStep& s : steps) out.push_back(s.name);
  return out;
}

// Stand-ins for game globals that the prologue must clear.
struct GameGlobals {
  std::int32_t score;
  float energy;
  void* handle;
  char* name;
};
GameGlobals g_globals{};
}  // namespace

TEST(StartupOrderTest, TablesHoldTheFixedOrder) {
  EXPECT_EQ(names(game_library_steps()), kInitOrder);
  EXPECT_EQ(names(game_end_steps()), kEndOrder);
  for (const RtStep& s : game_library_steps()) EXPECT_NE(s.run, nullptr) << s.name;
  for (const RtStep& s : game_end_steps()) EXPECT_NE(s.run, nullptr) << s.name;
}

// Start-up and end run in a child process, since the end sequence exits.
TEST(StartupOrderDeathTest, FullSequenceRunsInOrderAndExitsWithZero) {
  EXPECT_EXIT(
      {
        rt_trace_clear();
        game_start_libraries();
        std::vector<std::string> expected{"prologue"};
        expected.insert(expected.end(), kInitOrder.begin(), kInitOrder.end());
        if (rt_trace() != expected) std::_Exit(3);
        // The libraries work after start-up: strings, lists.
        char* text = nullptr;
        rt_str_append("ok");
        rt_str_assign(&text, 0);
        if (!rt_str_equal(text, "ok") || rt_str_position() != 0) std::_Exit(4);
        ListVar list{};
        rt_list_new(43, &list, nullptr, 7);
        if (!rt_list_add(list.header)) std::_Exit(5);
        rt_trace_clear();
        game_end_libraries();
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(StartupOrderDeathTest, EndTraceIsTheNineStepsThenHeapDestroy) {
  // The child reports the trace it saw through its exit code: 0 only when
  // the order is right.
  EXPECT_EXIT(
      {
        game_start_libraries();
        static std::vector<std::string> expected = kEndOrder;
        expected.push_back("HeapDestroy");
        std::atexit([] { std::_Exit(rt_trace() == expected ? 0 : 6); });
        rt_trace_clear();
        game_end_libraries();
      },
      ::testing::ExitedWithCode(0), "");
}

[[noreturn]] void prologue_child() {
  g_globals.score = 77;
  g_globals.energy = 1.5f;
  g_globals.handle = &g_globals;
  rt_register_globals(&g_globals, sizeof g_globals);
  rt_prologue();
  bool zero =
      g_globals.score == 0 && g_globals.energy == 0.0f && !g_globals.handle && !g_globals.name;
  std::_Exit(zero && rt_main_heap && rt_instance_handle() ? 0 : 7);
}

TEST(StartupOrderDeathTest, PrologueClearsGameGlobals) {
  EXPECT_EXIT(prologue_child(), ::testing::ExitedWithCode(0), "");
}

TEST(StartupOrderDeathTest, EndWithEmptyTablesFreesNothingAndExitsWithZero) {
  EXPECT_EXIT(
      {
        game_start_libraries();
        // Nothing was opened: both tables are empty, no preference file.
        if (rt_object_get(rt_files_table(), 0) || rt_object_get(rt_fonts_table(), 0) ||
            rt_prefs_is_open())
          std::_Exit(8);
        game_end_libraries();
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(StartupOrderDeathTest, EndClosesFilesAndFontsLeftOpen) {
  EXPECT_EXIT(
      {
        game_start_libraries();
        char path[] = "/tmp/shooter-startup-XXXXXX";
        int fd = mkstemp(path);
        auto* file = static_cast<RtFileRecord*>(rt_object_alloc(rt_files_table(), 3));
        file->handle = fd + 1;
        file->buffer = static_cast<char*>(rt_heap_alloc(rt_heap_main(), 8));
        std::memcpy(file->buffer, "flushed", 7);
        file->buffered = 7;
        static_cast<RtFontRecord*>(rt_object_alloc(rt_fonts_table(), -1))->handle = 1;
        static std::string name = path;
        std::atexit([] {
          FILE* f = std::fopen(name.c_str(), "rb");
          char got[16] = {};
          std::size_t n = f ? std::fread(got, 1, sizeof got, f) : 0;
          if (f) std::fclose(f);
          std::remove(name.c_str());
          std::_Exit(n == 7 && std::string(got) == "flushed" ? 0 : 9);
        });
        game_end_libraries();
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(StartupOrderDeathTest, SecondStringInitLeavesAnEmptyBuffer) {
  EXPECT_EXIT(
      {
        game_start_libraries();  // runs the string init twice
        bool empty = rt_str_position() == 0 && rt_str_capacity() == 16;
        rt_str_from_long(0, 68000);
        std::_Exit(empty && rt_str_equal(rt_str_base(), "68000") ? 0 : 10);
      },
      ::testing::ExitedWithCode(0), "");
}
