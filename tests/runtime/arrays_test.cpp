// Arrays with their header, multi-dimensional strides, the descriptor walk
// on nested strings, arrays and lists, and memory blocks.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "runtime/arrays.h"
#include "runtime/heap.h"
#include "runtime/lists.h"
#include "runtime/memory.h"
#include "runtime/strings.h"

namespace {
struct Leaf {
  char* text;
  std::int32_t value;
};
struct Inner {
  std::int32_t id;
  char* label;
  ListVar leaves;  // of Leaf
};
struct Outer {
  std::int32_t number;
  char* name;
  void* inners;   // array of two Inner
  ListVar items;  // of Inner
  Leaf pair[2];
  Inner embedded;
  double tail;
};

RtDescWord sub(const RtDescWord* desc) {
  return reinterpret_cast<RtDescWord>(desc);
}

// One descriptor entry a line.
// clang-format off
const RtDescWord kLeafDesc[] = {offsetof(Leaf, text), kDescEnd};
const RtDescWord kInnerDesc[] = {
    offsetof(Inner, label),
    kDescList, offsetof(Inner, leaves), sizeof(Leaf), sub(kLeafDesc), kTagStruct,
    kDescEnd};
const RtDescWord kOuterDesc[] = {
    offsetof(Outer, name),
    kDescArray, offsetof(Outer, inners), sizeof(Inner), 2, kTagStruct, sub(kInnerDesc),
    kDescList, offsetof(Outer, items), sizeof(Inner), sub(kInnerDesc), kTagStruct,
    kDescFixedArray, 2, offsetof(Outer, pair), sizeof(Leaf), sub(kLeafDesc),
    kDescEmbedded, offsetof(Outer, embedded), sizeof(Inner), sub(kInnerDesc),
    kDescEnd};
// clang-format on
const RtDescWord kStringDesc[] = {0, kDescEnd};

std::string text(const char* s) {
  return s ? s : "<null>";
}

void fill_inner(Inner& in, const std::string& tag, int leaves) {
  in.id = static_cast<std::int32_t>(tag.size());
  rt_str_set(&in.label, tag.c_str());
  for (int k = 0; k < leaves; ++k) {
    auto* leaf = static_cast<Leaf*>(rt_list_add(in.leaves.header));
    rt_str_set(&leaf->text, (tag + "/leaf" + std::to_string(k)).c_str());
    leaf->value = k;
  }
}

void fill_outer(Outer& o, const std::string& tag) {
  o.number = 17;
  o.tail = 2.5;
  rt_str_set(&o.name, tag.c_str());
  auto* inners = static_cast<Inner*>(o.inners);
  fill_inner(inners[0], tag + ".a0", 2);
  fill_inner(inners[1], tag + ".a1", 0);
  for (int k = 0; k < 3; ++k)
    fill_inner(*static_cast<Inner*>(rt_list_add(o.items.header)), tag + ".l" + std::to_string(k),
               k);
  rt_str_set(&o.pair[1].text, (tag + ".p1").c_str());
  fill_inner(o.embedded, tag + ".e", 1);
}

// A readable dump of everything reachable from an Outer.
std::string dump_inner(const Inner& in) {
  std::string s = text(in.label) + "[";
  rt_list_reset(in.leaves.header);
  while (auto* leaf = static_cast<Leaf*>(rt_list_next(in.leaves.header)))
    s += text(leaf->text) + "=" + std::to_string(leaf->value) + ",";
  return s + "]";
}

std::string dump_outer(const Outer& o) {
  std::string s = std::to_string(o.number) + text(o.name) + std::to_string(o.tail) + "{";
  auto* inners = static_cast<Inner*>(o.inners);
  s += dump_inner(inners[0]) + dump_inner(inners[1]) + "}{";
  rt_list_reset(o.items.header);
  while (auto* in = static_cast<Inner*>(rt_list_next(o.items.header))) s += dump_inner(*in);
  return s + "}" + text(o.pair[0].text) + text(o.pair[1].text) + dump_inner(o.embedded);
}

struct HeapCounts {
  std::size_t main = rt_heap_block_count(rt_heap_main());
  std::size_t strings = rt_str_heap_blocks();
  // Every block taken since `before` was given back, on both heaps.
  void expect_as_now() const {
    EXPECT_EQ(rt_heap_block_count(rt_heap_main()), main);
    EXPECT_EQ(rt_str_heap_blocks(), strings);
  }
};
}  // namespace

