// Randomised model tests: lists against a vector with a current index, and
// pools against the block and capacity rules, checked after every step.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <vector>

#include "runtime/heap.h"
#include "runtime/lists.h"

namespace {
struct Particle {
  std::int32_t value;
  char pad[39];
};

// The reference: the values in order and the current position (-1: none).
struct Model {
  std::vector<std::int32_t> values;
  int current = -1;
};

std::int32_t value_of(void* element) {
  return element ? static_cast<Particle*>(element)->value : -1;
}

std::int32_t model_value(const Model& m) {
  return m.current < 0 ? -1 : m.values[m.current];
}

// Compares every link of the list with the model without moving its
// current element.
void check(const ListVar& var, const Model& m) {
  const ListHeader* h = var.header;
  ASSERT_EQ(h->count, static_cast<std::int32_t>(m.values.size()));
  std::size_t k = 0;
  const ListNode* prev = nullptr;
  for (const ListNode* n = h->first; n; prev = n, n = n->next, ++k) {
    ASSERT_LT(k, m.values.size());
    ASSERT_EQ(n->prev, prev);
    ASSERT_EQ(value_of(rt_node_element(const_cast<ListNode*>(n))), m.values[k]);
  }
  ASSERT_EQ(k, m.values.size());
  ASSERT_EQ(h->last, prev);
  ASSERT_EQ(value_of(rt_list_current(h)), model_value(m));
  ASSERT_EQ(var.current, h->current);
  if (!h->index_stale && h->current) {
    ASSERT_EQ(h->current_index, m.current);
  }
}

void model_delete(Model& m, bool keep_first) {
  if (m.current < 0) return;
  m.values.erase(m.values.begin() + m.current);
  if (m.current > 0)
    --m.current;
  else
    m.current = keep_first && !m.values.empty() ? 0 : -1;
}

// One random operation on both, checking what the list returns.
void step(std::mt19937& rng, ListVar& var, Model& m, std::int32_t& next_value) {
  ListHeader* h = var.header;
  int size = static_cast<int>(m.values.size());
  switch (rng() % 11) {
    case 0:
    case 1:
    case 2: {
      auto* p = static_cast<Particle*>(rt_list_add(h));
      p->value = next_value;
      m.values.insert(m.values.begin() + (m.current + 1), next_value++);
      ++m.current;
      break;
    }
    case 3: {
      bool keep = rng() % 2;
      rt_list_delete_ex(h, keep ? kListDeleteKeepFirst : 0);
      model_delete(m, keep);
      break;
    }
    case 4:
      rt_list_reset(h);
      m.current = -1;
      break;
    case 5:
    case 6: {
      void* e = rt_list_next(h);
      if (m.current < 0 && size > 0)
        m.current = 0;
      else if (m.current >= 0 && m.current + 1 < size)
        ++m.current;
      else {
        ASSERT_EQ(e, nullptr);
        break;
      }
      ASSERT_EQ(value_of(e), m.values[m.current]);
      break;
    }
    case 7:
      ASSERT_EQ(value_of(rt_list_first(h)), size ? m.values.front() : -1);
      m.current = size ? 0 : -1;
      break;
    case 8:
      ASSERT_EQ(value_of(rt_list_last(h)), size ? m.values.back() : -1);
      m.current = size - 1;
      break;
    case 9: {
      int index = static_cast<int>(rng() % (size + 3)) - 1;
      void* e = rt_list_select(h, index);
      m.current = index >= 0 && index < size ? index : -1;
      ASSERT_EQ(value_of(e), model_value(m));
      break;
    }
    case 10:
      if (rng() % 20 == 0) {
        rt_list_clear(h);
        m = Model{};
      }
      break;
  }
}

// The game's pass: walk everything, delete some elements while walking.
void walk_and_delete(std::mt19937& rng, ListVar& var, Model& m) {
  std::vector<std::int32_t> expected = m.values;
  rt_list_reset(var.header);
  m.current = -1;
  std::vector<std::int32_t> visited;
  while (void* e = rt_list_next(var.header)) {
    visited.push_back(value_of(e));
    m.current = m.current < 0 ? 0 : m.current + 1;
    if (rng() % 4 == 0) {
      rt_list_delete(var.header);
      model_delete(m, false);
    }
    check(var, m);
  }
  ASSERT_EQ(visited, expected);
}
}  // namespace

