// Reading BMP data from memory and files: every depth, compression and header
// kind, the conversion to 24 bits, the alpha rules, and damaged files.
#include "tests/image/codec_test_support.h"

namespace {
using codec_test::BmpLayout;
using codec_test::Bytes;
using codec_test::ImageLibrary;
using codec_test::make_bmp;
using codec_test::pixel;
using Px = std::array<int, 4>;

using BmpRead = ImageLibrary;

constexpr std::uint32_t kRed = 0xff0000, kGreen = 0x00ff00, kBlue = 0x0000ff, kWhite = 0xffffff,
                        kBlack = 0, kGrey = 0x808080;
// The reference picture, 3 × 2: top row red, green, blue; bottom row white,
// black, grey.
const std::uint32_t kPicture[2][3] = {{kRed, kGreen, kBlue}, {kWhite, kBlack, kGrey}};

Px opaque(std::uint32_t rgb) {
  return {static_cast<int>(rgb & 255), static_cast<int>((rgb >> 8) & 255),
          static_cast<int>(rgb >> 16), 255};
}

ImgBitmap* catch_bitmap(const Bytes& data, std::intptr_t* id_out = nullptr) {
  std::intptr_t id = img_catch(-1, data.data(), static_cast<std::int32_t>(data.size()));
  if (id_out) *id_out = id;
  return id ? img_bitmap(id) : nullptr;
}

void expect_picture(const ImgBitmap* bitmap) {
  ASSERT_NE(bitmap, nullptr);
  ASSERT_EQ(bitmap->width, 3);
  ASSERT_EQ(bitmap->height, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(pixel(bitmap, x, y), opaque(kPicture[y][x])) << x << y;
}

// Rows of the reference picture in file order, each padded to 4 bytes.
Bytes rows24(bool top_down) {
  Bytes out;
  for (int r = 0; r < 2; ++r) {
    int y = top_down ? r : 1 - r;
    for (int x = 0; x < 3; ++x) {
      std::uint32_t c = kPicture[y][x];
      out.insert(out.end(), {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8),
                             static_cast<std::uint8_t>(c >> 16)});
    }
    out.insert(out.end(), 3, 0);
  }
  return out;
}

Bytes rows32(std::uint8_t alpha) {
  Bytes out;
  for (int y = 1; y >= 0; --y)
    for (int x = 0; x < 3; ++x) {
      std::uint32_t c = kPicture[y][x];
      out.insert(out.end(), {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8),
                             static_cast<std::uint8_t>(c >> 16), alpha});
    }
  return out;
}

const std::vector<std::uint32_t> kPalette = {kRed, kGreen, kBlue, kWhite, kBlack, kGrey};

// A palette picture; compression 1 is RLE8, 2 RLE4.
BmpLayout paletted(int width, int height, int bits, std::vector<std::uint32_t> palette,
                   std::uint32_t colours_used, Bytes pixels, std::uint32_t compression = 0) {
  return {.width = width,
          .height = height,
          .bits = bits,
          .compression = compression,
          .palette = std::move(palette),
          .colours_used = colours_used,
          .pixels = std::move(pixels)};
}

// Bit fields with an alpha mask inside a 124-byte header.
BmpLayout v5_layout(std::uint8_t alpha) {
  return {.header_size = 124,
          .width = 3,
          .height = 2,
          .bits = 32,
          .compression = 3,
          .masks = {0x00ff0000, 0x0000ff00, 0x000000ff, 0xff000000},
          .pixels = rows32(alpha)};
}

TEST_F(BmpRead, TrueColourRowsBottomUpAndTopDownAndEveryInfoHeader) {
  for (std::uint32_t header : {40u, 52u, 56u, 108u, 124u}) {
    BmpLayout s{
        .header_size = header, .width = 3, .height = 2, .bits = 24, .pixels = rows24(false)};
    expect_picture(catch_bitmap(make_bmp(s)));
    s.height = -2;
    s.pixels = rows24(true);
    expect_picture(catch_bitmap(make_bmp(s)));
  }
}

TEST_F(BmpRead, PaletteDepthsIncludingTheCoreHeaderAndShortColourTables) {
  Bytes indices8 = {3, 4, 5, 0, 0, 1, 2, 0};  // bottom row first, rows padded to 4
  BmpLayout s = paletted(3, 2, 8, kPalette, 6, indices8);
  expect_picture(catch_bitmap(make_bmp(s)));
  s.header_size = 12;  // three-byte colour table entries, all 256 of them
  s.palette.resize(256);
  s.colours_used = 0;
  expect_picture(catch_bitmap(make_bmp(s)));

  BmpLayout s4 = paletted(3, 2, 4, kPalette, 6, {0x34, 0x50, 0, 0, 0x01, 0x20, 0, 0});
  expect_picture(catch_bitmap(make_bmp(s4)));

  // 1 bit: a checker of the two palette colours; indices beyond a short
  // table read as black.
  BmpLayout s1 = paletted(3, 2, 1, {kWhite, kBlue}, 2, {0b10100000, 0, 0, 0, 0b01000000, 0, 0, 0});
  ImgBitmap* b = catch_bitmap(make_bmp(s1));
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(pixel(b, 0, 0), opaque(kWhite));
  EXPECT_EQ(pixel(b, 1, 0), opaque(kBlue));
  EXPECT_EQ(pixel(b, 0, 1), opaque(kBlue));
  EXPECT_EQ(pixel(b, 1, 1), opaque(kWhite));
  BmpLayout s8short = paletted(1, 1, 8, {kRed}, 1, {9, 0, 0, 0});
  EXPECT_EQ(pixel(catch_bitmap(make_bmp(s8short)), 0, 0), opaque(kBlack));
}

