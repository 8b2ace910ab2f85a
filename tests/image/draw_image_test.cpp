// Drawing images through the table: icons through their mask or their own
// alpha, bitmaps of other depths through converted copies, drawing at another
// size, and drawing with a constant alpha.
#include <gtest/gtest.h>

#include "draw_canvas.h"

namespace {

struct Icon {
  ImgIcon icon{kImgKindIcon, nullptr, nullptr};
  ~Icon() {
    img_bitmap_destroy(icon.colour);
    img_bitmap_destroy(icon.mask);
  }
  std::intptr_t handle() { return reinterpret_cast<std::intptr_t>(&icon); }
};

// A 1-bit mask whose bit 1 marks transparent pixels; one row per string.
ImgBitmap* make_mask(std::initializer_list<const char*> rows) {
  const int h = static_cast<int>(rows.size());
  const int w = static_cast<int>(std::strlen(*rows.begin()));
  ImgBitmap* m = img_bitmap_create(w, h, 1);
  int y = 0;
  for (const char* row : rows) {
    std::uint8_t* line = m->pixels + (h - 1 - y) * m->pitch;
    for (int x = 0; x < w; ++x)
      if (row[x] == '1') line[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
    ++y;
  }
  return m;
}

TEST(DrawIcon, MaskMakesPixelsTransparentOrOpaque) {
  Icon ic;
  ic.icon.colour = make_bitmap(2, 1, 24, [](int x, int) { return x ? 0x00C85028u : 0x00FFFFFFu; });
  ic.icon.mask = make_mask({"10"});
  TestCanvas t(3, 1, 32, 0x00336699);
  t.c()->ops.draw_image(t.c(), ic.handle(), 0, 0);
  EXPECT_EQ(t.get(0, 0), 0x00336699u);  // masked out
  EXPECT_EQ(t.get(1, 0), 0xFFC85028u);  // copied exactly, now opaque
  EXPECT_EQ(t.get(2, 0), 0x00336699u);
  TestCanvas t24(2, 1, 24, 0x336699);
  t24.c()->ops.draw_image(t24.c(), ic.handle(), 0, 0);
  EXPECT_EQ(t24.get(0, 0), 0x336699u);
  EXPECT_EQ(t24.get(1, 0), 0xC85028u);
}

TEST(DrawIcon, OwnAlphaWinsOverTheMask) {
  Icon ic;
  ic.icon.colour = make_bitmap(2, 1, 32, [](int x, int) { return x ? 0x80C85028u : 0x00FFFFFFu; });
  ic.icon.mask = make_mask({"11"});  // ignored: the picture has alpha
  TestCanvas t(2, 1, 32, 0xFF646464);
  t.c()->ops.draw_image(t.c(), ic.handle(), 0, 0);
  EXPECT_EQ(t.get(0, 0), 0xFF646464u);
  EXPECT_EQ(t.get(1, 0), 0xFF965945u);  // source-over with weight 128
  // All alpha bytes 0: the mask decides after all.
  Icon flat;
  flat.icon.colour =
      make_bitmap(2, 1, 32, [](int x, int) { return x ? 0x00C85028u : 0x00FFFFFFu; });
  flat.icon.mask = make_mask({"10"});
  t.c()->ops.draw_image(t.c(), flat.handle(), 0, 0);
  EXPECT_EQ(t.get(0, 0), 0xFF646464u);
  EXPECT_EQ(t.get(1, 0), 0xFFC85028u);
}

TEST(DrawIcon, WithoutMaskOrColour) {
  Icon no_mask;
  no_mask.icon.colour = make_bitmap(1, 1, 24, [](int, int) { return 0x00010203u; });
  TestCanvas t(1, 1, 32, 0x00FFFFFF);
  t.c()->ops.draw_image(t.c(), no_mask.handle(), 0, 0);
  EXPECT_EQ(t.get(0, 0), 0xFF010203u);
  Icon empty;
  t.c()->ops.draw_image(t.c(), empty.handle(), 0, 0);
  EXPECT_EQ(t.get(0, 0), 0xFF010203u);
}

TEST(DrawImage, HandleZeroAndUnknownRecordsDrawNothing) {
  TestCanvas t(2, 2, 32, 0x01020304);
  const std::vector<std::uint8_t> before = t.memory();
  t.c()->ops.draw_image(t.c(), 0, 0, 0);
  const std::int32_t junk[4] = {0x1234, 1, 1, 32};
  t.c()->ops.draw_image(t.c(), reinterpret_cast<std::intptr_t>(junk), 0, 0);
  EXPECT_EQ(t.memory(), before);
}

TEST(DrawImage, LowDepthBitmapsAreConvertedThroughTheirPalette) {
  ImgBitmap* b8 = img_bitmap_create(3, 1, 8);
  b8->palette_count = 3;
  b8->palette[0] = 0x112233;
  b8->palette[1] = 0x445566;
  b8->palette[2] = 0x778899;
  b8->pixels[0] = 2;
  b8->pixels[1] = 0;
  b8->pixels[2] = 7;  // beyond the palette: black
  ImgBitmap* b4 = img_bitmap_create(3, 1, 4);
  b4->palette_count = 2;
  b4->palette[1] = 0xABCDEF;
  b4->pixels[0] = 0x01;                        // pixel 0 index 0, pixel 1 index 1
  b4->pixels[1] = 0x50;                        // pixel 2 index 5: beyond the palette
  ImgBitmap* b1 = img_bitmap_create(3, 1, 1);  // no palette: black and white
  b1->pixels[0] = 0xA0;
  ImgBitmap* b16 = img_bitmap_create(3, 1, 16);
  const std::uint16_t v16[3] = {0x7FFF, 0x001F, 0x4210};
  std::memcpy(b16->pixels, v16, 6);
  struct Row {
    ImgBitmap* b;
    std::uint32_t px[3];
  } rows[] = {{b8, {0x778899, 0x112233, 0}},
              {b4, {0, 0xABCDEF, 0}},
              {b1, {0xFFFFFF, 0, 0xFFFFFF}},
              {b16, {0xFFFFFF, 0x0000FF, 0x848484}}};
  for (const Row& r : rows) {
    TestCanvas t(3, 1, 32, 0x7F555555);
    t.c()->ops.draw_image(t.c(), reinterpret_cast<std::intptr_t>(r.b), 0, 0);
    for (int x = 0; x < 3; ++x)
      EXPECT_EQ(t.get(x, 0), 0x7F000000u | r.px[x]) << r.b->bits_per_pixel << " " << x;
    img_bitmap_destroy(r.b);
  }
}

TEST(DrawImage, AtSizeAveragesBelow32BitsAndAndsAt32) {
  ImgBitmap* grey = make_bitmap(2, 2, 24, [](int x, int y) {
    const std::uint32_t g = 10u + 10u * static_cast<std::uint32_t>(x + 2 * y);  // 10, 20, 30, 40
    return g * 0x010101u;
  });
  TestCanvas t(3, 3, 24, 0x999999);
  t.c()->ops.draw_image_size(t.c(), reinterpret_cast<std::intptr_t>(grey), 1, 1, 1, 1);
  EXPECT_EQ(t.get(1, 1), 0x191919u);  // (10 + 20 + 30 + 40) / 4 = 25
  EXPECT_EQ(t.get(0, 0), 0x999999u);
  EXPECT_EQ(t.get(2, 2), 0x999999u);
  ImgBitmap* bits = make_bitmap(2, 1, 32, [](int x, int) { return x ? 0xFF0F0F0Fu : 0xFFFCFCFCu; });
  TestCanvas u(1, 1, 32, 0x00000000);
  u.c()->ops.draw_image_size(u.c(), reinterpret_cast<std::intptr_t>(bits), 0, 0, 1, -1);
  EXPECT_EQ(u.get(0, 0), 0x000C0C0Cu);  // colour copied, target alpha kept
  // Growing repeats each pixel.
  TestCanvas v(4, 2, 24);
  v.c()->ops.draw_image_size(v.c(), reinterpret_cast<std::intptr_t>(bits), 0, 0, 4, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(v.get(x, y), x < 2 ? 0xFCFCFCu : 0x0F0F0Fu);
  // Empty sizes draw nothing.
  const std::vector<std::uint8_t> before = v.memory();
  v.c()->ops.draw_image_size(v.c(), reinterpret_cast<std::intptr_t>(grey), 0, 0, 0, 2);
  v.c()->ops.draw_image_size(v.c(), reinterpret_cast<std::intptr_t>(grey), 0, 0, 2, -5);
  EXPECT_EQ(v.memory(), before);
  img_bitmap_destroy(grey);
  img_bitmap_destroy(bits);
}

TEST(DrawImage, WithAlphaBlendsBySourceAndConstantAlpha) {
  ImgBitmap* b24 = make_bitmap(1, 1, 24, [](int, int) { return 0x00FF0000u; });
  TestCanvas t(1, 1, 24);
  t.c()->ops.draw_image_alpha(t.c(), reinterpret_cast<std::intptr_t>(b24), 0, 0, 128);
  EXPECT_EQ(t.get(0, 0), 0x800000u);
  t.c()->ops.draw_image_alpha(t.c(), reinterpret_cast<std::intptr_t>(b24), 0, 0, 300);  // pinned
  EXPECT_EQ(t.get(0, 0), 0xFF0000u);
  ImgBitmap* b32 = make_bitmap(1, 1, 32, [](int, int) { return 0xFF0000FFu; });
  TestCanvas u(1, 1, 32, 0xFF000000);
  u.c()->ops.draw_image_alpha(u.c(), reinterpret_cast<std::intptr_t>(b32), 0, 0, 51);
  EXPECT_EQ(u.get(0, 0), 0xFF000033u);  // weight 51: (51*255*255) / (51*255 + 204*255)
  img_bitmap_destroy(b24);
  img_bitmap_destroy(b32);
}

}  // namespace
