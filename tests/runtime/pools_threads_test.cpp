// The one lock of the runtime: run-once and the shared-pool registry, used
// from several threads at once, and a pool with its own lock.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "runtime/heap.h"
#include "runtime/lists.h"
#include "tests/runtime/thread_start.h"

namespace {
std::atomic<int> g_runs{0};
void count_run() {
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // others arrive meanwhile
  ++g_runs;
}

}  // namespace

TEST(RunOnceTest, RunsOnceAndEveryCallerWaitsForIt) {
  std::int32_t once = 0;
  std::atomic<int> saw_done{0};
  on_threads(8, [&](int) {
    rt_run_once(&once, count_run);
    if (g_runs == 1) ++saw_done;
  });
  EXPECT_EQ(g_runs, 1);
  EXPECT_EQ(saw_done, 8);  // nobody returned before the operation finished
  EXPECT_EQ(once, 2);
  rt_run_once(&once, count_run);
  EXPECT_EQ(g_runs, 1);
}

TEST(SharedPoolTest, ThreadsAskingTogetherForALockedPoolGetOne) {
  std::size_t baseline = rt_heap_block_count(rt_heap_main());
  std::vector<MemPool*> pools(8);
  on_threads(8,
             [&](int t) { pools[t] = rt_pool_create(1000, 16, 65536, kPoolShared | kPoolLocked); });
  for (MemPool* p : pools) EXPECT_EQ(p, pools[0]);
  // Another flag set is another pool.
  MemPool* unlocked = rt_pool_create(1000, 16, 65536, kPoolShared);
  EXPECT_NE(unlocked, pools[0]);
  rt_pool_release(unlocked);
  void* node = rt_pool_alloc(pools[0]);
  for (int t = 0; t < 7; ++t) rt_pool_release(pools[t]);
  rt_pool_free(pools[7], node);  // still valid until the last release
  rt_pool_release(pools[7]);
  EXPECT_EQ(rt_heap_block_count(rt_heap_main()), baseline);
}

TEST(SharedPoolTest, ListsOnSeveralThreadsNeverShareAnUnlockedPool) {
  std::size_t baseline = rt_heap_block_count(rt_heap_main());
  std::vector<MemPool*> first(4);
  std::vector<MemPool*> second(4);
  on_threads(4, [&](int t) {
    ListVar a{};
    ListVar b{};
    rt_list_new(200, &a, nullptr, kTagStruct);
    rt_list_new(200, &b, nullptr, kTagStruct);
    first[t] = rt_list_pool(a.header);
    second[t] = rt_list_pool(b.header);
    // Lists of one thread share their pool while the others work on theirs.
    for (int k = 0; k < 20000; ++k) {
      static_cast<int*>(rt_list_add(k % 2 ? a.header : b.header))[0] = t;
      if (k % 3 == 0) rt_list_delete(a.header);
    }
    rt_list_reset(a.header);
    while (auto* e = static_cast<int*>(rt_list_next(a.header))) EXPECT_EQ(*e, t);
    rt_list_free(a.header);
    rt_list_free(b.header);
  });
  for (int t = 0; t < 4; ++t) {
    EXPECT_EQ(first[t], second[t]);
    for (int u = 0; u < t; ++u) EXPECT_NE(first[t], first[u]);
  }
  EXPECT_EQ(rt_heap_block_count(rt_heap_main()), baseline);
}

TEST(LockedPoolTest, ThreadsShareOneLockedPool) {
  MemPool* pool = rt_pool_create(32, 16, 65536, kPoolLocked);
  on_threads(4, [&](int t) {
    std::vector<int*> mine;
    for (int k = 0; k < 5000; ++k) {
      auto* n = static_cast<int*>(rt_pool_alloc(pool));
      n[0] = t;
      n[1] = k;
      mine.push_back(n);
      if (k % 3 == 0) {
        rt_pool_free(pool, mine.back());
        mine.pop_back();
      }
    }
    for (std::size_t k = 0; k < mine.size(); ++k) {
      EXPECT_EQ(mine[k][0], t);
      rt_pool_free(pool, mine[k]);
    }
  });
  EXPECT_EQ(rt_pool_capacity(pool), 0);
  rt_pool_release(pool);
}
