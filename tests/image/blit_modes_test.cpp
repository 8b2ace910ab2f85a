// Image blits in every mode of both tables: one source pixel onto one target
// pixel with the exact integer results, the worked numbers, and clipping of
// partly visible sources.
#include <gtest/gtest.h>

#include "draw_canvas.h"

namespace {

// Source pixel red 200, green 80, blue 40, alpha 128; target pixel red 100,
// green 50, blue 30, alpha 100 (0xAARRGGBB, blue in the low byte).
constexpr std::uint32_t kSource = 0x80C85028;
constexpr std::uint32_t kTarget = 0x6464321E;

constexpr std::uint32_t kNone = 0;
constexpr std::uint32_t kXor = kDrawModeXor;
constexpr std::uint32_t kAll = kDrawModeAllChannels;
constexpr std::uint32_t kOnly = kDrawModeAlphaOnly;
constexpr std::uint32_t kBlend = kDrawModeAlphaBlend;
constexpr std::uint32_t kClip = kDrawModeAlphaClip;

struct Case {
  std::int32_t source_bits;
  std::uint32_t mode;
  std::int32_t target_bits;
  std::int32_t alpha;
  std::int32_t flag;
  std::uint32_t expected;
};

std::uint32_t blit_one(const Case& k) {
  const std::uint32_t source = k.source_bits == 32 ? kSource : (kSource & 0xFFFFFF);
  TestCanvas t(1, 1, k.target_bits, k.target_bits == 32 ? kTarget : (kTarget & 0xFFFFFF));
  draw_set_mode(t.c(), k.mode);
  const std::uint8_t bytes[4] = {
      static_cast<std::uint8_t>(source), static_cast<std::uint8_t>(source >> 8),
      static_cast<std::uint8_t>(source >> 16), static_cast<std::uint8_t>(source >> 24)};
  if (k.source_bits == 32)
    draw_blit32(t.c(), bytes, 4, 0, 0, 1, 1, k.alpha, k.flag);
  else
    draw_blit24(t.c(), bytes, 4, 0, 0, 1, 1, k.alpha, k.flag);
  return t.get(0, 0);
}

// Sources of either depth in every mode onto both target depths.
TEST(DrawBlit, EveryModeForEachSourceAndTargetDepth) {
  const Case cases[] = {
      {32, kNone, 32, 255, 0, 0x64C85028},  {32, kNone, 32, 100, 0, 0x64C85028},
      {32, kNone, 32, 255, 1, 0xB1AB4725},  {32, kNone, 32, 100, 1, 0x828A3D21},
      {32, kNone, 32, 0, 1, 0x6464321E},    {32, kXor, 32, 255, 0, 0x64AC6236},
      {32, kXor, 32, 100, 1, 0x64AC6236},   {32, kAll, 32, 255, 0, 0x80C85028},
      {32, kAll, 32, 100, 1, 0x32C85028},   {32, kAll, 32, 0, 0, 0x00C85028},
      {32, kOnly, 32, 255, 0, 0x8064321E},  {32, kOnly, 32, 100, 1, 0x3264321E},
      {32, kBlend, 32, 255, 0, 0xB1AB4725}, {32, kBlend, 32, 100, 0, 0x828A3D21},
      {32, kBlend, 32, 0, 1, 0x6464321E},   {32, kClip, 32, 255, 0, 0x64AB4725},
      {32, kClip, 32, 100, 1, 0x648A3D21},  {32, kClip, 32, 0, 0, 0x6464321E},
      {32, kNone, 24, 255, 0, 0x00C85028},  {32, kNone, 24, 100, 0, 0x00C85028},
      {32, kNone, 24, 255, 1, 0x00964123},  {32, kNone, 24, 100, 1, 0x0077371F},
      {32, kNone, 24, 0, 1, 0x0064321E},    {32, kXor, 24, 255, 1, 0x00AC6236},
      {32, kAll, 24, 255, 0, 0x00C85028},   {32, kAll, 24, 100, 1, 0x0077371F},
      {32, kOnly, 24, 255, 0, 0x0064321E},  {32, kOnly, 24, 100, 1, 0x0064321E},
      {32, kBlend, 24, 255, 0, 0x00964123}, {32, kBlend, 24, 100, 1, 0x0077371F},
      {32, kClip, 24, 255, 1, 0x00964123},  {32, kClip, 24, 100, 0, 0x0077371F},
      {32, kClip, 24, 0, 0, 0x0064321E},    {24, kNone, 32, 255, 0, 0x64C85028},
      {24, kNone, 32, 100, 0, 0xA0A24424},  {24, kNone, 32, 0, 0, 0x6464321E},
      {24, kXor, 32, 100, 0, 0x64AC6236},   {24, kAll, 32, 255, 0, 0xFFC85028},
      {24, kAll, 32, 100, 0, 0x64C85028},   {24, kAll, 32, 0, 0, 0x00C85028},
      {24, kOnly, 32, 255, 0, 0xFF64321E},  {24, kOnly, 32, 100, 0, 0x6464321E},
      {24, kBlend, 32, 255, 0, 0xFFC85028}, {24, kBlend, 32, 100, 0, 0xA0A24424},
      {24, kBlend, 32, 0, 0, 0x6464321E},   {24, kClip, 32, 255, 0, 0x64C85028},
      {24, kClip, 32, 100, 0, 0x64A24424},  {24, kNone, 24, 255, 0, 0x00C85028},
      {24, kNone, 24, 100, 0, 0x008B3D21},  {24, kNone, 24, 0, 0, 0x0064321E},
      {24, kXor, 24, 0, 0, 0x00AC6236},     {24, kAll, 24, 100, 0, 0x008B3D21},
      {24, kOnly, 24, 255, 0, 0x0064321E},  {24, kBlend, 24, 255, 0, 0x00C85028},
      {24, kBlend, 24, 100, 0, 0x008B3D21}, {24, kBlend, 24, 0, 0, 0x0064321E},
      {24, kClip, 24, 100, 0, 0x008B3D21},
  };
  for (const Case& k : cases) {
    EXPECT_EQ(blit_one(k), k.expected)
        << std::hex << "mode " << k.mode << std::dec << " source " << k.source_bits << " target "
        << k.target_bits << " alpha " << k.alpha << " flag " << k.flag;
  }
}

TEST(DrawBlit, WorkedNumbers) {
  // Source-over of S = 200 with weight 128 onto D = 100, Da = 255: 150, Da 255.
  TestCanvas over(1, 1, 32, 0xFF646464);
  const std::uint8_t s128[4] = {200, 200, 200, 128};
  draw_blit32(over.c(), s128, 4, 0, 0, 1, 1, 255, 1);
  EXPECT_EQ(over.get(0, 0), 0xFF969696u);
  const std::uint8_t s255[4] = {200, 200, 200, 255};  // weight from the alpha argument
  over.set(0, 0, 0xFF646464);
  draw_blit32(over.c(), s255, 4, 0, 0, 1, 1, 128, 1);
  EXPECT_EQ(over.get(0, 0), 0xFF969696u);
  // 24-bit source blend of S = 255 with weight 128 onto D = 0: 128.
  TestCanvas mix(1, 1, 24);
  const std::uint8_t white128[4] = {255, 255, 255, 128};
  draw_blit32(mix.c(), white128, 4, 0, 0, 1, 1, 255, 1);
  EXPECT_EQ(mix.get(0, 0), 0x00808080u);
  // A 24-bit image drawn with alpha 0 leaves either target unchanged.
  for (int bits : {24, 32}) {
    TestCanvas t(2, 2, bits, 0x12345678 & (bits == 32 ? 0xFFFFFFFF : 0xFFFFFF));
    const std::vector<std::uint8_t> before = t.memory();
    const std::uint8_t rows[16] = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
    draw_blit24(t.c(), rows, 8, 0, 0, 2, 2, 0, 0);
    EXPECT_EQ(t.memory(), before) << bits;
  }
}

TEST(DrawBlit, TransparentSourcePixelsLeaveTheTarget) {
  // Flag 1: alpha 0 pixels keep the target; opaque ones onto alpha 0 are
  // copied exactly and become opaque.
  TestCanvas t(2, 1, 32, 0x00336699);
  const std::uint8_t src[8] = {1, 2, 3, 0, 10, 20, 30, 255};
  draw_blit32(t.c(), src, 8, 0, 0, 2, 1, 255, 1);
  EXPECT_EQ(t.get(0, 0), 0x00336699u);
  EXPECT_EQ(t.get(1, 0), 0xFF1E140Au);
}

// Source pixel (x, y) of a test pattern, distinct everywhere.
std::uint32_t pattern(int x, int y) {
  return 0xFF000000u |
         static_cast<std::uint32_t>(((x * 37 + y * 11) & 0xFF) << 16 |
                                    ((x * 5 + y * 97) & 0xFF) << 8 | ((x + 1) * (y + 3)));
}

// Draws a w x h pattern at (ox, oy) and compares every target pixel with the
// pattern where it overlaps and with the background elsewhere.
void check_clipped(int target_bits, int source_bits, int w, int h, int ox, int oy) {
  constexpr int kW = 7, kH = 5;
  const std::uint32_t back = target_bits == 32 ? 0x11223344u : 0x223344u;
  TestCanvas t(kW, kH, target_bits, back);
  ImgBitmap* src = make_bitmap(w, h, source_bits, pattern);
  if (source_bits == 32)
    draw_blit32(t.c(), src->pixels, src->pitch, ox, oy, w, h, 255, 0);
  else
    draw_blit24(t.c(), src->pixels, src->pitch, ox, oy, w, h, 255, 0);
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      const int sx = x - ox, sy = y - oy;
      std::uint32_t want = back;
      if (sx >= 0 && sy >= 0 && sx < w && sy < h)
        want = (back & 0xFF000000u) | (pattern(sx, sy) & 0xFFFFFF);
      ASSERT_EQ(t.get(x, y), want) << "at " << x << "," << y << " origin " << ox << "," << oy
                                   << " bits " << source_bits << "->" << target_bits;
    }
  }
  img_bitmap_destroy(src);
}