TEST_F(BmpRead, SixteenBitFieldsScaleToFullRange) {
  auto pack = [](std::initializer_list<std::uint16_t> v) {
    Bytes out;
    for (std::uint16_t p : v) out.insert(out.end(), {std::uint8_t(p), std::uint8_t(p >> 8)});
    return out;
  };
  // 5-5-5: white, grey 16, red; padded to 8 bytes per row.
  BmpLayout s555{.width = 3,
                 .height = 1,
                 .bits = 16,
                 .pixels = pack({0x7fff, (16 << 10) | (16 << 5) | 16, 0x7c00, 0})};
  ImgBitmap* b = catch_bitmap(make_bmp(s555));
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(pixel(b, 0, 0), opaque(kWhite));
  EXPECT_EQ(pixel(b, 1, 0), (Px{132, 132, 132, 255}));
  EXPECT_EQ(pixel(b, 2, 0), opaque(kRed));
  // 5-6-5 bit fields, after a 40-byte header and inside a 56-byte one.
  for (std::uint32_t header : {40u, 56u}) {
    BmpLayout s565{.header_size = header,
                   .width = 3,
                   .height = 1,
                   .bits = 16,
                   .compression = 3,
                   .masks = {0xf800, 0x07e0, 0x001f, 0},
                   .pixels = pack({0xffff, 0x07e0, 0x0010 | (32 << 5), 0})};
    b = catch_bitmap(make_bmp(s565));
    ASSERT_NE(b, nullptr) << header;
    EXPECT_EQ(pixel(b, 0, 0), opaque(kWhite));
    EXPECT_EQ(pixel(b, 1, 0), opaque(kGreen));
    EXPECT_EQ(pixel(b, 2, 0), (Px{132, 130, 0, 255}));
  }
}

TEST_F(BmpRead, ThirtyTwoBitAlphaFromMemoryIsKeptOnlyWhenSomeIsSet) {
  BmpLayout s{.width = 3, .height = 2, .bits = 32, .pixels = rows32(0)};
  ImgBitmap* b = catch_bitmap(make_bmp(s));
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->bits_per_pixel, 32);
  expect_picture(b);
  s.pixels[3 + 4 * 4] = 9;  // one alpha byte set: every alpha value stays
  b = catch_bitmap(make_bmp(s));
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(pixel(b, 1, 0)[3], 9);
  EXPECT_EQ(pixel(b, 0, 0)[3], 0);
  b = catch_bitmap(make_bmp(v5_layout(200)));
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(pixel(b, 2, 1), (Px{128, 128, 128, 200}));
}

TEST_F(BmpRead, FileLoadsConvertToTwentyFourBitsAndRememberTheSourceDepth) {
  BmpLayout s{.width = 3, .height = 2, .bits = 32, .pixels = rows32(77)};
  codec_test::write_file(path("a.bmp"), make_bmp(s));
  std::intptr_t id = img_load(-1, path("a.bmp").c_str());
  ASSERT_NE(id, 0);
  auto* record = reinterpret_cast<ImageObject*>(id);
  EXPECT_EQ(record->depth, 24);
  EXPECT_EQ(record->source_depth, 32);
  expect_picture(img_bitmap(id));

  BmpLayout s4 = paletted(3, 2, 4, kPalette, 0, {0x34, 0x50, 0, 0, 0x01, 0x20, 0, 0});
  s4.palette.resize(16);
  codec_test::write_file(path("b.bmp"), make_bmp(s4));
  EXPECT_NE(img_load(5, path("b.bmp").c_str()), 0);
  EXPECT_EQ(reinterpret_cast<ImageObject*>(rt_object_get(img_objects(), 5))->source_depth, 4);
  expect_picture(img_bitmap(5));
  // Backslashes in the name are folder separators.
  std::string windows_name = dir_.string() + "\\b.bmp";
  EXPECT_NE(img_load(-1, windows_name.c_str()), 0);
}