TEST(ListModelTest, RandomOperationsMatchTheModel) {
  for (unsigned seed = 1; seed <= 4; ++seed) {
    std::mt19937 rng(seed);
    ListVar var{};
    rt_list_new(sizeof(Particle), &var, nullptr, kTagStruct);
    Model m;
    std::int32_t next_value = 0;
    for (int i = 0; i < 5000; ++i) {
      if (rng() % 100 == 0) {
        ASSERT_NO_FATAL_FAILURE(walk_and_delete(rng, var, m)) << "seed " << seed;
      } else {
        ASSERT_NO_FATAL_FAILURE(step(rng, var, m, next_value)) << "seed " << seed;
      }
      ASSERT_NO_FATAL_FAILURE(check(var, m)) << "seed " << seed << " step " << i;
    }
    rt_list_free(var.header);
  }
}

TEST(ListModelTest, WalkWithDeletesVisitsEachElementOnce) {
  std::mt19937 rng(99);
  ListVar var{};
  rt_list_new(sizeof(Particle), &var, nullptr, kTagStruct);
  Model m;
  for (std::int32_t v = 0; v < 2000; ++v) {
    static_cast<Particle*>(rt_list_add(var.header))->value = v;
    m.values.push_back(v);
    m.current = v;
  }
  for (int round = 0; round < 5; ++round) {
    std::vector<std::int32_t> expected = m.values;
    std::vector<std::int32_t> visited;
    rt_list_reset(var.header);
    m.current = -1;
    while (void* e = rt_list_next(var.header)) {
      visited.push_back(value_of(e));
      m.current = m.current + 1;
      if (rng() % 3 == 0) {
        rt_list_delete(var.header);
        model_delete(m, false);
      }
    }
    EXPECT_EQ(visited, expected);
    check(var, m);
  }
  rt_list_free(var.header);
}

namespace {
std::int32_t expected_block(std::int32_t capacity, std::int32_t min_block, std::int32_t max_block) {
  std::int32_t n = (capacity / 16) & ~15;
  return n < min_block ? min_block : n > max_block ? max_block : n;
}

void* block_of(void* node) {
  void* block;
  std::memcpy(&block, static_cast<char*>(node) - sizeof(void*), sizeof block);
  return block;
}
}  // namespace

