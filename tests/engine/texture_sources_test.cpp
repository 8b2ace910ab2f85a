// Textures from runtime images (upright or flipped), empty textures and
// rectangles grabbed out of other textures.
#include "tests/engine/sprite_test_fixture.h"

namespace sprite_test {
namespace {

class TextureSources : public EngineTest {
 protected:
  void TearDown() override {
    img_free_all();
    EngineTest::TearDown();
  }

  // A runtime image of w × h with pixel (x, y) = fn(x, y) as 0xAARRGGBB.
  static std::intptr_t image(int w, int h, int depth,
                             const std::function<std::uint32_t(int, int)>& fn) {
    const std::intptr_t id = img_create(-1, w, h, depth);
    ImgBitmap* bitmap = img_bitmap(id);
    if (!bitmap) return 0;
    const int bytes = bitmap->bits_per_pixel / 8;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        std::uint8_t* p = bitmap->pixels + (h - 1 - y) * bitmap->pitch + x * bytes;
        const std::uint32_t v = fn(x, y);
        p[0] = v & 255, p[1] = v >> 8 & 255, p[2] = v >> 16 & 255;
        if (bytes == 4) p[3] = v >> 24;
      }
    return id;
  }

  static const TextureRecord& texture_of(EngHandle handle) {
    return *reinterpret_cast<const TextureRecord*>(handle);
  }

  static std::uint32_t texel(EngHandle handle, int x, int y) {
    const TextureRecord& t = texture_of(handle);
    return t.texels[y * t.width + x];
  }
};

std::uint32_t corner_pattern(int x, int y) {
  return argb(x == 0 && y == 0 ? 0 : 0x40, 10 * x, 20 * y, 0x99);
}

TEST_F(TextureSources, ImageBecomesAnOpaqueTextureOfItsSizeTheRightWayUp) {
  for (int depth : {24, 32}) {
    const std::intptr_t id = image(3, 2, depth, corner_pattern);
    ASSERT_NE(id, 0);
    const EngHandle handle = eng_texture_from_image(id);
    ASSERT_NE(handle, 0) << depth;
    EXPECT_EQ(texture_of(handle).width, 3);
    EXPECT_EQ(texture_of(handle).height, 2);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x)
        EXPECT_EQ(texel(handle, x, y), corner_pattern(x, y) | 0xFF000000u)
            << "depth " << depth << " at " << x << "," << y;
  }
}

TEST_F(TextureSources, FlippedTransferTurnsThePictureUpsideDown) {
  const std::intptr_t id = image(3, 2, 32, corner_pattern);
  const EngHandle handle = eng_texture_transfer(id, 1, 0);
  ASSERT_NE(handle, 0);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x)
      EXPECT_EQ(texel(handle, x, y), corner_pattern(x, 1 - y) | 0xFF000000u);
  const EngHandle with_alpha = eng_texture_transfer(id, 0, 1);
  EXPECT_EQ(texel(with_alpha, 0, 0), corner_pattern(0, 0));
  EXPECT_EQ(texel(with_alpha, 1, 0), corner_pattern(1, 0));
}

TEST_F(TextureSources, MissingImageGivesNoTextureAndNoError) {
  g_engine.screen.last_error = 0;
  EXPECT_EQ(eng_texture_from_image(12345), 0);
  EXPECT_EQ(eng_texture_from_image(-1), 0);
  EXPECT_EQ(g_engine.screen.last_error, 0);
  EXPECT_EQ(rt_list_size(g_engine.textures.header), 0);
}

TEST_F(TextureSources, SpriteOnAnImageTextureHasBlackKeyedOut) {
  // The game's flash and bar pictures: drawn into an image, then a sprite.
  const std::intptr_t id = image(2, 1, 32, [](int x, int) { return x ? 0xFF00FF00 : 0; });
  const EngHandle s = eng_sprite_create(eng_texture_from_image(id));
  ASSERT_NE(s, 0);
  eng_sprite_draw(s, 0, 0, 255);
  eng_sprite_draw(s, 0, 0, 255);
  render();
  EXPECT_EQ(pixel(0, 0), 0u);
  EXPECT_EQ(pixel(1, 0), 0x00FF00u);
}