TEST_F(BmpRead, RunLengthStreamsWithEscapesDeltasAndAbsoluteRuns) {
  // 4 × 3 picture. Row 0 (bottom): 3 × index 1, 1 × index 2. Row 1: an
  // absolute run 3, 4, 5 then a run of one 0. Row 2: skip two pixels, then
  // two of index 1; then end of bitmap.
  std::vector<std::uint32_t> pal = {kRed, kGreen, kBlue, kWhite, kGrey, 0x123456};
  BmpLayout s = paletted(
      4, 3, 8, pal, 6, {3, 1, 1, 2, 0, 0, 0, 3, 3, 4, 5, 0, 1, 0, 0, 0, 0, 2, 2, 0, 2, 1, 0, 1}, 1);
  const std::uint32_t expected[3][4] = {{kBlack, kBlack, kGreen, kGreen},
                                        {kWhite, kGrey, 0x123456, kRed},
                                        {kGreen, kGreen, kGreen, kBlue}};
  const auto expect_rle = [&](const BmpLayout& layout) {
    SCOPED_TRACE(layout.bits);
    ImgBitmap* b = catch_bitmap(make_bmp(layout));
    ASSERT_NE(b, nullptr);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 4; ++x) EXPECT_EQ(pixel(b, x, y), opaque(expected[y][x])) << x << y;
  };
  expect_rle(s);
  // The same picture as RLE4: runs alternate the two nibbles.
  BmpLayout s4 = paletted(
      4, 3, 4, pal, 6,
      {3, 0x11, 1, 0x22, 0, 0, 0, 3, 0x34, 0x50, 1, 0x00, 0, 0, 0, 2, 2, 0, 2, 0x11, 0, 1}, 2);
  expect_rle(s4);

  // A stream cut short keeps what it decoded; the rest stays black.
  s.pixels.resize(5);
  ImgBitmap* b = catch_bitmap(make_bmp(s));
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(pixel(b, 0, 2), opaque(kGreen));
  EXPECT_EQ(pixel(b, 3, 2), opaque(kBlue));
  EXPECT_EQ(pixel(b, 0, 1), opaque(kBlack));
}

TEST_F(BmpRead, DamagedOrHostileHeadersAreRefused) {
  BmpLayout good{.width = 3, .height = 2, .bits = 24, .pixels = rows24(false)};
  const Bytes base = make_bmp(good);
  auto refused = [&](Bytes data, const char* what) {
    std::intptr_t id = 0;
    EXPECT_EQ(catch_bitmap(data, &id), nullptr) << what;
    EXPECT_EQ(id, 0) << what;
  };
  Bytes d = base;
  d.resize(d.size() - 4);  // a pixel row cut short
  refused(d, "truncated rows");
  const struct {
    std::size_t offset;
    std::uint32_t value;
    const char* what;
  } fields[] = {{10, 0x7ffffff0, "pixel offset past the end"},
                {14, 64, "unknown header size"},
                {18, 0x7fffffff, "huge width"},
                {22, 0x80000000u, "most negative height"},
                {28, 7, "odd bit count"},
                {30, 4, "JPEG compression"}};
  for (const auto& field : fields) {
    d = base;
    codec_test::put32(d, field.offset, field.value);  // at 28 the zero compression stays zero
    refused(d, field.what);
  }
  BmpLayout rle_top = paletted(2, -2, 8, {kRed}, 0, {2, 0, 0, 1}, 1);
  refused(make_bmp(rle_top), "top-down RLE");
  BmpLayout holes{.width = 1,
                  .height = 1,
                  .bits = 32,
                  .compression = 3,
                  .masks = {0x00ff00ff, 0xff00, 0xff0000, 0},
                  .pixels = {0, 0, 0, 0}};
  refused(make_bmp(holes), "non-contiguous mask");
  holes.masks = {0, 0, 0, 0};
  refused(make_bmp(holes), "no masks");
  BmpLayout big_palette = paletted(1, 1, 8, {kRed}, 200, {0, 0, 0, 0});
  Bytes p = make_bmp(big_palette);
  p.resize(60);
  refused(p, "colour table past the end");
  refused(Bytes{'B', 'M'}, "two bytes");
  EXPECT_EQ(img_catch(-1, nullptr, 100), 0);
  EXPECT_EQ(img_catch(-1, base.data(), 0), 0);
}

TEST_F(BmpRead, EveryTruncationOfEveryKindIsSafe) {
  BmpLayout rle = paletted(4, 3, 4, kPalette, 6,
                           {3, 0x11, 1, 0x22, 0, 0, 0, 3, 0x34, 0x50, 0, 2, 2, 0, 0, 1}, 2);
  BmpLayout core{.header_size = 12,
                 .width = 3,
                 .height = 2,
                 .bits = 1,
                 .palette = {0, kWhite},
                 .pixels = Bytes(8, 0xa0)};
  for (const BmpLayout& layout : {rle, v5_layout(9), core}) {
    Bytes full = make_bmp(layout);
    for (std::size_t n = 0; n <= full.size(); ++n) {
      Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
      std::intptr_t id = img_catch(-1, cut.data(), static_cast<std::int32_t>(cut.size()));
      if (id) img_free(id);
    }
    std::intptr_t whole = img_catch(-1, full.data(), static_cast<std::int32_t>(full.size()));
    EXPECT_NE(whole, 0);
  }
}
}  // namespace