TEST(DrawBlit, ClippedSourcesStayAligned) {
  for (int tb : {24, 32}) {
    for (int sb : {24, 32}) {
      for (auto [ox, oy] : {std::pair{0, 0},
                            {-2, -1},
                            {-3, 3},
                            {5, -2},
                            {4, 3},
                            {-4, -4},
                            {7, 0},
                            {0, 5},
                            {-5, 0},
                            {0, -3},
                            {-100, -100},
                            {1, 1}}) {
        check_clipped(tb, sb, 5, 3, ox, oy);
      }
      check_clipped(tb, sb, 20, 9, -6, -2);  // larger than the target on every side
    }
  }
}

TEST(DrawBlit, DrawingAnImageOntoItselfReadsTheOriginal) {
  TestCanvas t(6, 3, 32);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 6; ++x) t.set(x, y, pattern(x, y));
  // The whole target, moved one pixel right and one down.
  draw_blit32(t.c(), t.c()->pixels, t.c()->pitch, 1, 1, 6, 3, 255, 0);
  for (int y = 1; y < 3; ++y)
    for (int x = 1; x < 6; ++x) EXPECT_EQ(t.get(x, y), pattern(x - 1, y - 1)) << x << "," << y;
  EXPECT_EQ(t.get(0, 2), pattern(0, 2));
}

}  // namespace
