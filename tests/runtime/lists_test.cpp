// Linked lists: insertion after the current element, walking and deleting,
// select, the variable's current word, shared pools and nested lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "runtime/heap.h"
#include "runtime/lists.h"

namespace {
struct Item {
  std::int32_t value;
  char pad[39];  // particle-sized: 43 bytes
};

class ListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(rt_list_new(sizeof(Item), &var_, nullptr, kTagStruct), nullptr);
  }
  void TearDown() override { rt_list_free(var_.header); }

  ListHeader* list() { return var_.header; }
  void add(std::int32_t v) { static_cast<Item*>(rt_list_add(list()))->value = v; }
  std::int32_t current_value() {
    auto* item = static_cast<Item*>(rt_list_current(list()));
    return item ? item->value : -1;
  }
  std::vector<std::int32_t> values() {
    std::vector<std::int32_t> out;
    rt_list_reset(list());
    while (auto* item = static_cast<Item*>(rt_list_next(list()))) out.push_back(item->value);
    return out;
  }

  ListVar var_{};
};
}  // namespace

TEST_F(ListTest, AddsFollowTheCurrentElement) {
  add(1);
  add(2);
  EXPECT_EQ(values(), (std::vector<std::int32_t>{1, 2}));
  rt_list_reset(list());
  add(0);  // no current element: inserted at the front
  EXPECT_EQ(values(), (std::vector<std::int32_t>{0, 1, 2}));
  rt_list_select(list(), 1);
  add(5);
  EXPECT_EQ(current_value(), 5);
  EXPECT_EQ(rt_list_current_index(list()), 2);
  EXPECT_EQ(values(), (std::vector<std::int32_t>{0, 1, 5, 2}));
  EXPECT_EQ(rt_list_size(list()), 4);
}

TEST_F(ListTest, VariableSecondWordFollowsTheCurrentNode) {
  add(1);
  EXPECT_EQ(rt_node_element(var_.current), rt_list_current(list()));
  add(2);
  EXPECT_EQ(static_cast<Item*>(rt_node_element(var_.current))->value, 2);
  rt_list_reset(list());
  EXPECT_EQ(var_.current, nullptr);
  rt_list_next(list());
  EXPECT_EQ(static_cast<Item*>(rt_node_element(var_.current))->value, 1);
  rt_list_delete(list());
  EXPECT_EQ(var_.current, nullptr);
  rt_list_last(list());
  EXPECT_EQ(static_cast<Item*>(rt_node_element(var_.current))->value, 2);
}

TEST_F(ListTest, NewElementsStartZeroed) {
  add(1);
  auto* first = static_cast<Item*>(rt_list_add(list()));
  std::memset(first, 0xAB, sizeof(Item));
  rt_list_delete(list());
  auto* again = static_cast<Item*>(rt_list_add(list()));
  EXPECT_EQ(again, first);  // the freed node is reused while its block lives
  for (char c : again->pad) ASSERT_EQ(c, 0);
  EXPECT_EQ(again->value, 0);
}

