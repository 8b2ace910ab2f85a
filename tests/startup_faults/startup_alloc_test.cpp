// Memory running out during start-up: for each N up to the number of heap
// allocations a start-up makes, the Nth fails. The game must then end with
// a line saying so and the out-of-memory code, or go on without the element
// it could not make; it must never crash or hang. Each start-up runs in a
// child process forked from this one, which starts nothing itself.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/headless.h"
#include "runtime/heap.h"
#include "tests/game/game_fixture.h"

using namespace game_test;

namespace {
constexpr int kFrames = 30;
constexpr int kChildSeconds = 60;

// The start-up and a few frames, in the child; the Nth allocation fails
// (0: none). Writes the start-up's allocation count to `report`.
[[noreturn]] void start_in_child(std::size_t nth, int report) {
  plat_use_headless(kStart);
  const std::size_t before = rt_heap_allocations();
  rt_heap_fail_at(nth);
  game_register_globals();
  game_start_libraries();
  game_startup(kGameShooter);
  const std::size_t made = rt_heap_allocations() - before;
  rt_heap_fail_at(0);
  [[maybe_unused]] const ssize_t n = write(report, &made, sizeof made);
  plat_input_script_button(0, true);
  for (int f = 0; f < kFrames; ++f) {
    plat_clock_advance_100ns(166'667);
    if (!game_loop_pass()) break;
  }
  game_shutdown();
  // Leaks are not this test's question (the soak and the sanitizer run ask
  // it); ending here keeps a leak report from looking like a failed exit.
  std::_Exit(0);
}

struct ChildResult {
  int status = 0;
  bool timed_out = false;
  std::size_t allocations = 0;
  std::string error;  // what it wrote to standard error
};

struct Child {
  pid_t pid;
  int report, error;
};

Child fork_child(std::size_t nth) {
  int report[2], err[2];
  if (pipe(report) != 0 || pipe(err) != 0) return {-1, -1, -1};
  const pid_t pid = fork();
  if (pid == 0) {
    close(report[0]);
    close(err[0]);
    dup2(err[1], STDERR_FILENO);
    start_in_child(nth, report[1]);
  }
  close(report[1]);
  close(err[1]);
  return {pid, report[0], err[0]};
}

ChildResult collect(const Child& c, std::chrono::steady_clock::time_point deadline) {
  ChildResult r;
  char buffer[512];
  pollfd p{c.error, POLLIN, 0};
  while (true) {
    if (std::chrono::steady_clock::now() >= deadline) {
      r.timed_out = true;
      kill(c.pid, SIGKILL);
      break;
    }
    if (poll(&p, 1, 200) <= 0) continue;
    const ssize_t got = read(c.error, buffer, sizeof buffer);
    if (got <= 0) break;
    r.error.append(buffer, static_cast<std::size_t>(got));
  }
  waitpid(c.pid, &r.status, 0);
  if (read(c.report, &r.allocations, sizeof r.allocations) != sizeof r.allocations)
    r.allocations = 0;
  close(c.report);
  close(c.error);
  return r;
}

// Start-ups with the allocations first..last failing, a few at a time
// (each child mostly waits).
std::vector<ChildResult> run_children(std::size_t first, std::size_t last) {
  constexpr std::size_t kAtOnce = 8;
  std::vector<ChildResult> results;
  for (std::size_t n = first; n <= last; n += kAtOnce) {
    std::vector<Child> children;
    for (std::size_t k = n; k < n + kAtOnce && k <= last; ++k) children.push_back(fork_child(k));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kChildSeconds);
    for (const Child& c : children) results.push_back(collect(c, deadline));
  }
  return results;
}
}  // namespace

TEST(StartupAllocation, EveryFailingAllocationEndsCleanlyOrLeavesAnElementOut) {
  enter_scratch_folder();
  // STARTUP_FAIL_AT=n runs that one start-up in this process, for a debugger.
  if (const char* only = std::getenv("STARTUP_FAIL_AT")) start_in_child(std::stoul(only), -1);
  const ChildResult clean = run_children(0, 0).front();
  ASSERT_TRUE(WIFEXITED(clean.status) && WEXITSTATUS(clean.status) == 0) << clean.error;
  EXPECT_EQ(clean.error.find("shooter:"), std::string::npos) << clean.error;
  const std::size_t count = clean.allocations;
  ASSERT_GT(count, 100u);
  std::map<std::string, int> outcomes;
  const std::vector<ChildResult> runs = run_children(1, count);
  for (std::size_t n = 1; n <= count; ++n) {
    const ChildResult& r = runs[n - 1];
    ASSERT_FALSE(r.timed_out) << "allocation " << n << " of " << count << ": hung";
    ASSERT_TRUE(WIFEXITED(r.status))
        << "allocation " << n << " of " << count << ": signal " << WTERMSIG(r.status) << "\n"
        << r.error;
    const int code = WEXITSTATUS(r.status);
    if (code == kRtExitOutOfMemory) {
      EXPECT_NE(r.error.find("out of memory"), std::string::npos) << n << ": " << r.error;
      const std::size_t at = std::min(r.error.find("shooter:"), r.error.size());
      ++outcomes["ended: " + r.error.substr(at, r.error.find('\n', at) - at)];
    } else {
      ASSERT_EQ(code, 0) << "allocation " << n << "\n" << r.error;
      ++outcomes["went on"];
    }
  }
  std::printf("%zu start-up allocations, each failed once:\n", count);
  for (const auto& [what, times] : outcomes) std::printf("  %5d  %s\n", times, what.c_str());
}
