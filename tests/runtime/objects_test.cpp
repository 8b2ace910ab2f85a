// The numbered object registry: numbers and handles, growth, replacement
// through the free callback, enumeration order and the chain.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "runtime/objects.h"

namespace {
struct Record {
  std::int32_t handle;  // live while non-zero
  std::int32_t payload;
};

ObjectTable* g_table = nullptr;
std::vector<RtHandle> g_freed;

// A library's free operation: releases the platform side, then the number.
void free_record(RtHandle id) {
  g_freed.push_back(id);
  if (rt_object_get(g_table, id)) rt_object_release(g_table, id);
}

Record* create(ObjectTable* table, RtHandle id, std::int32_t handle) {
  auto* r = static_cast<Record*>(rt_object_alloc(table, id));
  if (r) r->handle = handle;
  return r;
}

class ObjectsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_freed.clear();
    g_table = rt_objects_create(sizeof(Record), 16, free_record);
    ASSERT_NE(g_table, nullptr);
  }
};
}  // namespace

TEST_F(ObjectsTest, NumberBeyondCapacityGrowsByTheStep) {
  EXPECT_EQ(g_table->capacity, 16);
  EXPECT_EQ(g_table->grow_step, 16);
  Record* r = create(g_table, 100, 7);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(g_table->capacity, 116);
  for (int i = 16; i < 116; ++i) {
    if (i == 100) continue;
    EXPECT_EQ(g_table->slots[i], nullptr) << i;
  }
  EXPECT_EQ(rt_object_get(g_table, 100), r);
  EXPECT_EQ(rt_object_get(g_table, 99), nullptr);
}

TEST_F(ObjectsTest, RecreatingALiveNumberFreesItOnceAndReusesTheRecord) {
  Record* first = create(g_table, 3, 11);
  first->payload = 42;
  auto* again = static_cast<Record*>(rt_object_alloc(g_table, 3));
  ASSERT_EQ(g_freed.size(), 1u);
  EXPECT_EQ(g_freed[0], 3);
  EXPECT_EQ(again, first);
  EXPECT_EQ(again->handle, 0);
  EXPECT_EQ(again->payload, 0);
}

TEST_F(ObjectsTest, FreedNumberKeepsItsMemoryAndIsNotLive) {
  Record* r = create(g_table, 5, 1);
  rt_object_release(g_table, 5);
  EXPECT_EQ(rt_object_get(g_table, 5), nullptr);
  EXPECT_EQ(rt_object_find(g_table, 5), nullptr);
  EXPECT_EQ(g_table->slots[5], r);
  EXPECT_EQ(create(g_table, 5, 2), r);
  // The slot holds a record, so the callback runs; it finds nothing live.
  EXPECT_EQ(g_freed.size(), 1u);
  EXPECT_EQ(static_cast<Record*>(g_table->slots[5])->handle, 2);
}

TEST_F(ObjectsTest, RecordNotLiveUntilItsFirstFieldIsSet) {
  auto* r = static_cast<Record*>(rt_object_alloc(g_table, 2));
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(rt_object_get(g_table, 2), nullptr);
  r->handle = 9;
  EXPECT_EQ(rt_object_get(g_table, 2), r);
  EXPECT_EQ(rt_object_get(g_table, 7), nullptr);  // never created
}

TEST_F(ObjectsTest, DynamicHandlesAreRecordAddresses) {
  Record* a = create(g_table, -1, 1);
  Record* b = create(g_table, -1, 2);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(rt_object_get(g_table, reinterpret_cast<RtHandle>(a)), a);
  EXPECT_EQ(rt_object_find(g_table, reinterpret_cast<RtHandle>(b)), b);
  // find accepts a chained record even while it is not live; get does not.
  b->handle = 0;
  EXPECT_EQ(rt_object_find(g_table, reinterpret_cast<RtHandle>(b)), b);
  EXPECT_EQ(rt_object_get(g_table, reinterpret_cast<RtHandle>(b)), nullptr);
  rt_object_release(g_table, reinterpret_cast<RtHandle>(a));
  EXPECT_EQ(rt_object_find(g_table, reinterpret_cast<RtHandle>(a)), nullptr);
  EXPECT_EQ(rt_object_find(g_table, reinterpret_cast<RtHandle>(b)), b);
  rt_object_release(g_table, reinterpret_cast<RtHandle>(b));
  EXPECT_EQ(g_table->chain_head, nullptr);
}