TEST_F(ListTest, DeletingWhileWalkingVisitsEveryElementOnce) {
  for (int v = 0; v < 10; ++v) add(v);
  std::vector<std::int32_t> visited;
  rt_list_reset(list());
  while (auto* item = static_cast<Item*>(rt_list_next(list()))) {
    visited.push_back(item->value);
    if (item->value % 3 == 0) rt_list_delete(list());
  }
  EXPECT_EQ(visited, (std::vector<std::int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(values(), (std::vector<std::int32_t>{1, 2, 4, 5, 7, 8}));
}

TEST_F(ListTest, DeletingTheFirstElementWhileWalking) {
  for (int v = 1; v <= 3; ++v) add(v);
  rt_list_reset(list());
  rt_list_next(list());
  rt_list_delete(list());
  EXPECT_EQ(rt_list_current(list()), nullptr);
  EXPECT_EQ(static_cast<Item*>(rt_list_next(list()))->value, 2);
  // With flag bit 0 the new first element becomes current at once.
  rt_list_first(list());
  rt_list_delete_ex(list(), kListDeleteKeepFirst);
  EXPECT_EQ(current_value(), 3);
  EXPECT_EQ(rt_list_current_index(list()), 0);
  rt_list_delete(list());
  EXPECT_EQ(rt_list_size(list()), 0);
  EXPECT_EQ(rt_list_current(list()), nullptr);
  EXPECT_EQ(rt_list_next(list()), nullptr);
}

TEST_F(ListTest, DeleteWithoutCurrentChangesNothing) {
  add(1);
  add(2);
  rt_list_reset(list());
  rt_list_delete(list());
  EXPECT_EQ(values(), (std::vector<std::int32_t>{1, 2}));
}

TEST_F(ListTest, NextAtTheEndKeepsTheLastCurrent) {
  add(1);
  add(2);
  rt_list_reset(list());
  rt_list_next(list());
  rt_list_next(list());
  EXPECT_EQ(rt_list_next(list()), nullptr);
  EXPECT_EQ(current_value(), 2);
  EXPECT_EQ(rt_list_next(list()), nullptr);
  add(3);  // still appends at the end
  EXPECT_EQ(values(), (std::vector<std::int32_t>{1, 2, 3}));
}

TEST_F(ListTest, SelectOutOfRangeLeavesNoCurrent) {
  for (int v = 0; v < 5; ++v) add(v);
  EXPECT_EQ(static_cast<Item*>(rt_list_select(list(), 3))->value, 3);
  EXPECT_EQ(rt_list_select(list(), 5), nullptr);
  EXPECT_EQ(rt_list_current(list()), nullptr);
  EXPECT_EQ(var_.current, nullptr);
  EXPECT_EQ(rt_list_select(list(), -1), nullptr);
  EXPECT_EQ(static_cast<Item*>(rt_list_select(list(), 4))->value, 4);
  EXPECT_EQ(static_cast<Item*>(rt_list_select(list(), 0))->value, 0);
  EXPECT_EQ(static_cast<Item*>(rt_list_select(list(), 2))->value, 2);
}

TEST_F(ListTest, FirstLastAndClear) {
  EXPECT_EQ(rt_list_first(list()), nullptr);
  EXPECT_EQ(rt_list_last(list()), nullptr);
  for (int v = 0; v < 40; ++v) add(v);
  EXPECT_EQ(static_cast<Item*>(rt_list_first(list()))->value, 0);
  EXPECT_EQ(static_cast<Item*>(rt_list_last(list()))->value, 39);
  EXPECT_EQ(rt_list_current_index(list()), 39);
  rt_list_clear(list());
  EXPECT_EQ(rt_list_size(list()), 0);
  EXPECT_EQ(var_.current, nullptr);
  EXPECT_EQ(rt_pool_capacity(rt_list_pool(list())), 0);  // every block returned
  add(7);
  EXPECT_EQ(values(), (std::vector<std::int32_t>{7}));
}

TEST(ListSharingTest, SameElementSizeSharesOnePool) {
  ListVar a{};
  ListVar b{};
  ListVar c{};
  rt_list_new(100, &a, nullptr, kTagStruct);
  rt_list_new(100, &b, nullptr, kTagStruct);
  rt_list_new(120, &c, nullptr, kTagStruct);  // another slot size
  EXPECT_EQ(rt_list_pool(a.header), rt_list_pool(b.header));
  EXPECT_NE(rt_list_pool(a.header), rt_list_pool(c.header));
  std::vector<unsigned char*> kept;
  for (int k = 0; k < 50; ++k) {
    std::memset(rt_list_add(a.header), 1, 100);
    auto* e = static_cast<unsigned char*>(rt_list_add(b.header));
    std::memset(e, static_cast<int>(k), 100);
    kept.push_back(e);
  }
  rt_list_free(a.header);
  EXPECT_EQ(a.header, nullptr);
  EXPECT_EQ(a.current, nullptr);
  for (int k = 0; k < 50; ++k)
    for (int i = 0; i < 100; ++i) ASSERT_EQ(kept[k][i], k);
  rt_list_free(b.header);
  rt_list_free(c.header);
}

// A list cleared every frame keeps its pool's blocks and hands the same
// nodes out again, zeroed; a shared pool is never emptied by it.
TEST(ListPrivateTest, ClearKeepsTheBlocksAndReusesTheNodes) {
  ListVar shared{};
  ListVar own{};
  rt_list_new(100, &shared, nullptr, kTagStruct);
  rt_list_new_private(100, &own, nullptr, kTagStruct);
  ASSERT_NE(rt_list_pool(own.header), rt_list_pool(shared.header));
  EXPECT_FALSE(rt_pool_empty(rt_list_pool(shared.header)));
  auto* kept = static_cast<unsigned char*>(rt_list_add(shared.header));
  std::memset(kept, 7, 100);
  std::vector<void*> first_frame;
  for (int k = 0; k < 300; ++k) first_frame.push_back(rt_list_add(own.header));
  rt_list_select(own.header, 10);  // deletes in between leave free slots
  rt_list_delete(own.header);
  rt_list_delete(own.header);
  const std::int32_t capacity = rt_pool_capacity(rt_list_pool(own.header));
  const std::size_t heap_blocks = rt_heap_block_count(rt_heap_main());
  rt_list_clear(own.header);
  EXPECT_EQ(rt_list_size(own.header), 0);
  EXPECT_EQ(rt_list_current(own.header), nullptr);
  EXPECT_EQ(rt_pool_capacity(rt_list_pool(own.header)), capacity);
  EXPECT_EQ(rt_heap_block_count(rt_heap_main()), heap_blocks);
  std::vector<void*> second_frame;
  for (int k = 0; k < 300; ++k) {
    auto* e = static_cast<unsigned char*>(rt_list_add(own.header));
    std::memset(e, 1, 100);  // the next clear must not need it zeroed
    second_frame.push_back(e);
  }
  std::sort(first_frame.begin(), first_frame.end());
  std::sort(second_frame.begin(), second_frame.end());
  EXPECT_EQ(second_frame, first_frame);
  rt_list_clear(own.header);
  auto* again = static_cast<unsigned char*>(rt_list_add(own.header));
  for (int i = 0; i < 100; ++i) ASSERT_EQ(again[i], 0) << "byte " << i;
  EXPECT_EQ(rt_pool_capacity(rt_list_pool(own.header)), capacity);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(kept[i], 7);
  rt_list_free(own.header);
  rt_list_free(shared.header);
}

TEST(ListPrivateTest, ClearFreesTheMembersOfEveryElement) {
  struct Outer {
    ListVar inner;
  };
  const RtDescWord desc[] = {kDescList, offsetof(Outer, inner), 12, 0, kTagStruct, kDescEnd};
  const std::size_t baseline = rt_heap_block_count(rt_heap_main());
  ListVar outer{};
  rt_list_new_private(sizeof(Outer), &outer, desc, kTagStruct);
  for (int k = 0; k < 5; ++k) {
    auto* o = static_cast<Outer*>(rt_list_add(outer.header));
    ASSERT_NE(o->inner.header, nullptr);
    for (int j = 0; j <= k; ++j) rt_list_add(o->inner.header);
  }
  rt_list_clear(outer.header);
  rt_list_free(outer.header);
  EXPECT_EQ(rt_heap_block_count(rt_heap_main()), baseline);
}

TEST(ListNestingTest, NestedListsAreCreatedAndFreedWithTheirElements) {
  struct Outer {
    std::int32_t id;
    ListVar inner;
  };
  const RtDescWord desc[] = {kDescList, offsetof(Outer, inner), 12, 0, kTagStruct, kDescEnd};
  std::size_t baseline = rt_heap_block_count(rt_heap_main());
  ListVar outer{};
  rt_list_new(sizeof(Outer), &outer, desc, kTagStruct);
  std::vector<ListHeader*> inner_headers;
  for (int k = 0; k < 5; ++k) {
    auto* o = static_cast<Outer*>(rt_list_add(outer.header));
    ASSERT_NE(o->inner.header, nullptr);
    EXPECT_EQ(rt_list_size(o->inner.header), 0);
    for (int j = 0; j < k; ++j) rt_list_add(o->inner.header);
    inner_headers.push_back(o->inner.header);
  }
  rt_list_select(outer.header, 2);
  rt_list_delete(outer.header);
  EXPECT_EQ(rt_list_size(outer.header), 4);
  rt_list_free(outer.header);
  EXPECT_EQ(rt_heap_block_count(rt_heap_main()), baseline);
}

TEST(ListOwnVariableTest, ListWithoutVariableOwnsOne) {
  std::size_t baseline = rt_heap_block_count(rt_heap_main());
  ListHeader* h = rt_list_new(8, nullptr, nullptr, kTagStruct);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->owns_variable, 1);
  EXPECT_EQ(h->variable->header, h);
  rt_list_add(h);
  EXPECT_EQ(h->variable->current, h->current);
  rt_list_free(h);
  EXPECT_EQ(rt_heap_block_count(rt_heap_main()), baseline);
}

TEST(ListNullTest, MissingListsDoNothing) {
  EXPECT_EQ(rt_list_add(nullptr), nullptr);
  EXPECT_EQ(rt_list_next(nullptr), nullptr);
  EXPECT_EQ(rt_list_select(nullptr, 0), nullptr);
  EXPECT_EQ(rt_list_size(nullptr), 0);
  rt_list_delete(nullptr);
  rt_list_clear(nullptr);
  rt_list_free(nullptr);
  EXPECT_EQ(rt_list_copy(nullptr, nullptr, 1), 0);
}
