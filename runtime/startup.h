// The program's prologue, the fixed library initialisation and end order, and
// the end sequence. The steps themselves belong to the layers above; they hand
// their tables to the runner here, which records each step so tests can read
// the order.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct RtStep {
  const char* name;
  void (*run)();
};

// Prologue: zeroes the registered global blocks, stores the instance handle
// and creates the main heap.
void rt_prologue();
// Registers a block of program globals that the prologue clears to zero.
void rt_register_globals(void* block, std::size_t bytes);
std::intptr_t rt_instance_handle();

// Runs each step in order and appends its name to the trace.
void rt_run_steps(std::span<const RtStep> steps);
// Destroys the main heap (end step 10).
void rt_destroy_main_heap();
// Ends the process with code 0 (end step 11).
[[noreturn]] void rt_exit_process();
// The whole end sequence: the library ends in order, the main heap, exit 0.
[[noreturn]] void rt_end_sequence(std::span<const RtStep> end_steps);

const std::vector<std::string>& rt_trace();
void rt_trace_clear();