TEST_F(ObjectsTest, StrayValuesAreNeitherReadNorFreed) {
  Record stranger{1, 2};
  auto value = reinterpret_cast<RtHandle>(&stranger);
  EXPECT_EQ(rt_object_get(g_table, value), nullptr);
  EXPECT_EQ(rt_object_get(g_table, -7), nullptr);
  rt_object_release(g_table, value);  // not in the chain: nothing happens
  rt_object_release(g_table, -7);
  EXPECT_EQ(stranger.handle, 1);
  EXPECT_EQ(rt_object_alloc(g_table, -2), nullptr);
}

TEST_F(ObjectsTest, EnumerationGivesNumbersInOrderThenDynamicOldestFirst) {
  create(g_table, 9, 1);
  create(g_table, 2, 1);
  create(g_table, 4, 1);
  rt_object_release(g_table, 4);  // cleared: skipped
  Record* d1 = create(g_table, -1, 1);
  Record* d2 = create(g_table, -1, 0);  // not live, still returned
  Record* d3 = create(g_table, -1, 1);
  std::vector<RtHandle> seen;
  rt_objects_enum_start(g_table);
  RtHandle id = 0;
  while (rt_objects_enum_next(g_table, &id)) seen.push_back(id);
  std::vector<RtHandle> expected{2, 9, reinterpret_cast<RtHandle>(d1),
                                 reinterpret_cast<RtHandle>(d2), reinterpret_cast<RtHandle>(d3)};
  EXPECT_EQ(seen, expected);
}

TEST_F(ObjectsTest, FreeAllCallsTheCallbackForEveryObjectAndEmptiesTheChain) {
  create(g_table, 0, 1);
  create(g_table, 20, 1);
  create(g_table, -1, 1);
  create(g_table, -1, 1);
  rt_objects_free_all(g_table);
  EXPECT_EQ(g_freed.size(), 4u);
  EXPECT_EQ(g_table->chain_head, nullptr);
  EXPECT_EQ(rt_object_get(g_table, 0), nullptr);
  EXPECT_EQ(rt_object_get(g_table, 20), nullptr);
  g_freed.clear();
  rt_objects_free_all(g_table);
  EXPECT_TRUE(g_freed.empty());
}

TEST(ObjectsNoCallbackTest, FreeAllWithoutCallbackDoesNothing) {
  ObjectTable* table = rt_objects_create(8, 4, nullptr);
  auto* r = static_cast<Record*>(rt_object_alloc(table, 1));
  r->handle = 5;
  rt_objects_free_all(table);
  EXPECT_EQ(rt_object_get(table, 1), r);
  // Replacing a live number without a callback returns the record unchanged.
  EXPECT_EQ(rt_object_alloc(table, 1), r);
  EXPECT_EQ(r->handle, 5);
}

TEST(ChainTest, ContainsFollowsNextLinksFromTheGivenBlock) {
  RtChainBlock* head = nullptr;
  void* a = rt_chain_alloc(&head, 12);
  void* b = rt_chain_alloc(&head, 12);
  void* c = rt_chain_alloc(&head, 12);
  EXPECT_EQ(rt_chain_contains(head, a), a);
  EXPECT_EQ(rt_chain_contains(head, c), c);
  // Starting from b only older blocks are reached.
  EXPECT_EQ(rt_chain_contains(static_cast<RtChainBlock*>(b) - 1, c), nullptr);
  rt_chain_free(&head, b);  // middle block
  EXPECT_EQ(rt_chain_contains(head, b), nullptr);
  EXPECT_EQ(head->next, static_cast<RtChainBlock*>(a) - 1);
  EXPECT_EQ(head->next->prev, head);
  rt_chain_free(&head, c);  // head block
  EXPECT_EQ(head, static_cast<RtChainBlock*>(a) - 1);
  EXPECT_EQ(head->prev, nullptr);
  rt_chain_free(&head, a);
  EXPECT_EQ(head, nullptr);
}

TEST(ObjectNewTest, ZeroedBlockWithInitAndThreadDataAccessor) {
  static int calls = 0;
  auto* block = static_cast<unsigned char*>(rt_object_new(
      40,
      [](void* p) {
        ++calls;
        static_cast<unsigned char*>(p)[39] += 1;
      },
      nullptr));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(block[0], 0);
  EXPECT_EQ(block[39], 1);
  EXPECT_EQ(rt_thread_data(block), block);
}
