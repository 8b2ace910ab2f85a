// Saving images: the BMP writer's headers and rows at every depth, the
// composite over white, palette mapping and error diffusion, the encoder
// table, and failures that leave no file behind.
#include <sys/resource.h>

#include <csignal>
#include <cmath>
#include <filesystem>

#include "image/image_internal.h"
#include "image/neuquant.h"
#include "tests/image/codec_test_support.h"

namespace {
using codec_test::Bytes;
using codec_test::file_pixel;
using codec_test::get32;
using codec_test::ImageLibrary;
using codec_test::pixel;
using codec_test::read_file;

using ImageSave = ImageLibrary;

// Fills an image with a deterministic picture of many colours.
void paint(std::intptr_t id, int alpha_mode) {
  ImgBitmap* b = img_bitmap(id);
  const int bytes = b->bits_per_pixel / 8;
  for (int y = 0; y < b->height; ++y)
    for (int x = 0; x < b->width; ++x) {
      std::uint8_t* p = b->pixels + y * b->pitch + x * bytes;
      p[0] = static_cast<std::uint8_t>(x * 7 + y);
      p[1] = static_cast<std::uint8_t>(x * y);
      p[2] = static_cast<std::uint8_t>(255 - y * 3);
      if (bytes == 4) p[3] = static_cast<std::uint8_t>(alpha_mode == 0 ? 255 : (x * 31) & 255);
    }
}

TEST_F(ImageSave, TrueColourFilesHaveExactHeadersAndPixels) {
  std::intptr_t id = img_create(-1, 5, 3, 24);
  paint(id, 0);
  ASSERT_EQ(img_save(id, path("a.bmp").c_str(), 0, 7, 24), 1);
  Bytes f = read_file(path("a.bmp"));
  ASSERT_EQ(f.size(), 54u + 16 * 3);
  EXPECT_EQ(f[0], 'B');
  EXPECT_EQ(get32(f, 2), f.size());
  // Pixel offset, header size, width, height, no compression, image size.
  for (auto [at, want] : {std::pair{10, 54u}, {14, 40u}, {18, 5u}, {22, 3u}, {30, 0u}, {34, 48u}})
    EXPECT_EQ(get32(f, at), want) << "at " << at;
  EXPECT_EQ(f[26], 1);
  EXPECT_EQ(f[28], 24);
  for (int i = 38; i < 54; ++i) EXPECT_EQ(f[i], 0) << i;
  ImgBitmap* b = img_bitmap(id);
  EXPECT_TRUE(std::equal(b->pixels, b->pixels + 48, f.begin() + 54));

  // 24-bit memory written as 32 bits: fourth bytes 0.
  ASSERT_EQ(img_save(id, path("b.bmp").c_str(), 0, 7, 32), 1);
  Bytes g = read_file(path("b.bmp"));
  ASSERT_EQ(g.size(), 54u + 20 * 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) {
      auto p = pixel(b, x, y);
      EXPECT_EQ(file_pixel(g, x, y), (std::array<int, 3>{p[0], p[1], p[2]}));
      EXPECT_EQ(g[54 + (2 - y) * 20 + x * 4 + 3], 0);
    }
}

TEST_F(ImageSave, ThirtyTwoBitPixelsAreCompositedOverWhiteForTwentyFourBits) {
  EXPECT_EQ(img_over_white(100, 128), 177);
  EXPECT_EQ(img_over_white(0, 255), 0);
  EXPECT_EQ(img_over_white(0, 0), 255);
  EXPECT_EQ(img_over_white(255, 77), 255);
  std::intptr_t id = img_create(-1, 3, 2, 32);
  paint(id, 1);
  ASSERT_EQ(img_save(id, path("a.bmp").c_str(), 0, 7, 24), 1);
  Bytes f = read_file(path("a.bmp"));
  ImgBitmap* b = img_bitmap(id);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      auto p = pixel(b, x, y);
      std::array<int, 3> want;
      for (int c = 0; c < 3; ++c)
        want[c] = img_over_white(static_cast<std::uint8_t>(p[c]), static_cast<std::uint8_t>(p[3]));
      EXPECT_EQ(file_pixel(f, x, y), want);
    }
  // 32 onto 32 keeps the alpha bytes as they are.
  ASSERT_EQ(img_save(id, path("b.bmp").c_str(), 0, 7, 32), 1);
  Bytes g = read_file(path("b.bmp"));
  EXPECT_TRUE(std::equal(b->pixels, b->pixels + 24, g.begin() + 54));
}

