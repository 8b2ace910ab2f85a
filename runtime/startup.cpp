// Prologue, step runner with its trace, and the end of the process.
#include "runtime/startup.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#include "runtime/heap.h"

namespace {
struct GlobalsBlock {
  void* block;
  std::size_t bytes;
};
std::vector<GlobalsBlock>& globals() {
  static std::vector<GlobalsBlock> blocks;
  return blocks;
}
std::vector<std::string>& trace() {
  static std::vector<std::string> steps;
  return steps;
}
std::intptr_t g_instance = 0;
}  // namespace

void rt_register_globals(void* block, std::size_t bytes) {
  globals().push_back({block, bytes});
}

void rt_prologue() {
  for (auto& g : globals()) std::memset(g.block, 0, g.bytes);
  g_instance = 0x400000;  // the module has no handle of its own here; any non-zero value
  rt_main_heap = rt_heap_create();
  trace().push_back("prologue");
}

std::intptr_t rt_instance_handle() {
  return g_instance;
}

void rt_run_steps(std::span<const RtStep> steps) {
  for (const auto& step : steps) {
    trace().push_back(step.name);
    if (step.run) step.run();
  }
}

void rt_destroy_main_heap() {
  rt_heap_destroy(rt_main_heap);
  rt_main_heap = nullptr;
  trace().push_back("HeapDestroy");
}

void rt_exit_process() {
  std::exit(0);
}

void rt_end_sequence(std::span<const RtStep> end_steps) {
  rt_run_steps(end_steps);
  rt_destroy_main_heap();
  rt_exit_process();
}

const std::vector<std::string>& rt_trace() {
  return trace();
}
void rt_trace_clear() {
  trace().clear();
}