TEST(ArrayTest, HeaderFieldsAndZeroedElements) {
  void* var = nullptr;
  auto* e = static_cast<std::int32_t*>(rt_array_alloc(4, 10, kTagInt32, nullptr, &var));
  ASSERT_EQ(var, e);
  ArrayHeader* h = rt_array_header(e);
  EXPECT_EQ(reinterpret_cast<char*>(h) + sizeof(ArrayHeader), reinterpret_cast<char*>(e));
  EXPECT_EQ(h->dimensions, 1);
  EXPECT_EQ(h->element_size, 4);
  EXPECT_EQ(h->count, 10);
  EXPECT_EQ(h->type_tag, kTagInt32);
  EXPECT_EQ(h->variable, &var);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(e[i], 0);
  rt_array_free(e);
  EXPECT_EQ(var, nullptr);
  rt_array_free(nullptr);
  EXPECT_EQ(rt_array_alloc(4, -1, kTagInt32, nullptr, &var), nullptr);
  EXPECT_EQ(rt_array_alloc(INT32_MAX, INT32_MAX, kTagInt32, nullptr, &var), nullptr);
}

TEST(ArrayTest, TwoDimensionsGiveStridesBehindTheVariable) {
  RtArrayVar<2> grid{nullptr, {5, 5}};
  void* e = rt_array_alloc_dims(2, 4, kTagInt32, nullptr, &grid);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(grid.elements, e);
  EXPECT_EQ(rt_array_header(e)->count, 25);
  EXPECT_EQ(rt_array_header(e)->dimensions, 2);
  EXPECT_EQ(grid.dims[0], 5);
  EXPECT_EQ(grid.dims[1], 1);
  RtArrayVar<3> cube{nullptr, {2, 3, 4}};
  rt_array_alloc_dims(3, 1, kTagInt32, nullptr, &cube);
  EXPECT_EQ(rt_array_header(cube.elements)->count, 24);
  EXPECT_EQ(cube.dims[0], 12);
  EXPECT_EQ(cube.dims[1], 4);
  EXPECT_EQ(cube.dims[2], 1);
  rt_array_free(grid.elements);
  rt_array_free(cube.elements);
  EXPECT_EQ(grid.elements, nullptr);
}

TEST(ArrayTest, ReallocatingFreesTheOldArrayWithItsMembers) {
  HeapCounts before;
  void* var = nullptr;
  rt_array_alloc(sizeof(Outer), 3, kTagStruct, kOuterDesc, &var);
  for (int i = 0; i < 3; ++i) fill_outer(static_cast<Outer*>(var)[i], "x" + std::to_string(i));
  void* old = var;
  void* fresh = rt_array_alloc(sizeof(Outer), 2, kTagStruct, kOuterDesc, &var);
  EXPECT_EQ(var, fresh);
  EXPECT_NE(fresh, nullptr);
  (void)old;
  EXPECT_EQ(rt_array_header(var)->count, 2);
  EXPECT_EQ(static_cast<Outer*>(var)[1].name, nullptr);
  rt_array_free(var);
  before.expect_as_now();
}

TEST(ArrayTest, EachStructureElementGetsItsOwnEmptyList) {
  const RtDescWord list_desc[] = {0, kDescList, 8, 43, 0, kTagStruct, kDescEnd};
  struct Holder {
    char* name;
    ListVar list;
  };
  static_assert(offsetof(Holder, list) == 8);
  void* var = nullptr;
  constexpr int n = 6;
  auto* e =
      static_cast<Holder*>(rt_array_alloc(sizeof(Holder), n + 1, kTagStruct, list_desc, &var));
  for (int i = 0; i <= n; ++i) {
    ASSERT_NE(e[i].list.header, nullptr);
    EXPECT_EQ(rt_list_size(e[i].list.header), 0);
    for (int j = 0; j < i; ++j) EXPECT_NE(e[i].list.header, e[j].list.header);
  }
  rt_list_add(e[2].list.header);
  EXPECT_EQ(rt_list_size(e[2].list.header), 1);
  EXPECT_EQ(rt_list_size(e[3].list.header), 0);
  rt_array_free(var);
}

