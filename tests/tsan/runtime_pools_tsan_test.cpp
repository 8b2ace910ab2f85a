// The runtime's shared state under ThreadSanitizer: run-once, the shared-pool
// registry, a locked pool, and lists made and used on several threads.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "runtime/lists.h"
#include "tests/runtime/thread_start.h"

namespace {
int g_value = 0;
void set_value() {
  g_value = 42;
}
}  // namespace

TEST(RuntimeTsanTest, RunOncePublishesItsWrites) {
  std::int32_t once = 0;
  std::atomic<int> seen{0};
  on_threads(4, [&](int) {
    rt_run_once(&once, set_value);
    if (g_value == 42) ++seen;
  });
  EXPECT_EQ(seen, 4);
}

TEST(RuntimeTsanTest, LockedPoolAndPerThreadListPools) {
  MemPool* locked = rt_pool_create(32, 16, 65536, kPoolShared | kPoolLocked);
  on_threads(4, [&](int t) {
    MemPool* mine = rt_pool_create(32, 16, 65536, kPoolShared | kPoolLocked);
    ListVar list{};
    rt_list_new(48, &list, nullptr, kTagStruct);
    for (int k = 0; k < 3000; ++k) {
      void* node = rt_pool_alloc(mine);
      static_cast<int*>(rt_list_add(list.header))[0] = t;
      if (k % 2) rt_list_delete(list.header);
      rt_pool_free(mine, node);
    }
    EXPECT_EQ(rt_list_size(list.header), 1500);
    rt_list_free(list.header);
    rt_pool_release(mine);
  });
  EXPECT_EQ(rt_pool_capacity(locked), 0);
  rt_pool_release(locked);
}
