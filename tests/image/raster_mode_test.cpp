// The drawing mode: which flags survive, when colours are premultiplied, what
// reading a pixel returns, and the pixel rule of every mode on 24- and 32-bit
// targets through plots and spans.
#include <gtest/gtest.h>

#include "draw_canvas.h"

namespace {

constexpr std::uint32_t kColour = 0x80000AC8;  // red 200, green 10, blue 0, alpha 128
constexpr std::uint32_t kDest = 0x6464321E;    // alpha 100, red 100, green 50, blue 30

TEST(DrawMode, AllChannelsClearsAlphaModesAndIsDroppedOn24Bit) {
  TestCanvas c32(1, 1, 32), c24(1, 1, 24);
  draw_set_mode(c32.c(), kDrawModeAllChannels | kDrawModeAlphaOnly | kDrawModeAlphaBlend |
                             kDrawModeAlphaClip | kDrawModeOutline);
  EXPECT_EQ(c32.c()->mode, kDrawModeAllChannels | kDrawModeOutline);
  draw_set_mode(c24.c(), kDrawModeAllChannels | kDrawModeAlphaBlend);
  EXPECT_EQ(c24.c()->mode, 0u);
  draw_set_mode(c24.c(), kDrawModeAlphaBlend);
  EXPECT_EQ(c24.c()->mode, kDrawModeAlphaBlend);
}

TEST(DrawMode, PremultiplyOnlyForPlainBlendModes) {
  TestCanvas t(1, 1, 32);
  DrawContext* c = t.c();
  draw_set_colour(c, kColour);
  EXPECT_EQ(c->front.red, 200);
  draw_set_mode(c, kDrawModeAlphaBlend);
  EXPECT_EQ(c->premultiply, 1);
  EXPECT_EQ(c->front.red, 200 * 128);  // the mode setter recomputes the components
  EXPECT_EQ(c->front.green, 10 * 128);
  EXPECT_EQ(c->front.alpha, 128);
  EXPECT_EQ(c->front.inverse_alpha, 127);
  draw_set_mode(c, kDrawModeAlphaClip);
  EXPECT_EQ(c->premultiply, 1);
  for (std::uint32_t other : {kDrawModeXor, kDrawModeGradient, kDrawModeCustom}) {
    draw_set_mode(c, kDrawModeAlphaBlend | other);
    EXPECT_EQ(c->premultiply, 0) << other;
    EXPECT_EQ(c->front.red, 200);
  }
  draw_set_mode(c, kDrawModeAlphaBlend | kDrawModeAllChannels);  // blend is cleared
  EXPECT_EQ(c->premultiply, 0);
  draw_set_back_colour(c, 0x40102030);
  draw_set_mode(c, kDrawModeAlphaBlend);
  EXPECT_EQ(c->back.red, 0x30 * 0x40);
  EXPECT_EQ(c->back.blue, 0x10 * 0x40);
}

TEST(DrawMode, ReadPixelIncludesAlphaOnlyIn32BitAlphaModes) {
  TestCanvas t32(2, 2, 32, 0x7F112233), t24(2, 2, 24, 0x00112233);
  EXPECT_EQ(t32.c()->ops.read_pixel(t32.c(), 1, 1), 0x00332211u);
  for (std::uint32_t m : {kDrawModeAlphaOnly, kDrawModeAlphaBlend, kDrawModeAlphaClip,
                          kDrawModeCustom, kDrawModeAllChannels}) {
    draw_set_mode(t32.c(), m);
    EXPECT_EQ(t32.c()->ops.read_pixel(t32.c(), 1, 0), 0x7F332211u) << m;
    draw_set_mode(t24.c(), m);
    EXPECT_EQ(t24.c()->ops.read_pixel(t24.c(), 1, 0), 0x00332211u) << m;
  }
  draw_set_mode(t32.c(), kDrawModeXor | kDrawModeGradient);
  EXPECT_EQ(t32.c()->ops.read_pixel(t32.c(), 0, 0), 0x00332211u);
}

struct ModeCase {
  std::uint32_t mode;
  std::int32_t bits;
  std::uint32_t expected;  // 0xAARRGGBB after one plot of kColour onto kDest
};

class PixelRule : public testing::TestWithParam<ModeCase> {};

// Each mode's rule through the front-colour plot, both spans and the
// explicit-colour plot: all four must give the same pixel.
TEST_P(PixelRule, PlotsAndSpansAgree) {
  const ModeCase& m = GetParam();
  const std::uint32_t dest = m.bits == 32 ? kDest : (kDest & 0xFFFFFF);
  TestCanvas t(5, 5, m.bits, dest);
  DrawContext* c = t.c();
  draw_set_mode(c, m.mode);
  draw_set_colour(c, kColour);
  c->ops.plot(c, 0, 0);
  c->span_h(c, 1, 1, 3);
  c->span_v(c, 4, 1, 3);
  c->ops.plot_colour(c, 2, 4, kColour);
  const std::uint32_t want = m.bits == 32 ? m.expected : (m.expected & 0xFFFFFF);
  EXPECT_EQ(t.get(0, 0), want);
  for (int x = 1; x <= 3; ++x) EXPECT_EQ(t.get(x, 1), want) << x;
  for (int y = 1; y <= 3; ++y) EXPECT_EQ(t.get(4, y), want) << y;
  EXPECT_EQ(t.get(2, 4), want);
  EXPECT_EQ(t.get(0, 1), dest);  // neighbours untouched
  EXPECT_EQ(t.get(1, 2), dest);
  EXPECT_EQ(t.get(3, 4), dest);
}

// Xor on 32 bits: 100 ^ 200, 50 ^ 10, 30 ^ 0.
constexpr std::uint32_t kOutline = kDrawModeOutline, kXor = kDrawModeXor,
                        kAll = kDrawModeAllChannels, kOnly = kDrawModeAlphaOnly,
                        kBlend = kDrawModeAlphaBlend, kClip = kDrawModeAlphaClip;
constexpr ModeCase kModeCases[] = {
    {0, 32, 0x64C80A00},      {0, 24, 0x00C80A00},     {kOutline, 32, 0x64C80A00},
    {kXor, 32, 0x64AC381E},   {kXor, 24, 0x00AC381E},  {kAll, 32, 0x80C80A00},
    {kAll, 24, 0x00C80A00},   {kOnly, 32, 0x8064321E}, {kOnly, 24, 0x0064321E},
    {kBlend, 32, 0xB1AB1508}, {kClip, 32, 0x64AB1508}, {kBlend, 24, 0x00961D0E},
    {kClip, 24, 0x00961D0E},
};
INSTANTIATE_TEST_SUITE_P(EveryMode, PixelRule, testing::ValuesIn(kModeCases));

TEST(DrawBlendPlot, TransparentColourAndTransparentTarget) {
  TestCanvas t(3, 1, 32, 0x0064321E);  // alpha 0 target
  DrawContext* c = t.c();
  draw_set_mode(c, kDrawModeAlphaBlend);
  draw_set_colour(c, kColour);
  c->ops.plot(c, 0, 0);  // Da = 0: the colour itself, alpha (0 + 128*255)/255
  EXPECT_EQ(t.get(0, 0), 0x80C80A00u);
  c->ops.plot_colour(c, 1, 0, 0x00FFFFFF);  // A = 0: unchanged
  EXPECT_EQ(t.get(1, 0), 0x0064321Eu);
  draw_set_colour(c, 0xFF102030);  // opaque: replaces, alpha 255
  t.set(2, 0, kDest);
  c->ops.plot(c, 2, 0);
  EXPECT_EQ(t.get(2, 0), 0xFF302010u);
}

TEST(DrawPlot, OutsideTheTargetWritesNothing) {
  TestCanvas t(2, 2, 32, 0x01020304);
  const std::vector<std::uint8_t> before = t.memory();
  for (auto [x, y] : {std::pair{-1, 0}, {0, -1}, {2, 0}, {0, 2}, {-100000, 100000}}) {
    t.c()->ops.plot(t.c(), x, y);
    t.c()->ops.plot_colour(t.c(), x, y, 0xFFFFFFFF);
  }
  EXPECT_EQ(t.memory(), before);
}

TEST(DrawPlot, CustomModeMapsEachColour) {
  TestCanvas t(4, 1, 24);
  DrawContext* c = t.c();
  c->custom = [](DrawContext*, std::uint32_t colour) { return colour ^ 0x00FFFFFFu; };
  draw_set_mode(c, kDrawModeCustom);
  draw_set_colour(c, 0x00010203);
  c->span_h(c, 0, 0, 4);
  for (int x = 0; x < 4; ++x)
    EXPECT_EQ(t.get(x, 0), 0x00FCFDFEu);  // red 3, green 2, blue 1 inverted
  c->custom = draw_default_custom;
  c->ops.plot_colour(c, 1, 0, 0x00112233);
  EXPECT_EQ(t.get(1, 0), 0x00332211u);
}

}  // namespace
