// Large textures without their CPU copy: the copy goes once the device holds
// the texels, and grabs, colour keys and collisions that read it afterwards
// get back exactly what they read before; removal frees cleanly either way.
#include "tests/engine/sprite_test_fixture.h"

namespace sprite_test {
namespace {

// 512 × 512 texels: exactly the size from which copies are dropped.
constexpr int kSide = 512;
static_assert(std::size_t{kSide} * kSide * 4 == kEngDropCopyBytes);
constexpr std::uint32_t kKey = 0xFF102030u;  // keyed by colour 0x302010

// Opaque on the left half with a few keyed texels, transparent on the right;
// every texel differs from its neighbours so a shifted read shows.
std::uint32_t pattern(int x, int y) {
  if (x >= kSide / 2) return 0;
  if (x % 37 == 3 && y % 41 == 5) return kKey;
  return 0xFF000001u + static_cast<std::uint32_t>(x * 7 + y * 131);  // never black
}

std::vector<std::uint32_t> pattern_texels() {
  std::vector<std::uint32_t> out(static_cast<std::size_t>(kSide) * kSide);
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) out[static_cast<std::size_t>(y) * kSide + x] = pattern(x, y);
  return out;
}

class TextureDrop : public BackendTest {
 protected:
  static TextureRecord& tex(EngHandle handle) { return *reinterpret_cast<TextureRecord*>(handle); }

  // Lets the device finish reading, then drops what can go.
  void drop() {
    for (ListNode* n = g_engine.textures.header->first; n; n = n->next)
      plat_texture_wait(video_, static_cast<TextureRecord*>(rt_node_element(n))->texture);
    eng_texture_drop_copies();
  }

  // Drops the copy even when it was read back before.
  void drop_again(EngHandle handle) {
    tex(handle).copy_held = 0;
    drop();
    ASSERT_EQ(tex(handle).texels, nullptr);
  }

  std::vector<std::uint32_t> device_texels(const TextureRecord& t) const {
    std::vector<std::uint32_t> out(static_cast<std::size_t>(t.width) * t.height);
    plat_texture_read(video_, t.texture, out.data());
    return out;
  }

