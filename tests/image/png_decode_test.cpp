// The PNG decoder: output formats of every colour type, row order, source
// depths, the memory reader's bounds, truncated data and the decoder table.
#include <sys/mman.h>

#include <cstring>

#include "tests/image/codec_test_support.h"

namespace {
using codec_test::Bytes;
using codec_test::ImageLibrary;
using codec_test::make_png;
using codec_test::pixel;
using codec_test::PngLayout;
using Px = std::array<int, 4>;

using PngDecode = ImageLibrary;

std::intptr_t catch_png(const Bytes& data) {
  return img_catch(-1, data.data(), static_cast<std::int32_t>(data.size()));
}

int source_depth(std::intptr_t id) {
  return reinterpret_cast<ImageObject*>(id)->source_depth;
}

PngLayout palette_png(bool with_trns) {
  PngLayout s{.width = 3, .height = 1, .colour_type = PNG_COLOR_TYPE_PALETTE, .bit_depth = 4};
  s.palette = {{255, 0, 0}, {0, 255, 0}, {10, 20, 30}};
  if (with_trns) s.trns_alpha = {255, 128};
  s.rows = {{0x01, 0x20}};
  return s;
}

TEST_F(PngDecode, PaletteImagesAreBgrOrBgraWithTransparency) {
  std::intptr_t id = catch_png(make_png(palette_png(false)));
  ASSERT_NE(id, 0);
  ImgBitmap* b = img_bitmap(id);
  EXPECT_EQ(b->bits_per_pixel, 24);
  EXPECT_EQ(source_depth(id), 4);
  EXPECT_EQ(pixel(b, 0, 0), (Px{0, 0, 255, 255}));
  EXPECT_EQ(pixel(b, 2, 0), (Px{30, 20, 10, 255}));
  id = catch_png(make_png(palette_png(true)));
  ASSERT_NE(id, 0);
  b = img_bitmap(id);
  EXPECT_EQ(b->bits_per_pixel, 32);
  EXPECT_EQ(pixel(b, 0, 0), (Px{0, 0, 255, 255}));
  EXPECT_EQ(pixel(b, 1, 0), (Px{0, 255, 0, 128}));
  EXPECT_EQ(pixel(b, 2, 0), (Px{30, 20, 10, 255}));  // past the last tRNS entry
}

// Grey fills all three channels; sixteen-bit samples keep their high byte.
TEST_F(PngDecode, GreyAndSixteenBitImagesDecodeToBgrOrBgra) {
  constexpr int kGrey = PNG_COLOR_TYPE_GRAY, kGreyAlpha = PNG_COLOR_TYPE_GRAY_ALPHA;
  constexpr int kRgb = PNG_COLOR_TYPE_RGB, kRgba = PNG_COLOR_TYPE_RGBA;
  const Px white{255, 255, 255, 255}, black{0, 0, 0, 255};
  const struct {
    int colour_type, bit_depth, width;
    Bytes row;
    int bits, depth;                     // 0: not checked
    std::vector<std::pair<int, Px>> xs;  // x on the only row, the pixel there
  } cases[] = {
      {kGrey, 8, 2, {7, 200}, 24, 8, {{1, {200, 200, 200, 255}}}},
      {kGrey, 1, 9, {0b10000001, 0b10000000}, 0, 1, {{0, white}, {1, black}, {8, white}}},
      {kGreyAlpha, 8, 1, {90, 40}, 32, 0, {{0, {90, 90, 90, 40}}}},
      {kGreyAlpha, 16, 1, {0x12, 0xff, 0xab, 0x80}, 0, 16, {{0, {0x12, 0x12, 0x12, 0xab}}}},
      // RGBA 16: 0x10ff 0x2080 0x3001 0x407f; RGB 16: 0xaaff 0xbbff 0xccff.
      {kRgba, 16, 1, {16, 255, 32, 128, 48, 1, 64, 127}, 32, 32, {{0, {48, 32, 16, 64}}}},
      {kRgb, 16, 1, {170, 255, 187, 255, 204, 255}, 0, 24, {{0, {204, 187, 170, 255}}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "colour type " << c.colour_type << ", " << c.bit_depth << " bits");
    PngLayout png{.width = c.width, .colour_type = c.colour_type, .bit_depth = c.bit_depth};
    png.rows = {c.row};
    std::intptr_t id = catch_png(make_png(png));
    ASSERT_NE(id, 0);
    EXPECT_EQ(c.bits ? img_bitmap(id)->bits_per_pixel : 0, c.bits);
    EXPECT_EQ(c.depth ? source_depth(id) : 0, c.depth);
    for (const auto& [x, want] : c.xs) EXPECT_EQ(pixel(img_bitmap(id), x, 0), want) << x;
  }
}

TEST_F(PngDecode, InterlacedImagesGiveTheSamePixels) {
  for (int type : {PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_PALETTE, PNG_COLOR_TYPE_GRAY}) {
    PngLayout s{.width = 13, .height = 11, .colour_type = type};
    const int channels = type == PNG_COLOR_TYPE_RGB ? 3 : 1;
    if (type == PNG_COLOR_TYPE_PALETTE)
      for (int i = 0; i < 256; ++i)
        s.palette.push_back({std::uint8_t(i), std::uint8_t(i * 3), std::uint8_t(255 - i)});
    for (int y = 0; y < 11; ++y) {
      Bytes row;
      for (int x = 0; x < 13 * channels; ++x) row.push_back(std::uint8_t(x * 17 + y * 5));
      s.rows.push_back(row);
    }
    std::intptr_t plain = catch_png(make_png(s));
    s.interlaced = true;
    std::intptr_t interlaced = catch_png(make_png(s));
    ASSERT_NE(plain, 0);
    ASSERT_NE(interlaced, 0);
    ImgBitmap *a = img_bitmap(plain), *b = img_bitmap(interlaced);
    EXPECT_EQ(0, std::memcmp(a->pixels, b->pixels, std::size_t(a->pitch) * 11)) << type;
  }
}

// Runs the decoder by hand over memory into a buffer of the probed size.
struct DirectDecode {
  int probe = 0, decode = 0;
  std::int32_t width = 0, height = 0, depth = 0, pitch = 0;
  Bytes pixels;
};

DirectDecode decode_direct(const std::uint8_t* data, std::int32_t size, std::int32_t flags) {
  DirectDecode out;
  ImageDecodeState* state = img_decode_state();
  std::memset(state, 0, sizeof *state);
  state->memory = data;
  state->memory_size = size;
  state->from_memory = 1;
  out.probe = img_png_probe(state);
  if (!out.probe) return out;
  out.width = state->width;
  out.height = state->height;
  out.depth = state->depth;
  out.pitch = img_row_pitch(out.width, out.depth);
  out.pixels.assign(std::size_t(out.pitch) * out.height, 0xee);
  out.decode = img_png_decode(state, out.pixels.data(), out.pitch, flags);
  img_png_close(state);
  return out;
}

TEST_F(PngDecode, RowOrderFollowsTheBottomUpFlag) {
  PngLayout s{.width = 1, .height = 3, .colour_type = PNG_COLOR_TYPE_GRAY};
  s.rows = {{1}, {2}, {3}};
  Bytes png = make_png(s);
  DirectDecode up = decode_direct(png.data(), std::int32_t(png.size()), kImgDecodeBottomUp);
  ASSERT_EQ(up.decode, 1);
  EXPECT_EQ(up.pitch, 4);
  EXPECT_EQ(up.pixels[2 * 4], 1);  // the top row lands in the last memory row
  EXPECT_EQ(up.pixels[0], 3);
  EXPECT_EQ(up.pixels[3], 0xee);  // padding is not written
  DirectDecode down = decode_direct(png.data(), std::int32_t(png.size()), 0);
  ASSERT_EQ(down.decode, 1);
  EXPECT_EQ(down.pixels[0], 1);
  EXPECT_EQ(down.pixels[2 * 4], 3);
}

TEST_F(PngDecode, NonPngDataIsRefusedAtTheSignatureWithoutSideEffects) {
  ImageDecodeState* state = img_decode_state();
  std::memset(state, 0, sizeof *state);
  const std::uint8_t bmp[] = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0};
  state->memory = bmp;
  state->memory_size = sizeof bmp;
  state->from_memory = 1;
  state->width = 1234;
  EXPECT_EQ(img_png_probe(state), 0);
  EXPECT_EQ(state->width, 1234);
  EXPECT_EQ(state->priv[0], 0);
  Bytes png = make_png(palette_png(false));
  state->memory = png.data();
  state->memory_size = 7;  // fewer than eight bytes
  EXPECT_EQ(img_png_probe(state), 0);
  EXPECT_EQ(state->priv[0], 0);
}

TEST_F(PngDecode, TheMemoryReaderStopsAtTheGivenSize) {
  PngLayout s{.width = 40, .height = 40, .colour_type = PNG_COLOR_TYPE_RGB};
  for (int y = 0; y < 40; ++y) {
    Bytes row;
    for (int x = 0; x < 120; ++x) row.push_back(std::uint8_t(x * y + x));
    s.rows.push_back(row);
  }
  Bytes png = make_png(s);
  // The image sits at the very end of a mapping whose next page is
  // inaccessible: any read past the end would fault.
  const long page = sysconf(_SC_PAGESIZE);
  const std::size_t span = ((png.size() + page - 1) / page + 1) * page;
  void* map = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(map, MAP_FAILED);
  auto* guard = static_cast<std::uint8_t*>(map) + span - page;
  ASSERT_EQ(mprotect(guard, page, PROT_NONE), 0);
  int accepted = 0;
  for (std::size_t cut : {png.size(), png.size() - 13, png.size() / 2, std::size_t{40}}) {
    std::uint8_t* at = guard - cut;
    std::memcpy(at, png.data(), cut);
    DirectDecode d = decode_direct(at, std::int32_t(cut), kImgDecodeBottomUp);
    if (cut == png.size()) {
      EXPECT_EQ(d.decode, 1);
      ++accepted;
    } else {
      EXPECT_EQ(d.probe && d.decode, 0) << cut;
    }
  }
  EXPECT_EQ(accepted, 1);
  munmap(map, span);
}

TEST_F(PngDecode, TruncatedImagesFailCleanlyFromFilesAndMemory) {
  PngLayout s{.width = 30, .height = 20, .colour_type = PNG_COLOR_TYPE_RGBA, .idat_bytes = 64};
  for (int y = 0; y < 20; ++y) {
    Bytes row;
    for (int x = 0; x < 120; ++x) row.push_back(std::uint8_t(x ^ (y * 9)));
    s.rows.push_back(row);
  }
  Bytes png = make_png(s);
  for (std::size_t cut = 0; cut < png.size(); cut += 7) {
    Bytes part(png.begin(), png.begin() + std::ptrdiff_t(cut));
    DirectDecode d = decode_direct(part.data(), std::int32_t(part.size()), kImgDecodeBottomUp);
    // Rows need no more than the pixel data; the checksums and IEND after
    // it are not read.
    if (cut + 24 < png.size()) {
      EXPECT_EQ(d.probe && d.decode, 0) << cut;
    }
    // Through the library: refused, or kept with the rows that were decoded.
    std::intptr_t id = catch_png(part);
    if (id) {
      EXPECT_EQ(img_width(id), 30);
      img_free(id);
    }
    codec_test::write_file(path("cut.png"), part);
    id = img_load(-1, path("cut.png").c_str());
    if (id) img_free(id);
  }
  // Cut inside the pixel data, which comes in small chunks: probe accepts,
  // decode fails, the image stays with the rows of the chunks that were there.
  Bytes part(png.begin(), png.begin() + std::ptrdiff_t(png.size() * 2 / 3));
  std::intptr_t id = catch_png(part);
  ASSERT_NE(id, 0);
  EXPECT_EQ(pixel(img_bitmap(id), 5, 0), (Px{5 * 4 + 2, 5 * 4 + 1, 5 * 4, 5 * 4 + 3}));
  EXPECT_EQ(pixel(img_bitmap(id), 5, 19), (Px{0, 0, 0, 0}));
}

int g_probes = 0, g_closes = 0;
int refuse_probe(ImageDecodeState*) {
  return ++g_probes, 0;
}
int accept_probe(ImageDecodeState* state) {
  ++g_probes;
  state->width = 2;
  state->height = 2;
  state->depth = 32;
  state->source_depth = 5;
  return 1;
}
int failing_decode(ImageDecodeState*, std::uint8_t*, std::int32_t, std::int32_t) {
  return 0;
}
void count_close(ImageDecodeState*) {
  ++g_closes;
}

TEST_F(PngDecode, DecodersAreTriedInOrderAndAFailedDecodeStillGivesAnImage) {
  static const ImageDecoder refuser = {refuse_probe, failing_decode, count_close};
  static const ImageDecoder acceptor = {accept_probe, failing_decode, count_close};
  img_decoders_init();
  img_register_decoder(&refuser);
  img_register_decoder(&img_png_decoder);
  g_probes = g_closes = 0;
  Bytes png = make_png(palette_png(false));
  codec_test::write_file(path("a.png"), png);
  std::intptr_t id = img_load(-1, path("a.png").c_str());
  ASSERT_NE(id, 0);
  EXPECT_EQ(g_probes, 1);
  EXPECT_EQ(g_closes, 0);
  EXPECT_EQ(pixel(img_bitmap(id), 2, 0), (Px{30, 20, 10, 255}));

  img_decoders_init();
  img_register_decoder(&acceptor);
  img_register_decoder(&img_png_decoder);
  id = catch_png(png);
  ASSERT_NE(id, 0);
  EXPECT_EQ(g_closes, 1);
  EXPECT_EQ(img_width(id), 2);
  EXPECT_EQ(source_depth(id), 5);
  EXPECT_EQ(pixel(img_bitmap(id), 1, 1), (Px{0, 0, 0, 0}));

  img_decoders_init();  // no decoders: PNG data is not an image
  EXPECT_EQ(catch_png(png), 0);
  EXPECT_EQ(img_load(3, path("a.png").c_str()), 0);
  EXPECT_EQ(img_is_valid(3), 0);
  EXPECT_EQ(img_load(-1, path("missing.png").c_str()), 0);
}
}  // namespace
