// The C allocator's thresholds for a process that draws frames: per-frame
// driver memory is kept instead of being returned to the kernel and faulted
// in again each frame.
#pragma once

#include <cstddef>

// Once per process; the gl device calls it, and benchmarks call it for
// their peers so both sides run with the same setting.
void plat_heap_tune_allocator();

// For a large block that is about to be written whole: its pages are made
// resident in one call, which costs about half of faulting them in one by
// one. Small blocks, and kernels without the call, are left as they are.
void plat_memory_populate(void* block, std::size_t bytes);
