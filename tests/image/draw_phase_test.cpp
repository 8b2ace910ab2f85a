// Drawing phases on images: img_output, draw_start and draw_stop with their
// failure cases, the front-end primitives, reading pixels back through the
// device, and the game's canvas of 36 tiles.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "draw_canvas.h"
#include "tests/image/codec_test_support.h"
#include "runtime/objects.h"

namespace {

class DrawPhase : public testing::Test {
 protected:
  void SetUp() override {
    ensure_main_heap();
    if (!img_objects()) img_init();
    draw_init();
  }
  void TearDown() override {
    draw_stop();
    for (std::intptr_t id : ids_) img_free(id);
  }
  std::intptr_t create(std::int32_t w, std::int32_t h, std::int32_t depth) {
    const std::intptr_t id = img_create(-1, w, h, depth);
    if (id) ids_.push_back(id);
    return id;
  }
  std::vector<std::intptr_t> ids_;
};

// A one-entry ICO file of a 1 x 1 32-bit picture.
codec_test::Bytes tiny_icon() {
  return codec_test::make_ico(
      {{1, 1, 32,
        codec_test::make_icon_dib(1, 1, 32, {}, {0x30, 0x20, 0x10, 0xFF}, {0, 0, 0, 0})}});
}

TEST_F(DrawPhase, OutputAndStartRefuseWhatCannotBeDrawnInto) {
  EXPECT_EQ(img_output(12345), 0);
  EXPECT_EQ(img_output(-1), 0);
  EXPECT_EQ(draw_start(0), 0);
  const codec_test::Bytes ico = tiny_icon();
  const std::intptr_t icon = img_catch(-1, ico.data(), static_cast<std::int32_t>(ico.size()));
  ASSERT_NE(icon, 0);
  ids_.push_back(icon);
  const std::size_t before = rt_heap_block_count(rt_main_heap);
  EXPECT_EQ(img_output(icon), 0);
  EXPECT_EQ(draw_current(), nullptr);
  EXPECT_EQ(rt_heap_block_count(rt_main_heap), before);
}

TEST_F(DrawPhase, PrimitivesWithoutAPhaseDoNothing) {
  draw_stop();
  draw_stop();
  draw_line(0, 0, 5, 5, 0xFF);
  draw_box(0, 0, 5, 5, 0xFF);
  draw_image(0, 0, 0);
  EXPECT_EQ(draw_current(), nullptr);
}

TEST_F(DrawPhase, PhaseLifecycleFreesEverything) {
  const std::intptr_t id = create(4, 3, 24);
  ASSERT_NE(id, 0);
  const std::size_t before = rt_heap_block_count(rt_main_heap);
  const std::intptr_t target = img_output(id);
  ASSERT_NE(target, 0);
  auto* c = reinterpret_cast<DrawContext*>(target);
  EXPECT_EQ(draw_current(), c);  // current at once, before the start
  EXPECT_EQ(c->format, kDrawFormat24 | kDrawFormatDirect);
  EXPECT_EQ(c->bytes_per_pixel, 3);
  EXPECT_EQ(c->pitch, 12);
  EXPECT_EQ(c->pixels, img_bitmap(id)->pixels);
  EXPECT_EQ(c->gradient_front, 0xFFFFFFFFu);
  EXPECT_EQ(c->gradient_back, 0xFF000000u);
  EXPECT_EQ(c->constant, 0x8000);
  EXPECT_EQ(c->text_params[0], 2);
  EXPECT_EQ(c->text_params[1], 63);
  const std::intptr_t device = draw_start(target);
  ASSERT_NE(device, 0);
  EXPECT_EQ(reinterpret_cast<DrawDevice*>(device)->bitmap, img_bitmap(id));
  draw_stop();
  EXPECT_EQ(draw_current(), nullptr);
  EXPECT_EQ(rt_heap_block_count(rt_main_heap), before);
}

TEST_F(DrawPhase, FailedStartReleasesTheContext) {
  const std::intptr_t id = create(2, 2, 32);
  const std::size_t before = rt_heap_block_count(rt_main_heap);
  const std::intptr_t target = img_output(id);
  ASSERT_NE(target, 0);
  reinterpret_cast<DrawContext*>(target)->pixels = nullptr;
  EXPECT_EQ(draw_start(target), 0);
  EXPECT_EQ(draw_current(), nullptr);
  EXPECT_EQ(rt_heap_block_count(rt_main_heap), before);
}

TEST_F(DrawPhase, FrontEndSetsTheColourOnlyWhenItChanges) {
  const std::intptr_t id = create(8, 8, 32 | kImgCreateTransparent);
  ASSERT_NE(draw_start(img_output(id)), 0);
  DrawContext* c = draw_current();
  draw_line(0, 0, 7, 0, 0x00FF0000);
  EXPECT_EQ(c->front_colour, 0x00FF0000u);
  EXPECT_EQ(c->front.blue, 255);
  draw_box(0, 2, 8, 2, 0x0000FF00);
  draw_line(0, 7, 7, 0, 0x000000FF);
  const ImgBitmap* b = img_bitmap(id);
  const auto px = [b](int x, int y) {
    std::uint32_t v;
    std::memcpy(&v, b->pixels + (b->height - 1 - y) * b->pitch + 4 * x, 4);
    return v;
  };
  EXPECT_EQ(px(3, 0), 0x000000FFu);  // blue line, alpha still 0
  EXPECT_EQ(px(5, 3), 0x0000FF00u);
  EXPECT_EQ(px(0, 7), 0x00FF0000u);
  EXPECT_EQ(px(7, 0), 0x00FF0000u);
  EXPECT_EQ(px(1, 1), 0u);
  draw_stop();
}

TEST_F(DrawPhase, GetBitsReadsRowsInEitherOrder) {
  const std::intptr_t id = create(3, 2, 24);
  ASSERT_NE(draw_start(img_output(id)), 0);
  draw_box(0, 0, 3, 1, 0x00030201);  // top row
  draw_box(0, 1, 3, 1, 0x00060504);  // bottom row
  const std::intptr_t device = reinterpret_cast<std::intptr_t>(draw_current()->target_device);
  std::array<std::uint8_t, 24> up{}, down{};
  EXPECT_EQ(draw_get_bits(device, 0, 2, up.data(), 3, 2, 32), 2);
  EXPECT_EQ(draw_get_bits(device, 0, 2, down.data(), 3, -2, 32), 2);
  const std::array<std::uint8_t, 4> bottom{6, 5, 4, 0}, top{3, 2, 1, 0};  // blue first
  for (int x = 0; x < 3; ++x) {
    EXPECT_EQ(std::memcmp(&up[4 * x], bottom.data(), 4), 0);
    EXPECT_EQ(std::memcmp(&up[12 + 4 * x], top.data(), 4), 0);
    EXPECT_EQ(std::memcmp(&down[4 * x], top.data(), 4), 0);
  }
  EXPECT_EQ(draw_get_bits(device, 0, 2, up.data(), 4, 2, 32), 0);  // wrong width
  EXPECT_EQ(draw_get_bits(device, 2, 1, up.data(), 3, 2, 32), 0);
  EXPECT_EQ(draw_get_bits(0, 0, 2, up.data(), 3, 2, 32), 0);
  draw_stop();
}

// The game's background: 36 tiles of 256 x 256 on a 1280 x 1280 transparent
// canvas, on a grid that leaves some partly outside on every edge.
TEST_F(DrawPhase, TiledCanvasMatchesAReferenceComposition) {
  constexpr int kSize = 1280, kTile = 256;
  const std::intptr_t canvas = create(kSize, kSize, 32 | kImgCreateTransparent);
  std::array<std::intptr_t, 3> tiles{};
  for (int i = 0; i < 3; ++i) {
    tiles[i] = create(kTile, kTile, i == 2 ? 24 : 32);
    ImgBitmap* b = img_bitmap(tiles[i]);
    for (int y = 0; y < kTile; ++y)
      for (int x = 0; x < kTile; ++x) {
        std::uint8_t* p = b->pixels + (kTile - 1 - y) * b->pitch + x * (b->bits_per_pixel / 8);
        p[0] = static_cast<std::uint8_t>(x);
        p[1] = static_cast<std::uint8_t>(y);
        p[2] = static_cast<std::uint8_t>(40 * i + 1);
        if (b->bits_per_pixel == 32) p[3] = 77;
      }
  }
  ASSERT_NE(draw_start(img_output(canvas)), 0);
  const auto origin = [](int k) { return -100 + 230 * k; };  // -100 ... 1050
  for (int j = 0; j < 6; ++j)
    for (int i = 0; i < 6; ++i) draw_image(img_handle(tiles[(i + j) % 3]), origin(i), origin(j));
  draw_stop();

  const ImgBitmap* b = img_bitmap(canvas);
  for (int y = 0; y < kSize; y += 3) {
    for (int x = 0; x < kSize; ++x) {
      std::uint32_t want = 0;
      for (int j = 0; j < 6; ++j)  // the last tile drawn over the pixel wins
        for (int i = 0; i < 6; ++i) {
          const int tx = x - origin(i), ty = y - origin(j);
          if (tx >= 0 && ty >= 0 && tx < kTile && ty < kTile)
            want = static_cast<std::uint32_t>((40 * ((i + j) % 3) + 1) << 16 | ty << 8 | tx);
        }
      std::uint32_t got;
      std::memcpy(&got, b->pixels + (kSize - 1 - y) * b->pitch + 4 * x, 4);
      ASSERT_EQ(got, want) << x << "," << y;
    }
  }
}

}  // namespace