  static std::vector<std::uint32_t> copy_of(const TextureRecord& t) {
    return {t.texels, t.texels + static_cast<std::size_t>(t.width) * t.height};
  }
};

TEST_P(TextureDrop, LargeCopiesGoOnceUploadedAndComeBackExactlySmallOnesStay) {
  const EngHandle big = texture(kSide, kSide, pattern);
  const EngHandle small = texture(kSide, kSide / 2 - 1, pattern);
  ASSERT_NE(big, 0);
  ASSERT_NE(small, 0);
  drop();
  EXPECT_EQ(tex(big).texels, nullptr);
  ASSERT_NE(tex(small).texels, nullptr) << "below the size, the copy stays";
  std::vector<std::uint32_t> rows = pattern_texels();
  rows.resize(static_cast<std::size_t>(kSide) * (kSide / 2 - 1));
  EXPECT_EQ(copy_of(tex(small)), rows);
  // A texture added later drops what the device is done with by itself.
  const EngHandle later = texture(kSide, kSide, pattern);
  drop();
  EXPECT_EQ(tex(later).texels, nullptr);

  ASSERT_NE(eng_texture_texels(&tex(big)), nullptr);
  EXPECT_EQ(copy_of(tex(big)), pattern_texels());
  EXPECT_EQ(tex(big).copy_held, 1);
  drop();
  EXPECT_NE(tex(big).texels, nullptr) << "a copy read once stays";
}

TEST_P(TextureDrop, GrabKeyAndCollisionReadTheDroppedCopyAsBefore) {
  const EngHandle sheet = texture(kSide, kSide, pattern);
  const EngHandle s = eng_sprite_create(sheet);
  const EngHandle dot = solid_sprite(4, 4, 0xFFFFFFFFu);
  ASSERT_NE(s, 0);
  ASSERT_NE(dot, 0);
  const EngHandle grab_before = eng_texture_grab(sheet, 250, 100, 20, 8);
  // Over the opaque half, over the transparent half, across the edge; with
  // the collision picture (3) and the texture itself (2).
  const int spots[][2] = {{100, 200}, {400, 200}, {kSide / 2 - 2, 50}, {kSide / 2 + 1, 50}};
  std::vector<int> before, after;
  for (int mode : {2, 3})
    for (const auto& p : spots)
      before.push_back(eng_sprite_collide(s, 0, 0, dot, p[0], p[1], mode));
  ASSERT_EQ(before, (std::vector<int>{1, 0, 1, 0, 1, 0, 1, 0}));

  drop_again(sheet);
  const EngHandle grab_after = eng_texture_grab(sheet, 250, 100, 20, 8);
  EXPECT_EQ(copy_of(tex(grab_after)), copy_of(tex(grab_before)));

  // Whichever test reads the dropped copy first brings it back.
  for (bool texture_first : {true, false}) {
    drop_again(sheet);
    record(s).collision.cache_valid = 0;  // as a new frame leaves it
    std::vector<int> by_mode[4];
    for (int mode : texture_first ? std::vector<int>{2, 3} : std::vector<int>{3, 2})
      for (const auto& p : spots)
        by_mode[mode].push_back(eng_sprite_collide(s, 0, 0, dot, p[0], p[1], mode));
    after = by_mode[2];
    after.insert(after.end(), by_mode[3].begin(), by_mode[3].end());
    EXPECT_EQ(after, before) << (texture_first ? "texture test first" : "picture first");
  }

  // The key reads the copy back, changes it and uploads it.
  drop_again(sheet);
  eng_texture_colour_key(&tex(sheet), 0x302010);
  std::vector<std::uint32_t> keyed = pattern_texels();
  std::replace(keyed.begin(), keyed.end(), kKey, 0u);
  ASSERT_NE(tex(sheet).texels, nullptr);
  EXPECT_EQ(copy_of(tex(sheet)), keyed);
  plat_texture_wait(video_, tex(sheet).texture);
  EXPECT_EQ(device_texels(tex(sheet)), keyed);
}

TEST_P(TextureDrop, TexturesRemovedWhileDroppedFreeCleanly) {
  // Keeps the list's node pool from going with the last of the two.
  ASSERT_NE(solid_texture(4, 4, 0xFFFFFFFFu), 0);
  const EngHandle one = texture(kSide, kSide, pattern);
  const EngHandle two = texture(kSide, kSide, pattern);
  // Heap blocks besides the two copies (an add may have dropped one already).
  const std::size_t others =
      rt_heap_block_count(rt_main_heap) - (tex(one).texels ? 1 : 0) - (tex(two).texels ? 1 : 0);
  drop();
  ASSERT_EQ(tex(one).texels, nullptr);
  ASSERT_EQ(tex(two).texels, nullptr);
  EXPECT_EQ(rt_heap_block_count(rt_main_heap), others) << "both copies freed";
  ASSERT_NE(eng_texture_texels(&tex(two)), nullptr);
  EXPECT_EQ(rt_heap_block_count(rt_main_heap), others + 1);
  eng_texture_remove(&tex(one));
  EXPECT_EQ(eng_find_texture(one), nullptr);
  EXPECT_EQ(rt_heap_block_count(rt_main_heap), others + 1) << "nothing left to free";
  eng_texture_remove(&tex(two));
  EXPECT_EQ(eng_find_texture(two), nullptr);
  EXPECT_EQ(rt_heap_block_count(rt_main_heap), others) << "the copy read back freed";
  // One left dropped in the list goes with it (the teardown resets it).
  const EngHandle three = texture(kSide, kSide, pattern);
  drop();
  EXPECT_EQ(tex(three).texels, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Backends, TextureDrop,
                         ::testing::Values(PlatVideoBackend::Soft, PlatVideoBackend::GL),
                         [](const auto& info) {
                           return info.param == PlatVideoBackend::Soft ? "soft" : "gl";
                         });

}  // namespace
}  // namespace sprite_test