// Black found anywhere in a row, in the blocks the copy works in or in the
// rest of the row, in every kind of transfer; a copy without black keys
// nothing and a second key finds nothing more.
TEST_F(TextureSources, SpriteKeysEveryBlackTexelOfAWideImage) {
  // Black at the start, inside and after the copy's vector blocks, each
  // alone in its image too, so a block that misses it shows.
  const int spots[][2] = {{0, 0}, {9, 1}, {20, 2}};
  for (int only = -1; only < 3; ++only) {
    const auto pattern = [&](int x, int y) -> std::uint32_t {
      for (int i = 0; i < 3; ++i)
        if ((only < 0 || only == i) && x == spots[i][0] && y == spots[i][1]) return 0xFF000000u;
      return argb(0xFF, x + 1, y, 7);
    };
    struct Kind {
      int depth, alpha;
    };
    for (Kind kind : {Kind{24, 0}, Kind{32, 0}, Kind{32, 1}}) {
      const std::intptr_t id = image(21, 3, kind.depth, pattern);
      const EngHandle texture = eng_texture_transfer(id, 0, kind.alpha);
      ASSERT_NE(eng_sprite_create(texture), 0);
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 21; ++x) {
          const std::uint32_t want = pattern(x, y) == 0xFF000000u ? 0u : pattern(x, y);
          EXPECT_EQ(texel(texture, x, y), want)
              << "depth " << kind.depth << " alpha " << kind.alpha << " at " << x << "," << y;
        }
    }
  }
  const std::intptr_t plain = image(21, 3, 32, [](int x, int) { return argb(0, x + 1, 2, 3); });
  const EngHandle texture = eng_texture_from_image(plain);
  const EngHandle sprite = eng_sprite_create(texture);
  ASSERT_NE(sprite, 0);
  eng_sprite_mask_colour(sprite, 0);
  for (int x = 0; x < 21; ++x) EXPECT_EQ(texel(texture, x, 1), argb(0xFF, x + 1, 2, 3)) << x;
}

TEST_F(TextureSources, CreatedTextureIsTransparentBlackOfTheGivenSize) {
  const EngHandle handle = eng_texture_create(33, 7);
  ASSERT_NE(handle, 0);
  EXPECT_EQ(texture_of(handle).width, 33);
  EXPECT_EQ(texture_of(handle).height, 7);
  EXPECT_EQ(texture_of(handle).format, kFormatA8R8G8B8);
  EXPECT_EQ(texel(handle, 32, 6), 0u);
  for (auto [w, h] : {std::pair{0, 4}, {4, -1}, {kMaxTextureSide + 1, 1}}) {
    g_engine.screen.last_error = 0;
    EXPECT_EQ(eng_texture_create(w, h), 0);
    EXPECT_EQ(g_engine.screen.last_error, 18);
  }
  EXPECT_EQ(rt_list_size(g_engine.textures.header), 1);
}

TEST_F(TextureSources, GrabCutsTheSecondTileOutOfASheet) {
  const EngHandle sheet = texture(96, 16, [](int x, int y) { return argb(255, x / 16, x, y); });
  const EngHandle tile = eng_texture_grab(sheet, 16, 0, 16, 16);
  ASSERT_NE(tile, 0);
  EXPECT_EQ(texture_of(tile).width, 16);
  EXPECT_EQ(texture_of(tile).height, 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) EXPECT_EQ(texel(tile, x, y), argb(255, 1, 16 + x, y));
  std::vector<std::uint32_t> device(16 * 16);
  plat_texture_read(video_, texture_of(tile).texture, device.data());
  EXPECT_EQ(device[17], argb(255, 1, 17, 1));
}

TEST_F(TextureSources, GrabKeepsOpaqueBlackOfATextureWithoutAlpha) {
  const std::intptr_t id = image(2, 1, 24, [](int x, int) { return x ? 0xFF0000u : 0u; });
  const EngHandle source = eng_texture_from_image(id);
  const EngHandle tile = eng_texture_grab(source, 0, 0, 2, 1);
  EXPECT_EQ(texel(tile, 0, 0), 0xFF000000u);
  EXPECT_EQ(texel(tile, 1, 0), 0xFFFF0000u);
}

TEST_F(TextureSources, GrabOutsideTheSourceReadsNothingBeyondIt) {
  const EngHandle sheet = texture(4, 4, [](int x, int y) { return argb(255, x, y, 7); });
  const EngHandle part = eng_texture_grab(sheet, 2, -1, 4, 3);
  ASSERT_NE(part, 0);
  EXPECT_EQ(texel(part, 0, 0), 0u);
  EXPECT_EQ(texel(part, 0, 1), argb(255, 2, 0, 7));
  EXPECT_EQ(texel(part, 1, 2), argb(255, 3, 1, 7));
  EXPECT_EQ(texel(part, 2, 1), 0u);
  const EngHandle away = eng_texture_grab(sheet, 1000, 1000, 2, 2);
  ASSERT_NE(away, 0);
  EXPECT_EQ(texel(away, 1, 1), 0u);
}

TEST_F(TextureSources, GrabFailuresStoreNoError) {
  const EngHandle sheet = eng_texture_create(4, 4);
  g_engine.screen.last_error = 0;
  EXPECT_EQ(eng_texture_grab(sheet, 0, 0, 0, 4), 0);
  EXPECT_EQ(eng_texture_grab(0, 0, 0, 4, 4), 0);
  EXPECT_EQ(eng_texture_grab(sheet + 8, 0, 0, 4, 4), 0);
  EXPECT_EQ(g_engine.screen.last_error, 0);
}

}  // namespace
}  // namespace sprite_test