TEST(PoolModelTest, BlocksGrowWithThePoolAndReturnWhenEmpty) {
  constexpr std::int32_t kMin = 16;
  constexpr std::int32_t kMax = 512;
  std::size_t heap_before = rt_heap_block_count(rt_heap_main());
  MemPool* pool = rt_pool_create(59, kMin, kMax, 0);
  ASSERT_EQ(rt_pool_slot_size(pool) % sizeof(void*), 0u);
  ASSERT_GE(rt_pool_slot_size(pool), 59 + static_cast<std::int32_t>(sizeof(void*)));
  std::mt19937 rng(7);
  std::vector<void*> live;
  std::map<void*, std::int32_t> block_capacity;  // blocks that hold live nodes
  std::map<void*, std::int32_t> stamp;
  std::map<void*, std::int32_t> live_in_block;
  std::int32_t counter = 0;
  for (int i = 0; i < 40000; ++i) {
    // Phases of growth and shrinking, so blocks both fill and empty.
    bool grow = (i / 5000) % 2 == 0 ? rng() % 4 != 0 : rng() % 4 == 0;
    if (grow || live.empty()) {
      std::int32_t before = rt_pool_capacity(pool);
      void* node = rt_pool_alloc(pool);
      ASSERT_NE(node, nullptr);
      std::int32_t added = rt_pool_capacity(pool) - before;
      void* block = block_of(node);
      if (added) {
        ASSERT_EQ(added, expected_block(before, kMin, kMax)) << "capacity " << before;
        ASSERT_EQ(block_capacity.count(block), 0u);
        block_capacity[block] = added;
      } else {
        ASSERT_EQ(block_capacity.count(block), 1u) << "a node from an unknown block";
      }
      std::memset(node, counter & 0xFF, 59);
      stamp[node] = counter++;
      live.push_back(node);
      ++live_in_block[block];
    } else {
      std::size_t k = rng() % live.size();
      void* node = live[k];
      live[k] = live.back();
      live.pop_back();
      unsigned char expect = static_cast<unsigned char>(stamp[node] & 0xFF);
      for (int b = 0; b < 59; ++b) ASSERT_EQ(static_cast<unsigned char*>(node)[b], expect);
      stamp.erase(node);
      --live_in_block[block_of(node)];
      rt_pool_free(pool, node);
    }
    // A block lives exactly while one of its slots is handed out.
    for (auto it = block_capacity.begin(); it != block_capacity.end();)
      it = live_in_block[it->first] ? std::next(it) : block_capacity.erase(it);
    std::int32_t total = 0;
    for (auto& [block, cap] : block_capacity) total += cap;
    ASSERT_EQ(rt_pool_capacity(pool), total) << "step " << i;
    ASSERT_EQ(rt_pool_block_count(pool), static_cast<std::int32_t>(block_capacity.size()));
    ASSERT_EQ(rt_heap_block_count(rt_heap_main()), heap_before + 1 + block_capacity.size());
  }
  for (void* node : live) rt_pool_free(pool, node);
  EXPECT_EQ(rt_pool_capacity(pool), 0);
  EXPECT_EQ(rt_pool_block_count(pool), 0);
  rt_pool_release(pool);
  EXPECT_EQ(rt_heap_block_count(rt_heap_main()), heap_before);
}

TEST(PoolTest, FreedSlotsAreReusedLastFreedFirst) {
  MemPool* pool = rt_pool_create(24, 16, 65536, 0);
  void* a = rt_pool_alloc(pool);
  void* b = rt_pool_alloc(pool);
  void* c = rt_pool_alloc(pool);
  rt_pool_free(pool, a);
  rt_pool_free(pool, c);
  EXPECT_EQ(rt_pool_alloc(pool), c);
  EXPECT_EQ(rt_pool_alloc(pool), a);
  EXPECT_EQ(rt_pool_capacity(pool), 16);
  // A full block moves aside and a new one takes the next requests.
  std::vector<void*> more;
  for (int k = 0; k < 14; ++k) more.push_back(rt_pool_alloc(pool));
  EXPECT_EQ(rt_pool_capacity(pool), 32);
  EXPECT_EQ(rt_pool_block_count(pool), 2);
  rt_pool_free(pool, b);  // the first block has room again and is used first
  EXPECT_EQ(rt_pool_alloc(pool), b);
  rt_pool_clear(pool);
  EXPECT_EQ(rt_pool_capacity(pool), 0);
  EXPECT_EQ(rt_pool_block_count(pool), 0);
  rt_pool_release(pool);
}

TEST(PoolTest, LargeBlocksAreCappedAtTheMaximum) {
  MemPool* pool = rt_pool_create(8, 16, 64, 0);
  std::vector<void*> nodes;
  std::int32_t last_capacity = 0;
  std::int32_t biggest = 0;
  for (int k = 0; k < 20000; ++k) {
    nodes.push_back(rt_pool_alloc(pool));
    std::int32_t cap = rt_pool_capacity(pool);
    if (cap != last_capacity) biggest = std::max(biggest, cap - last_capacity);
    last_capacity = cap;
  }
  EXPECT_EQ(biggest, 64);
  for (void* n : nodes) rt_pool_free(pool, n);
  EXPECT_EQ(rt_pool_capacity(pool), 0);
  rt_pool_release(pool);
}
