// Starts the runtime libraries once for the whole test program, as the
// start-up sequence does before any game code runs.
#include <gtest/gtest.h>

#include "runtime/arrays.h"
#include "runtime/lists.h"
#include "runtime/memory.h"
#include "runtime/strings.h"

namespace {
class RuntimeEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    rt_strings_init();
    rt_lists_init();
    rt_memory_init();
    rt_arrays_init();
  }
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new RuntimeEnvironment);
}  // namespace
