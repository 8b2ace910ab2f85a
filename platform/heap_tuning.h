// The C allocator's thresholds for a process that draws frames: per-frame
// driver memory is kept instead of being returned to the kernel and faulted
// in again each frame.
#pragma once

// Once per process; the gl device calls it, and benchmarks call it for
// their peers so both sides run with the same setting.
void plat_heap_tune_allocator();
