// Textures from files: natural size, opaque black made transparent, loads
// without alpha, failures, and the colour key shared by every sprite on a
// texture.
#include <png.h>

#include <fstream>

#include "runtime/maths.h"
#include "tests/engine/sprite_test_fixture.h"

namespace sprite_test {
namespace {

// Writes a w × h RGBA PNG of fn(x, y) (0xAARRGGBB).
bool write_png(const std::string& path, int w, int h,
               const std::function<std::uint32_t(int, int)>& fn) {
  std::vector<std::uint8_t> rgba(static_cast<std::size_t>(w) * h * 4);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const std::uint32_t v = fn(x, y);
      std::uint8_t* p = &rgba[(static_cast<std::size_t>(y) * w + x) * 4];
      p[0] = v >> 16 & 255, p[1] = v >> 8 & 255, p[2] = v & 255, p[3] = v >> 24;
    }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(w);
  image.height = static_cast<png_uint_32>(h);
  image.format = PNG_FORMAT_RGBA;
  return png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr) != 0;
}

class TextureLoad : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    dir_ = scratch_dir("texture_load");
  }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  static const TextureRecord& texture_of(EngHandle handle) {
    return *reinterpret_cast<const TextureRecord*>(handle);
  }
  std::vector<std::uint32_t> device_texels(const TextureRecord& t) const {
    std::vector<std::uint32_t> out(static_cast<std::size_t>(t.width) * t.height);
    plat_texture_read(video_, t.texture, out.data());
    return out;
  }
  std::string dir_;
};

TEST_F(TextureLoad, KeepsTheFilesOwnSize) {
  ASSERT_TRUE(write_png(path("odd.png"), 100, 37, [](int, int) { return 0xFF808080; }));
  const EngHandle handle = eng_texture_load(path("odd.png").c_str());
  ASSERT_NE(handle, 0);
  const TextureRecord& t = texture_of(handle);
  EXPECT_EQ(t.width, 100);
  EXPECT_EQ(t.height, 37);
  EXPECT_EQ(plat_texture_width(video_, t.texture), 100);
  EXPECT_EQ(plat_texture_height(video_, t.texture), 37);
  EXPECT_STREQ(t.file_name, path("odd.png").c_str());
}

// Texels in a row: opaque black, near black, half-transparent black, a
// colour with half alpha, opaque colour.
std::uint32_t row_texel(int x, int) {
  const std::uint32_t row[] = {0xFF000000, 0xFF010101, 0x80000000, 0x80FF8040, 0xFF123456};
  return row[x];
}

TEST_F(TextureLoad, SpriteLoadMakesOpaqueBlackTransparentAndKeepsTheRest) {
  ASSERT_TRUE(write_png(path("row.png"), 5, 1, row_texel));
  const EngHandle s = eng_sprite_load(path("row.png").c_str());
  ASSERT_NE(s, 0);
  const TextureRecord& t = texture_of(record(s).texture);
  EXPECT_EQ(t.format, kFormatA8R8G8B8);
  const std::vector<std::uint32_t> expect = {0, 0xFF010101, 0x80000000, 0x80FF8040, 0xFF123456};
  EXPECT_EQ(std::vector<std::uint32_t>(t.texels, t.texels + 5), expect);
  EXPECT_EQ(device_texels(t), expect);
  eng_sprite_draw(s, 10, 10, 255);
  render();
  expect_screen({{10, 10, 0u}, {11, 10, 0x010101u}, {14, 10, 0x123456u}});
}

TEST_F(TextureLoad, TextureLoadWithoutAlphaIsOpaqueEverywhere) {
  ASSERT_TRUE(write_png(path("row.png"), 5, 1, row_texel));
  const EngHandle handle = eng_texture_load(path("row.png").c_str());
  ASSERT_NE(handle, 0);
  const TextureRecord& t = texture_of(handle);
  EXPECT_EQ(t.format, kFormatX8R8G8B8);
  const std::vector<std::uint32_t> expect = {0xFF000000, 0xFF010101, 0xFF000000, 0xFFFF8040,
                                             0xFF123456};
  EXPECT_EQ(std::vector<std::uint32_t>(t.texels, t.texels + 5), expect);
  EXPECT_EQ(device_texels(t), expect);
}

TEST_F(TextureLoad, MissingAndBrokenFilesFailWithError18) {
  EXPECT_EQ(eng_texture_load(path("missing.png").c_str()), 0);
  EXPECT_EQ(g_engine.screen.last_error, 18);
  g_engine.screen.last_error = 0;
  std::ofstream(path("broken.png"), std::ios::binary) << "\x89PNG\r\n\x1a\n not really";
  EXPECT_EQ(eng_sprite_load(path("broken.png").c_str()), 0);
  EXPECT_EQ(g_engine.screen.last_error, 18);
  EXPECT_EQ(eng_texture_load(""), 0);
  EXPECT_EQ(eng_texture_load(nullptr), 0);
  EXPECT_EQ(rt_list_size(g_engine.textures.header), 0) << "failed loads leave no record";
  EXPECT_EQ(rt_list_size(g_engine.sprites.header), 0);
}

TEST_F(TextureLoad, MaskColourKeysTheTextureOfEverySpriteOnIt) {
  const EngHandle texture = TextureLoad::texture(3, 1, [](int x, int) {
    const std::uint32_t row[] = {0xFFFF00FF, 0xFFFE00FF, 0x80FF00FF};
    return row[x];
  });
  const EngHandle a = eng_sprite_create(texture);
  const EngHandle b = eng_sprite_create(texture);
  ASSERT_EQ(eng_sprite_mask_colour(a, rt_rgb(255, 0, 255)), 1);
  const TextureRecord& t = texture_of(texture);
  EXPECT_EQ(std::vector<std::uint32_t>(t.texels, t.texels + 3),
            (std::vector<std::uint32_t>{0, 0xFFFE00FF, 0x80FF00FF}))
      << "only the exact opaque colour";
  eng_sprite_draw(a, 0, 0, 255);
  eng_sprite_draw(b, 0, 5, 255);
  render();
  EXPECT_EQ(pixel(0, 0), 0u);
  EXPECT_EQ(pixel(0, 5), 0u) << "the other sprite on the texture";
  EXPECT_EQ(pixel(1, 5), 0xFE00FFu);
  EXPECT_EQ(record(b).texture, texture) << "the handle stays";
}

TEST_F(TextureLoad, ColourKeyTakesRuntimeColoursAsBlueGreenRed) {
  const EngHandle texture =
      TextureLoad::texture(2, 1, [](int x, int) { return x == 0 ? 0xFF102030u : 0xFF302010u; });
  const EngHandle s = eng_sprite_create(texture);
  eng_sprite_mask_colour(s, rt_rgb(0x10, 0x20, 0x30));
  const TextureRecord& t = texture_of(texture);
  EXPECT_EQ(t.texels[0], 0u);
  EXPECT_EQ(t.texels[1], 0xFF302010u);
}

}  // namespace
}  // namespace sprite_test