TEST_F(ImageSave, SourceDepthIsTheDefaultDepth) {
  // A 32-bit bitmap file loads as 24 bits with source depth 32, so it is
  // saved back as 32 bits with zero fourth bytes.
  codec_test::BmpLayout s{
      .width = 2, .height = 1, .bits = 32, .pixels = {1, 2, 3, 200, 4, 5, 6, 100}};
  codec_test::write_file(path("in.bmp"), codec_test::make_bmp(s));
  std::intptr_t id = img_load(-1, path("in.bmp").c_str());
  ASSERT_NE(id, 0);
  ASSERT_EQ(img_save_default(id, path("out.bmp").c_str(), 0), 1);
  Bytes f = read_file(path("out.bmp"));
  ASSERT_EQ(f.size(), 54u + 8);
  EXPECT_EQ(f[28], 32);
  EXPECT_EQ(Bytes(f.begin() + 54, f.end()), (Bytes{1, 2, 3, 0, 4, 5, 6, 0}));
}

TEST_F(ImageSave, PaletteDepthsMapEveryPixelToItsNearestEntry) {
  std::intptr_t id = img_create(-1, 33, 9, 24);  // 33 wide: rows that need a partial byte
  paint(id, 0);
  ImgBitmap* b = img_bitmap(id);
  for (int depth : {1, 4, 8}) {
    const std::string name = path("p" + std::to_string(depth) + ".bmp");
    ASSERT_EQ(img_save(id, name.c_str(), 0, 7, depth), 1) << depth;
    Bytes f = read_file(name);
    const std::size_t colours = std::size_t{1} << depth;
    const std::size_t row = ((33 * static_cast<std::size_t>(depth) + 31) / 32) * 4;
    ASSERT_EQ(f.size(), 54 + 4 * colours + 9 * row) << depth;
    EXPECT_EQ(get32(f, 10), 54 + 4 * colours);
    EXPECT_EQ(get32(f, 34), 9 * row);
    EXPECT_EQ(f[28], depth);
    for (int y = 0; y < 9; ++y)
      for (int x = 0; x < 33; ++x) {
        auto p = pixel(b, x, y);
        auto got = file_pixel(f, x, y);
        auto dist = [&](const std::uint8_t* e) {
          int d = 0;
          for (int c = 0; c < 3; ++c) d += (e[c] - p[c]) * (e[c] - p[c]);
          return d;
        };
        int best = INT32_MAX;
        for (std::size_t i = 0; i < colours; ++i) best = std::min(best, dist(&f[54 + 4 * i]));
        const std::uint8_t chosen[3] = {static_cast<std::uint8_t>(got[0]),
                                        static_cast<std::uint8_t>(got[1]),
                                        static_cast<std::uint8_t>(got[2])};
        EXPECT_EQ(dist(chosen), best) << depth << " at " << x << "," << y;
      }
  }
}

TEST_F(ImageSave, ErrorDiffusionKeepsTheAverageColour) {
  std::intptr_t id = img_create(-1, 64, 64, 24);
  ImgBitmap* b = img_bitmap(id);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      std::uint8_t* p = b->pixels + y * b->pitch + x * 3;
      p[0] = p[1] = p[2] = static_cast<std::uint8_t>(x < 32 ? 0 : (y < 32 ? 255 : 100));
    }
  ASSERT_EQ(img_save(id, path("n.bmp").c_str(), 0, 7, 1), 1);
  ASSERT_EQ(img_save(id, path("d.bmp").c_str(), 0, kImgQualityDither, 1), 1);
  Bytes nearest = read_file(path("n.bmp")), diffused = read_file(path("d.bmp"));
  auto mean = [](const Bytes& f) {  // of the grey-100 quarter
    double sum = 0;
    for (int y = 0; y < 32; ++y)
      for (int x = 32; x < 64; ++x) sum += file_pixel(f, x, y)[1];
    return sum / (32 * 32);
  };
  EXPECT_GT(std::abs(mean(nearest) - 100), 40);
  EXPECT_LT(std::abs(mean(diffused) - 100), 8);
}