TEST(ArrayTest, CopyChecksSidesAndCounts) {
  void* a = nullptr;
  void* b = nullptr;
  auto* src = static_cast<std::int32_t*>(rt_array_alloc(4, 4, kTagInt32, nullptr, &a));
  rt_array_alloc(4, 3, kTagInt32, nullptr, &b);
  for (int i = 0; i < 4; ++i) src[i] = i * 11;
  EXPECT_EQ(rt_array_copy(nullptr, b, 0), 0);
  EXPECT_EQ(rt_array_copy(a, nullptr, 1), 0);
  EXPECT_EQ(rt_array_copy(a, b, 0), 0);  // 4 against 3 elements
  EXPECT_EQ(static_cast<std::int32_t*>(b)[2], 0);
  EXPECT_EQ(rt_array_copy(a, b, 1), 1);  // reallocated from the source
  auto* dst = static_cast<std::int32_t*>(b);
  EXPECT_EQ(rt_array_header(dst)->count, 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(dst[i], i * 11);
  rt_array_free(a);
  rt_array_free(b);
}

TEST(StructTest, NeedsInitLooksThroughSubDescriptors) {
  EXPECT_EQ(rt_struct_needs_init(nullptr), 0);
  EXPECT_EQ(rt_struct_needs_init(kLeafDesc), 0);
  EXPECT_EQ(rt_struct_needs_init(kStringDesc), 0);
  EXPECT_EQ(rt_struct_needs_init(kInnerDesc), 1);
  const RtDescWord embedded_only[] = {kDescEmbedded, 0, sizeof(Inner), sub(kInnerDesc), kDescEnd};
  EXPECT_EQ(rt_struct_needs_init(embedded_only), 1);
  const RtDescWord fixed_strings[] = {kDescFixedArray, 3,       0, sizeof(Leaf),
                                      sub(kLeafDesc),  kDescEnd};
  EXPECT_EQ(rt_struct_needs_init(fixed_strings), 0);
}

TEST(StructTest, CopiedStringsAreOwnedByTheCopy) {
  Leaf src{nullptr, 5};
  Leaf dst{nullptr, 0};
  rt_str_set(&src.text, "source");
  rt_struct_copy(&dst, sizeof(Leaf), kLeafDesc, &src);
  ASSERT_NE(dst.text, nullptr);
  EXPECT_NE(dst.text, src.text);
  EXPECT_STREQ(dst.text, "source");
  EXPECT_EQ(dst.value, 5);
  rt_struct_free(&dst, kLeafDesc);
  dst.text = nullptr;  // freeing leaves members as they were
  EXPECT_STREQ(src.text, "source");
  // A null source string frees the destination's and leaves it null.
  Leaf empty{nullptr, 9};
  rt_str_set(&dst.text, "to be dropped");
  rt_struct_copy(&dst, sizeof(Leaf), kLeafDesc, &empty);
  EXPECT_EQ(dst.text, nullptr);
  EXPECT_EQ(dst.value, 9);
  rt_struct_free(&src, kLeafDesc);
}

TEST(StructTest, DeepCopyOfNestedMembersAndFreeWithoutLeaks) {
  HeapCounts before;
  {
    void* a = nullptr;
    void* b = nullptr;
    rt_array_alloc(sizeof(Outer), 3, kTagStruct, kOuterDesc, &a);
    for (int i = 0; i < 3; ++i) fill_outer(static_cast<Outer*>(a)[i], "o" + std::to_string(i));
    std::string original = dump_outer(static_cast<Outer*>(a)[1]);
    EXPECT_NE(original.find("o1.l2/leaf1=1"), std::string::npos) << original;

    rt_array_alloc(4, 1, kTagInt32, nullptr, &b);
    ASSERT_EQ(rt_array_copy(a, b, 1), 1);
    auto* src = static_cast<Outer*>(a);
    auto* dst = static_cast<Outer*>(b);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(dump_outer(dst[i]), dump_outer(src[i]));
    // Nothing is shared between the two trees.
    EXPECT_NE(dst[1].name, src[1].name);
    EXPECT_NE(dst[1].inners, src[1].inners);
    EXPECT_NE(dst[1].items.header, src[1].items.header);
    EXPECT_NE(dst[1].embedded.leaves.header, src[1].embedded.leaves.header);
    EXPECT_NE(dst[1].pair[1].text, src[1].pair[1].text);
    EXPECT_EQ(rt_array_header(dst[1].inners)->variable, &dst[1].inners);

    // Copying again over a filled structure replaces its members.
    rt_struct_copy(&dst[0], sizeof(Outer), kOuterDesc, &src[2]);
    EXPECT_EQ(dump_outer(dst[0]), dump_outer(src[2]));
    rt_str_set(&static_cast<Inner*>(dst[1].inners)[0].label, "changed");
    rt_list_clear(dst[1].items.header);
    EXPECT_EQ(dump_outer(src[1]), original);

    rt_array_free(a);
    EXPECT_EQ(a, nullptr);
    EXPECT_EQ(dump_outer(dst[2]), dump_outer(dst[0]));
    rt_array_free(b);
  }
  before.expect_as_now();
}

TEST(StructTest, ListsOfStructuresCopyDeeply) {
  HeapCounts before;
  ListVar a{};
  ListVar b{};
  rt_list_new(sizeof(Inner), &a, kInnerDesc, kTagStruct);
  rt_list_new(sizeof(Inner), &b, kInnerDesc, kTagStruct);
  for (int k = 0; k < 4; ++k)
    fill_inner(*static_cast<Inner*>(rt_list_add(a.header)), "n" + std::to_string(k), k);
  fill_inner(*static_cast<Inner*>(rt_list_add(b.header)), "kept", 1);
  ASSERT_EQ(rt_list_copy(a.header, b.header, 0), 1);
  EXPECT_EQ(rt_list_size(b.header), 5);
  std::string labels;
  rt_list_reset(b.header);
  while (auto* in = static_cast<Inner*>(rt_list_next(b.header))) labels += dump_inner(*in);
  EXPECT_EQ(labels,
            "kept[kept/leaf0=0,]n0[]n1[n1/leaf0=0,]n2[n2/leaf0=0,n2/leaf1=1,]"
            "n3[n3/leaf0=0,n3/leaf1=1,n3/leaf2=2,]");
  EXPECT_EQ(rt_list_copy(a.header, b.header, 1), 1);
  EXPECT_EQ(rt_list_size(b.header), 4);
  EXPECT_EQ(rt_list_copy(nullptr, b.header, 0), 0);
  rt_list_free(a.header);
  rt_list_free(b.header);
  EXPECT_EQ(a.header, nullptr);
  before.expect_as_now();
}

TEST(MemoryBlockTest, AllocCopyPeekPoke) {
  EXPECT_EQ(rt_mem_alloc(0), nullptr);
  EXPECT_EQ(rt_mem_alloc(-5), nullptr);
  auto* m = static_cast<unsigned char*>(rt_mem_alloc(64));
  ASSERT_NE(m, nullptr);
  for (int i = 0; i < 64; ++i) ASSERT_EQ(m[i], 0);
  const char a[] = "abc";
  const char b[] = "defg";
  void* next = rt_mem_copy(a, m, 3);
  next = rt_mem_copy(b, next, 4);
  EXPECT_EQ(next, m + 7);
  EXPECT_EQ(std::memcmp(m, "abcdefg", 7), 0);
  EXPECT_EQ(rt_poke_long(m + 9, -123456), -123456);  // unaligned
  EXPECT_EQ(rt_peek_long(m + 9), -123456);
  rt_poke_word(m + 20, 0xBEEF);
  EXPECT_EQ(m[20], 0xEF);
  EXPECT_EQ(m[21], 0xBE);
  rt_mem_free(m);
  rt_mem_free(nullptr);
}
