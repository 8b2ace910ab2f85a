// Reading icon files: the entry choice, bitmap entries of every depth with
// their AND masks, PNG entries, icons as images, and damaged directories.
#include "tests/image/codec_test_support.h"

namespace {
using codec_test::Bytes;
using codec_test::IcoEntry;
using codec_test::ImageLibrary;
using codec_test::make_ico;
using codec_test::make_icon_dib;
using codec_test::pixel;
using Px = std::array<int, 4>;

using IcoRead = ImageLibrary;

// A square 32-bit entry of one colour; the mask marks the top-left pixel
// transparent.
IcoEntry solid32(int size, std::uint8_t b, std::uint8_t g, std::uint8_t r, std::uint8_t a) {
  Bytes colour;
  for (int i = 0; i < size * size; ++i) colour.insert(colour.end(), {b, g, r, a});
  const int mask_pitch = img_row_pitch(size, 1);
  Bytes mask(static_cast<std::size_t>(mask_pitch) * size, 0);
  mask[static_cast<std::size_t>(mask_pitch) * (size - 1)] = 0x80;  // top row, first pixel
  return {size, size, 32, make_icon_dib(size, size, 32, {}, colour, mask)};
}

IcoEntry solid4(int size, std::uint32_t rgb) {
  const int pitch = img_row_pitch(size, 4);
  Bytes colour(static_cast<std::size_t>(pitch) * size, 0x33);  // every pixel index 3
  std::vector<std::uint32_t> palette(16, 0);
  palette[3] = rgb;
  Bytes mask(static_cast<std::size_t>(img_row_pitch(size, 1)) * size, 0);
  return {size, size, 4, make_icon_dib(size, size, 4, palette, colour, mask)};
}

ImgIcon* icon_of(std::intptr_t id) {
  return reinterpret_cast<ImgIcon*>(img_handle(id));
}

bool masked(const ImgBitmap* mask, int x, int y) {
  const std::uint8_t* row = mask->pixels + (mask->height - 1 - y) * mask->pitch;
  return (row[x / 8] >> (7 - x % 8)) & 1;
}

TEST_F(IcoRead, ChoosesTheDeepestEntryOfTheFirstEntrysSize) {
  Bytes ico = make_ico({solid4(16, 0x0000ff), solid32(16, 10, 20, 30, 255),
                        solid32(32, 1, 2, 3, 255), solid32(16, 99, 99, 99, 255)});
  std::intptr_t id = img_catch(-1, ico.data(), static_cast<std::int32_t>(ico.size()));
  ASSERT_NE(id, 0);
  ImgIcon* icon = icon_of(id);
  ASSERT_EQ(icon->kind, kImgKindIcon);
  EXPECT_EQ(img_width(id), 16);
  EXPECT_EQ(img_height(id), 16);
  auto* record = reinterpret_cast<ImageObject*>(id);
  EXPECT_EQ(record->depth, 32);
  EXPECT_EQ(record->source_depth, 32);
  // The earlier of the two 16 × 16 32-bit entries wins.
  EXPECT_EQ(pixel(icon->colour, 5, 5), (Px{10, 20, 30, 255}));
  ASSERT_NE(icon->mask, nullptr);
  EXPECT_TRUE(masked(icon->mask, 0, 0));
  EXPECT_FALSE(masked(icon->mask, 1, 0));
  EXPECT_FALSE(masked(icon->mask, 0, 15));
  // An icon is not a DIB-section image: no bitmap, no save.
  EXPECT_EQ(img_bitmap(id), nullptr);
  EXPECT_EQ(img_save(id, path("x.bmp").c_str(), 0, 7, 24), 0);
  img_free(id);
  EXPECT_EQ(img_is_valid(id), 0);
}

TEST_F(IcoRead, BitmapEntriesOfEveryDepthKeepTheirMask) {
  const int w = 5, h = 3;
  for (int bits : {1, 4, 8, 24, 32}) {
    const int pitch = img_row_pitch(w, bits);
    Bytes colour(static_cast<std::size_t>(pitch) * h, 0);
    std::vector<std::uint32_t> palette;
    if (bits <= 8) {
      palette.assign(std::size_t{1} << bits, 0);
      palette[1] = 0x336699;
      // Pixel (1, 0) from the top, index 1.
      std::uint8_t* top = &colour[static_cast<std::size_t>(pitch) * (h - 1)];
      top[(1 * bits) / 8] = static_cast<std::uint8_t>(1 << (8 - bits - (1 * bits) % 8));
    } else {
      std::uint8_t* p = &colour[static_cast<std::size_t>(pitch) * (h - 1) + bits / 8];
      p[0] = 0x99;
      p[1] = 0x66;
      p[2] = 0x33;
      if (bits == 32) p[3] = 255;
    }
    Bytes mask(static_cast<std::size_t>(img_row_pitch(w, 1)) * h, 0);
    mask[0] = 0x08;  // bottom row, pixel 4
    Bytes ico = make_ico({{w, h, bits, make_icon_dib(w, h, bits, palette, colour, mask)}});
    std::intptr_t id = img_catch(-1, ico.data(), static_cast<std::int32_t>(ico.size()));
    ASSERT_NE(id, 0) << bits;
    ImgIcon* icon = icon_of(id);
    EXPECT_EQ(icon->colour->bits_per_pixel, bits == 32 ? 32 : 24);
    EXPECT_EQ(pixel(icon->colour, 1, 0)[0], 0x99) << bits;
    EXPECT_EQ(pixel(icon->colour, 1, 0)[2], 0x33) << bits;
    EXPECT_EQ(pixel(icon->colour, 0, 0)[0], 0) << bits;
    EXPECT_TRUE(masked(icon->mask, 4, 2)) << bits;
    EXPECT_FALSE(masked(icon->mask, 3, 2)) << bits;
  }
}

TEST_F(IcoRead, PngEntriesGoThroughThePngDecoder) {
  codec_test::PngLayout png{.width = 4, .height = 2, .colour_type = PNG_COLOR_TYPE_RGBA};
  png.rows = {Bytes(16, 0), Bytes(16, 0)};
  png.rows[0] = {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0, 1, 2, 3, 4};
  Bytes ico = make_ico({{4, 2, 32, codec_test::make_png(png)}});
  codec_test::write_file(path("p.ico"), ico);
  std::intptr_t id = img_load(-1, path("p.ico").c_str());
  ASSERT_NE(id, 0);
  ImgIcon* icon = icon_of(id);
  ASSERT_EQ(icon->kind, kImgKindIcon);
  EXPECT_EQ(icon->colour->bits_per_pixel, 32);
  EXPECT_EQ(pixel(icon->colour, 0, 0), (Px{0, 0, 255, 255}));
  EXPECT_EQ(pixel(icon->colour, 1, 0), (Px{0, 255, 0, 128}));
  EXPECT_EQ(pixel(icon->colour, 3, 0), (Px{3, 2, 1, 4}));
  EXPECT_TRUE(masked(icon->mask, 2, 0));   // alpha 0
  EXPECT_TRUE(masked(icon->mask, 0, 1));   // the all-zero bottom row
  EXPECT_FALSE(masked(icon->mask, 1, 0));  // partly opaque
}

TEST_F(IcoRead, DamagedDirectoriesAndEntriesAreRefused) {
  const Bytes good = make_ico({solid32(4, 1, 2, 3, 255)});
  auto refused = [&](const Bytes& data, const char* what) {
    EXPECT_EQ(img_catch(-1, data.data(), static_cast<std::int32_t>(data.size())), 0) << what;
  };
  Bytes d = good;
  codec_test::put16(d, 4, 0);
  refused(d, "no entries");
  d = good;
  codec_test::put16(d, 4, 500);
  refused(d, "directory past the end");
  d = good;
  codec_test::put32(d, 6 + 12, 0xfffffff0u);
  refused(d, "entry offset past the end");
  d = good;
  codec_test::put32(d, 6 + 8, 0x7fffffff);
  refused(d, "entry size past the end");
  d = good;
  codec_test::put32(d, 22 + 8, 0x7fffff);  // the entry's header: a huge height
  refused(d, "huge height");
  // A 24-bit entry needs its AND mask; a 32-bit one falls back to alpha.
  Bytes colour24(static_cast<std::size_t>(img_row_pitch(4, 24)) * 4, 0);
  refused(make_ico({{4, 4, 24, make_icon_dib(4, 4, 24, {}, colour24, {})}}), "no mask");
  Bytes colour32(64, 0);
  colour32[3] = 255;
  Bytes ico32 = make_ico({{4, 4, 32, make_icon_dib(4, 4, 32, {}, colour32, {})}});
  std::intptr_t id = img_catch(-1, ico32.data(), static_cast<std::int32_t>(ico32.size()));
  ASSERT_NE(id, 0);
  EXPECT_FALSE(masked(icon_of(id)->mask, 0, 3));
  EXPECT_TRUE(masked(icon_of(id)->mask, 1, 3));
  for (std::size_t n = 0; n < good.size(); ++n)
    EXPECT_EQ(img_catch(-1, good.data(), static_cast<std::int32_t>(n)), 0) << n;
}
}  // namespace