TEST_F(ImageSave, QuantiserFindsTheColoursOfASimplePicture) {
  Bytes pixels;
  const std::uint8_t colours[4][4] = {
      {0, 0, 255, 255}, {0, 255, 0, 255}, {255, 0, 0, 255}, {40, 40, 40, 255}};
  for (int i = 0; i < 4000; ++i) pixels.insert(pixels.end(), colours[i % 4], colours[i % 4] + 4);
  ImgPalette palette = img_neuquant(pixels, 16);
  EXPECT_EQ(palette.count, 16);
  ImgNearest nearest(palette);
  for (const auto& c : colours) {
    const auto& e = palette.bgra[nearest.find(c[0], c[1], c[2], c[3])];
    for (int ch = 0; ch < 4; ++ch) EXPECT_NEAR(e[ch], c[ch], 6) << ch;
  }
  // A single pixel still gives a full palette without reading past it.
  ImgPalette one = img_neuquant(Bytes{9, 8, 7, 255}, 256);
  EXPECT_EQ(one.count, 256);
}

TEST_F(ImageSave, PaletteEntriesSettleOnTheMeansOfTheirColours) {
  // Two clusters and two entries: each entry must end on its cluster's mean,
  // which the learning alone only comes near.
  Bytes pixels;
  std::uint64_t sums[2][4] = {};
  std::uint32_t seed = 7;
  auto rnd = [&] { return (seed = seed * 1664525u + 1013904223u) >> 24; };
  const int centre[2][4] = {{10, 20, 30, 255}, {200, 180, 160, 255}};
  for (int i = 0; i < 6000; ++i) {
    const int k = (rnd() % 3 == 0) ? 1 : 0;
    for (int c = 0; c < 4; ++c) {
      const int v = c == 3 ? 255 : centre[k][c] + static_cast<int>(rnd() % 9) - 4;
      pixels.push_back(static_cast<std::uint8_t>(v));
      sums[k][c] += static_cast<std::uint64_t>(v);
    }
  }
  std::uint64_t counts[2] = {0, 0};
  for (std::size_t i = 0; i < pixels.size(); i += 4) ++counts[pixels[i + 2] > 100 ? 1 : 0];
  const ImgPalette palette = img_neuquant(pixels, 2);
  ImgNearest nearest(palette);
  for (int k = 0; k < 2; ++k) {
    const auto& e = palette.bgra[nearest.find(centre[k][0], centre[k][1], centre[k][2], 255)];
    for (int c = 0; c < 4; ++c) {
      const auto mean = (sums[k][c] + counts[k] / 2) / counts[k];
      EXPECT_EQ(e[c], mean) << "cluster " << k << " channel " << c;
    }
  }
}

TEST_F(ImageSave, NearestSearchFromAHintFindsWhatTheFullSearchFinds) {
  std::uint32_t seed = 99;
  auto rnd = [&] { return static_cast<int>((seed = seed * 1664525u + 1013904223u) >> 24); };
  for (int round = 0; round < 20; ++round) {
    ImgPalette palette;
    palette.count = 2 + rnd() % 255;
    // Few distinct values, so equal distances (and the index rule) come up.
    for (int i = 0; i < palette.count; ++i)
      for (int c = 0; c < 4; ++c) palette.bgra[i][c] = static_cast<std::uint8_t>(rnd() % 8 * 32);
    ImgNearest nearest(palette);
    for (int i = 0; i < 500; ++i) {
      const int b = rnd(), g = rnd(), r = rnd(), a = rnd();
      const std::int32_t full = nearest.find(b, g, r, a);
      EXPECT_EQ(nearest.find_from(b, g, r, a, rnd() % palette.count), full);
    }
  }
}

