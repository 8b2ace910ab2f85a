// Heaps free every block they handed out when destroyed.
#include <gtest/gtest.h>

#include "runtime/heap.h"

TEST(HeapTest, DestroyFreesEveryBlockAndReallocKeepsContents) {
  RtHeap* heap = rt_heap_create();
  auto* a = static_cast<unsigned char*>(rt_heap_alloc(heap, 16));
  for (int i = 0; i < 16; ++i) EXPECT_EQ(a[i], 0);
  for (int i = 0; i < 16; ++i) a[i] = static_cast<unsigned char>(i);
  rt_heap_alloc(heap, 100);
  EXPECT_EQ(rt_heap_block_count(heap), 2u);
  a = static_cast<unsigned char*>(rt_heap_realloc(heap, a, 4096));
  for (int i = 0; i < 16; ++i) EXPECT_EQ(a[i], i);
  for (int i = 16; i < 4096; ++i) ASSERT_EQ(a[i], 0);
  rt_heap_free(heap, a);
  EXPECT_EQ(rt_heap_block_count(heap), 1u);
  rt_heap_destroy(heap);  // the sanitizer build reports the block if it leaked
}