TEST_F(ImageSave, RefusalsTouchNothing) {
  std::intptr_t id = img_create(-1, 4, 4, 24);
  EXPECT_EQ(img_save(id, "", 0, 7, 24), 0);
  EXPECT_EQ(img_save(id, nullptr, 0, 7, 24), 0);
  EXPECT_EQ(img_save(id, path("x.bmp").c_str(), 0, 7, 16), 0);
  EXPECT_EQ(img_save(id, path("x.bmp").c_str(), 0, 7, 2), 0);
  EXPECT_EQ(img_save(999, path("x.bmp").c_str(), 0, 7, 24), 0);
  EXPECT_EQ(img_save(id, path("x.bmp").c_str(), 42, 7, 24), 0);  // no such encoder
  EXPECT_EQ(img_save(id, path("no/such/dir/x.bmp").c_str(), 0, 7, 24), 0);
  EXPECT_TRUE(std::filesystem::is_empty(dir_));
}

TEST_F(ImageSave, AFailedWriteLeavesNoPartialFileAndKeepsTheOldOne) {
  codec_test::write_file(path("keep.bmp"), Bytes{'o', 'l', 'd'});
  std::intptr_t id = img_create(-1, 300, 300, 32);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::int32_t result = img_save(id, path("keep.bmp").c_str(), 0, 7, 32);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(read_file(path("keep.bmp")), (Bytes{'o', 'l', 'd'}));
  int files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir_)) ++files;
  EXPECT_EQ(files, 1);
}

struct Recorded {
  int calls24 = 0, calls32 = 0, pitch = 0, depth = 0;
  Bytes first_row;
};
Recorded g_recorded;

int record24(const char*, const std::uint8_t* pixels, std::int32_t width, std::int32_t,
             std::int32_t pitch, std::int32_t, std::int32_t, std::int32_t depth) {
  ++g_recorded.calls24;
  g_recorded.pitch = pitch;
  g_recorded.depth = depth;
  g_recorded.first_row.assign(pixels, pixels + width * 3);
  return 1;
}
int record32(const char*, const std::uint8_t*, std::int32_t, std::int32_t, std::int32_t,
             std::int32_t, std::int32_t, std::int32_t) {
  ++g_recorded.calls32;
  return 1;
}

TEST_F(ImageSave, RegisteredEncodersGetTheirDepthOrAWhiteComposite) {
  static const ImageEncoder only24 = {700, record24, nullptr};
  static const ImageEncoder both = {701, record24, record32};
  ASSERT_EQ(img_register_encoder(&only24), 1);
  ASSERT_EQ(img_register_encoder(&both), 1);
  std::intptr_t id = img_create(-1, 5, 2, 32);
  ImgBitmap* b = img_bitmap(id);
  b->pixels[0] = 100;
  b->pixels[3] = 128;
  g_recorded = {};
  EXPECT_EQ(img_save(id, path("e").c_str(), 700, 7, -1), 1);
  EXPECT_EQ(g_recorded.calls24, 1);
  EXPECT_EQ(g_recorded.pitch, 16);
  EXPECT_EQ(g_recorded.depth, 32);
  EXPECT_EQ(g_recorded.first_row[0], 177);
  EXPECT_EQ(g_recorded.first_row[1], 127);
  EXPECT_EQ(g_recorded.first_row[3], 0);  // opaque black stays black
  g_recorded = {};
  EXPECT_EQ(img_save(id, path("e").c_str(), 701, 7, 8), 1);
  EXPECT_EQ(g_recorded.calls32, 1);
  EXPECT_EQ(g_recorded.calls24, 0);
}

TEST_F(ImageSave, AScreenshotFromMemoryRoundTrips) {
  // What the engine does: a BMP in memory becomes image 68000 and is saved.
  codec_test::BmpLayout s{
      .width = 3, .height = 2, .bits = 24, .pixels = {1,  2,  3,  4,  5,  6,  7,  8,  9,  0, 0, 0,
                                                      10, 11, 12, 13, 14, 15, 16, 17, 18, 0, 0, 0}};
  Bytes bmp = codec_test::make_bmp(s);
  ASSERT_NE(img_catch_memory(68000, bmp.data()), 0);
  ASSERT_EQ(img_save_default(68000, path("Gamebild.png").c_str(), 0), 1);
  img_free(68000);
  codec_test::put32(bmp, 34, 24);  // the writer fills in biSizeImage
  EXPECT_EQ(read_file(path("Gamebild.png")), bmp);
}
}  // namespace
