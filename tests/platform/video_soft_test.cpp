// The soft device against exact pixels: placement, filtering, every blend
// pair, depth and alpha test, the overlay, plus the device's handle and
// texture rules. Everything runs headless.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <random>

#include "platform/video.h"
#include "platform/video_soft_raster_internal.h"
#include "tests/platform/video_scenes.h"

using namespace video_test;

namespace {

struct SoftDevice {
  PlatVideo* v;
  SoftDevice(int w, int h) : v(plat_video_create(PlatVideoBackend::Soft, nullptr, w, h)) {}
  ~SoftDevice() { plat_video_destroy(v); }
};

Pixels render_soft(const Scene& scene) {
  SoftDevice d(scene.width, scene.height);
  return render(d.v, scene);
}

Scene find_scene(const std::string& name) {
  for (Scene& s : conformance_scenes()) {
    if (s.name == name) return s;
  }
  ADD_FAILURE() << "no scene " << name;
  return {};
}

std::uint32_t at(const Pixels& p, int width, int x, int y) {
  return p[static_cast<std::size_t>(y) * width + x];
}

// D3D's blend as documented, with destination alpha 1, in exact rationals.
unsigned d3d_factor(int f, bool is_src, unsigned cs, unsigned cd, unsigned as) {
  // Indexed by PlatBlend from kBlendZero; destination alpha is 1, so the
  // saturated factor min(As, 1 - Ad) is 0.
  const unsigned both = is_src ? as : 255 - as;
  const unsigned factors[] = {0, 255, cs,       255 - cs, as,   255 - as,  255,
                              0, cd,  255 - cd, 0,        both, 255 - both};
  return f >= 1 && f <= 13 ? factors[f - 1] : (is_src ? 255 : 0);
}

std::uint32_t d3d_blend(std::uint32_t src, unsigned alpha, std::uint32_t dst, int sb, int db) {
  const unsigned as = static_cast<unsigned>(std::lround((src >> 24) * alpha / 255.0));
  if (as == 0) return dst;  // alpha test
  if (sb == 12) db = 12;
  if (sb == 13) db = 13;
  std::uint32_t out = 0;
  for (int sh = 0; sh < 24; sh += 8) {
    const unsigned cs = (src >> sh) & 255, cd = (dst >> sh) & 255;
    const double v =
        (cs * d3d_factor(sb, true, cs, cd, as) + cd * d3d_factor(db, false, cs, cd, as)) / 255.0;
    out |= static_cast<std::uint32_t>(std::min(255.0, std::floor(v + 0.5))) << sh;
  }
  return out;
}

TEST(VideoSoftTest, OneToOneTexelsAtIntegerPositions) {
  const Scene scene = find_scene("one_to_one");
  const Pixels p = render_soft(scene);
  for (int y = 0; y < scene.height; ++y) {
    for (int x = 0; x < scene.width; ++x) {
      std::uint32_t want = 0;
      if (x >= 5 && x < 21 && y >= 7 && y < 15) want = pattern_texel(x - 5, y - 7) & 0xFFFFFF;
      if (x >= 24 && x < 40 && y >= 20 && y < 28) want = pattern_texel(x - 24, y - 20) & 0xFFFFFF;
      ASSERT_EQ(at(p, scene.width, x, y), want) << x << "," << y;
    }
  }
}

TEST(VideoSoftTest, GameBlendPairsHandComputed) {
  // Source 0x80C86432 at full quad alpha over 0x0A141E: As = 128.
  // (5, 6): (200·128 + 10·127) / 255 = 105.37 → 105, and so on.
  const Pixels over = render_soft(find_scene("blend_5_6"));
  const Pixels add = render_soft(find_scene("blend_5_7"));
  const int cell = 3;  // dest 0, source 1, alpha 255
  const int x = (cell % 8) * 2, y = (cell / 8) * 2;
  EXPECT_EQ(at(over, 16, x, y), 0x693C28u);
  // (5, 7): destination alpha is 1, so it adds: 10 + 100.4 → 110, …
  EXPECT_EQ(at(add, 16, x, y), 0x6E4637u);
  // Alpha 200 on source 0xFFC86432 over 0xF0E0D0: As = 200; R = (200·200 +
  // 240·55) / 255 = 208.6 → 209; the add saturates red and green.
  const int c2 = 15 + 1;  // dest 1, source 0, alpha 200
  EXPECT_EQ(at(over, 16, (c2 % 8) * 2, (c2 / 8) * 2), 0xD17F54u);
  EXPECT_EQ(at(add, 16, (c2 % 8) * 2 + 1, (c2 / 8) * 2 + 1), 0xFFFFF7u);
}

TEST(VideoSoftTest, EveryBlendPairMatchesTheFactorDefinitions) {
  for (int sb = 0; sb <= 14; ++sb) {
    for (int db = 0; db <= 14; ++db) {
      SoftDevice d(16, 12);
      plat_video_begin_frame(d.v);
      draw_blend_grid(d.v, sb, db);
      plat_video_end_frame(d.v);
      Pixels p(16 * 12);
      plat_video_read_back(d.v, p.data());
      int cell = 0;
      for (std::uint32_t dst : kBlendDests) {
        for (std::uint32_t src : kBlendSources) {
          for (std::uint8_t a : kBlendAlphas) {
            const std::uint32_t want = d3d_blend(src, a, dst, sb, db);
            for (int i = 0; i < 4; ++i) {
              const int x = (cell % 8) * 2 + (i & 1), y = (cell / 8) * 2 + (i >> 1);
              ASSERT_EQ(at(p, 16, x, y), want) << "pair " << sb << "," << db << " cell " << cell;
            }
            ++cell;
          }
        }
      }
    }
  }
}

TEST(VideoSoftTest, DepthHidesFarQuadDrawnLaterAndSkipsOutOfRangeDepth) {
  const Pixels p = render_soft(find_scene("depth_layers"));
  EXPECT_EQ(at(p, 40, 6, 6), 0xFF0000u);    // red alone
  EXPECT_EQ(at(p, 40, 15, 15), 0xFF0000u);  // green at 1.0 behind red at 0.5
  EXPECT_EQ(at(p, 40, 22, 14), 0x00FF00u);  // green alone (1.0 ≤ cleared 1.0)
  EXPECT_EQ(at(p, 40, 24, 24), 0x0000FFu);  // blue at 0.2 in front of green
  EXPECT_EQ(at(p, 40, 34, 34), 0x0000FFu);
  EXPECT_EQ(at(p, 40, 4, 30), 0u);  // the quad at depth 1.5 is not drawn
}

TEST(VideoSoftTest, AlphaTestLeavesHolesWithoutDepth) {
  const Pixels p = render_soft(find_scene("alpha_holes"));
  // Checker cells with alpha 0 and texels with alpha 1 (1·100/255 rounds to
  // 0) let the far quad through; alpha 2 gives As = 1, which writes depth
  // and hides it, while blending in almost nothing over black.
  EXPECT_EQ(at(p, 32, 8, 8), 0x3040FFu);       // texel (0,0): alpha 0
  EXPECT_EQ(at(p, 32, 8 + 4, 8), 0x3040FFu);   // texel (4,0): alpha 1
  EXPECT_EQ(at(p, 32, 8 + 12, 8), 0x010100u);  // texel (12,0): alpha 2 → As 1
  EXPECT_EQ(at(p, 32, 2, 2), 0u);
}

TEST(VideoSoftTest, RotationKeepsTheCentreAndFlipsExactly) {
  const Scene scene = find_scene("rotation");
  const Pixels p = render_soft(scene);
  // The mirrored quad (both axes negated about its centre) reads texels
  // backwards, unblurred.
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 24; ++x) {
      ASSERT_EQ(at(p, 64, 36 + x, 4 + y), pattern_texel(23 - x, 15 - y) & 0xFFFFFF);
    }
  }
  // A 17° turn about the centre (20, 18): the centre pixel samples the
  // texel corner (12, 8), and the covered area stays w × h within a border.
  int covered = 0;
  for (int y = 0; y < 36; ++y) {
    for (int x = 0; x < 36; ++x) covered += at(p, 64, x, y) != 0;
  }
  EXPECT_NEAR(covered, 24 * 16, 24 + 16);
  EXPECT_NE(at(p, 64, 20, 18), 0u);
  EXPECT_EQ(at(p, 64, 0, 0), 0u);
}

TEST(VideoSoftTest, MagnificationFiltersWithClampedEdges) {
  const Pixels p = render_soft(find_scene("scale"));
  // A black-white pair of texels doubled: sample positions -0.25, 0.25,
  // 0.75, 1.25 give 0, 64, 191, 255 (8-bit weights, edges clamped).
  const std::uint32_t want[4] = {0, 64, 191, 255};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(at(p, 48, 2 + i, 2), want[i] * 0x010101u) << i;
    EXPECT_EQ(at(p, 48, 2 + i, 3), want[i] * 0x010101u) << i;
  }
  EXPECT_EQ(at(p, 48, 6, 2), 0u);
  // Scale 1.5 on 8 × 8 covers exactly 12 × 12 pixels from (10, 4).
  EXPECT_NE(at(p, 48, 10, 4), 0u);
  EXPECT_NE(at(p, 48, 21, 15), 0u);
  EXPECT_EQ(at(p, 48, 22, 10), 0u);
  EXPECT_EQ(at(p, 48, 15, 16), 0u);
}

TEST(VideoSoftTest, SourceOutsideTheTextureClampsToItsEdges) {
  const Pixels p = render_soft(find_scene("clamped_source"));
  // Source (-2, -2)–(6, 6) of a 4 × 4 texture at (4, 4): the border texels
  // repeat outwards, the inside is one to one.
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      const int tx = std::clamp(x - 2, 0, 3), ty = std::clamp(y - 2, 0, 3);
      ASSERT_EQ(at(p, 24, 4 + x, 4 + y), pattern_texel(tx, ty) & 0xFFFFFF) << x << "," << y;
    }
  }
}

TEST(VideoSoftTest, QuadsOverTheEdgesAreClipped) {
  const Pixels p = render_soft(find_scene("edges_and_large"));
  // The unrotated sprite at (-4, 30) keeps its texels one to one up to the
  // buffer's left edge.
  for (int y = 30; y < 46; ++y) {
    for (int x = 0; x < 12; ++x) {
      ASSERT_EQ(at(p, 64, x, y) & 0xFFFFFF, pattern_texel(x + 4, y - 30) & 0xFFFFFF) << x;
    }
  }
}

TEST(VideoSoftTest, OverlayIsRawAndLastWithinTheFrame) {
  const Pixels p = render_soft(find_scene("overlay"));
  EXPECT_EQ(at(p, 32, 2, 3), 0x123456u);
  EXPECT_EQ(at(p, 32, 9, 6), 0x123456u);
  EXPECT_EQ(at(p, 32, 10, 6), 0x204060u);
  EXPECT_EQ(at(p, 32, 20, 20), 0xFEDCBAu);
  EXPECT_EQ(at(p, 32, 0, 23), 0x010203u);  // clipped fill
  EXPECT_EQ(at(p, 32, 4, 23), 0x204060u);
}

TEST(VideoSoftTest, VectorFilterEqualsScalarArithmetic) {
  std::mt19937 rng(7);
  std::vector<std::uint32_t> texels(5 * 3);
  for (auto& t : texels) t = rng();
  const SoftImage img{texels.data(), 5, 3};
  for (int i = 0; i < 20000; ++i) {
    const int x = static_cast<int>(rng() % 9) - 2, y = static_cast<int>(rng() % 7) - 2;
    const unsigned fx = rng() & 255, fy = rng() & 255;
    ASSERT_EQ(soft_sample_fast(img, x, y, fx, fy), soft_sample_reference(img, x, y, fx, fy));
  }
  // Weight 0 returns the texel itself.
  EXPECT_EQ(soft_sample_reference(img, 1, 1, 0, 0), texels[6]);
}

// Selects a span path for one scope, then the default again.
struct PathScope {
  SoftPath saved = soft_selected_path();
  explicit PathScope(SoftPath p) { EXPECT_TRUE(soft_select_path(p)); }
  ~PathScope() { soft_select_path(saved); }
};

std::vector<SoftPath> available_paths() {
  std::vector<SoftPath> out;
  for (SoftPath p : {SoftPath::Scalar, SoftPath::Sse2, SoftPath::Avx2, SoftPath::Avx512}) {
    if (soft_path_available(p)) out.push_back(p);
  }
  return out;
}

TEST(VideoSoftTest, EveryPathRendersTheConformanceScenesAlike) {
  EXPECT_TRUE(soft_path_available(SoftPath::Scalar));
  for (const Scene& scene : conformance_scenes()) {
    Pixels plain;
    {
      PathScope scope(SoftPath::Scalar);
      plain = render_soft(scene);
    }
    for (SoftPath path : available_paths()) {
      PathScope scope(path);
      ASSERT_EQ(render_soft(scene), plain) << scene.name << " path " << int(path);
    }
  }
}

// Random spans over small random images, drawn by every path onto the same
// colour and depth: positions inside and outside the image, whole-texel
// steps, transparent texels, depth passing and failing, several blends.
// Nothing past the span's end may change.
TEST(VideoSoftTest, EveryPathDrawsRandomSpansLikeThePlainArithmetic) {
  std::mt19937 rng(11);
  const auto pick = [&rng](int n) { return static_cast<int>(rng() % unsigned(n)); };
  const BlendPair pairs[] = {{BlendFactor::SrcAlpha, BlendFactor::InvSrcAlpha},
                             {BlendFactor::SrcAlpha, BlendFactor::One},
                             {BlendFactor::DstColor, BlendFactor::Zero},
                             {BlendFactor::One, BlendFactor::InvSrcColor}};
  constexpr std::int64_t kOne = std::int64_t{1} << 32;
  const std::vector<SoftPath> paths = available_paths();
  for (int round = 0; round < 20000; ++round) {
    // Narrow images, small ones, and ones wide enough for row loads.
    const int w = 1 + pick(round % 4 == 0 ? 3 : (round % 4 == 1 ? 24 : 40)), h = 1 + pick(20);
    std::vector<std::uint32_t> texels(static_cast<std::size_t>(w) * h);
    const int style = pick(3);  // opaque, random, transparent blocks
    for (std::size_t i = 0; i < texels.size(); ++i) {
      std::uint32_t t = rng();
      if (style == 0) t |= 0xFF000000u;
      if (style == 2 && (i / 3) % 2 == 0) t &= 0x00FFFFFFu;
      texels[i] = t;
    }
    SoftSpanParams params{SoftImage{texels.data(), w, h}, static_cast<std::uint16_t>(rng()),
                          pick(4) == 0 ? 255u : unsigned(pick(256)), pairs[pick(4)]};
    if (pick(3) == 0) params.z = 0;
    if (pick(4) == 0) params.repeat = 2 + pick(2);  // the same quad drawn again
    const int count = 1 + pick(40);
    std::int64_t u = std::int64_t(pick((w + 6) * 256) - 3 * 256) << 24;
    std::int64_t v = std::int64_t(pick((h + 6) * 256) - 3 * 256) << 24;
    std::int64_t du = std::int64_t(rng()) - (std::int64_t{1} << 31) + pick(5) * kOne - 2 * kOne;
    std::int64_t dv = std::int64_t(rng()) - (std::int64_t{1} << 31) + pick(3) * kOne - kOne;
    if (pick(2) == 0) du >>= pick(3), dv >>= pick(4);  // magnified: steps below a texel
    switch (pick(4)) {
      case 0:  // 1:1 along a row, on whole texels
        u &= ~(kOne - 1), v &= ~(kOne - 1), du = kOne, dv = 0;
        break;
      case 1:  // whole-texel steps
        u &= ~(kOne - 1), v &= ~(kOne - 1), du = (pick(5) - 2) * kOne, dv = (pick(3) - 1) * kOne;
        break;
      default:
        u |= rng() & 0xFFFFFF, v |= rng() & 0xFFFFFF;  // bits below the weights
    }
    const int total = count + 9;  // the span, then a guard
    std::vector<std::uint32_t> color(total);
    std::vector<std::uint16_t> depth(total);
    for (int i = 0; i < total; ++i) {
      color[i] = rng() & 0xFFFFFFu;
      depth[i] = pick(3) == 0 ? params.z : static_cast<std::uint16_t>(rng());
    }
    std::vector<std::uint32_t> want_color = color;
    std::vector<std::uint16_t> want_depth = depth;
    soft_draw_span(SoftPath::Scalar,
                   SoftSpan{want_color.data(), want_depth.data(), count, u, v, du, dv}, params);
    for (int i = count; i < total; ++i) {
      ASSERT_EQ(want_color[i], color[i]);
      ASSERT_EQ(want_depth[i], depth[i]);
    }
    for (SoftPath path : paths) {
      std::vector<std::uint32_t> c = color;
      std::vector<std::uint16_t> d = depth;
      // Room past the span lets the vector code write back what it read there.
      const int room = count + pick(10);
      soft_draw_span(path, SoftSpan{c.data(), d.data(), count, u, v, du, dv, room}, params);
      ASSERT_EQ(c, want_color) << "path " << int(path) << " round " << round << " room " << room;
      ASSERT_EQ(d, want_depth) << "path " << int(path) << " round " << round;
    }
  }
}

// Every path against soft_lerp8 itself: each opaque pixel of a span is the
// vertical blend of two texels whose channels take every pair of values
// (blue a, green b, red 255 - a against 255 - b) at a range of weights.
TEST(VideoSoftTest, EveryPathFiltersEveryChannelPairExactly) {
  constexpr int kSide = 256;
  std::vector<std::uint32_t> texels(2 * kSide * kSide);
  for (int a = 0; a < kSide; ++a) {
    for (int b = 0; b < kSide; ++b) {
      texels[2 * a * kSide + b] = argb(255, 255 - a, a, a);
      texels[(2 * a + 1) * kSide + b] = argb(255, 255 - b, b, b);
    }
  }
  const SoftSpanParams params{SoftImage{texels.data(), kSide, 2 * kSide},
                              0,
                              255,
                              {BlendFactor::SrcAlpha, BlendFactor::InvSrcAlpha}};
  std::vector<std::uint32_t> color(kSide);
  std::vector<std::uint16_t> depth(kSide);
  for (SoftPath path : available_paths()) {
    for (unsigned f : {0u, 1u, 2u, 3u, 64u, 127u, 128u, 129u, 171u, 200u, 253u, 254u, 255u}) {
      for (int a = 0; a < kSide; ++a) {
        std::fill(depth.begin(), depth.end(), std::uint16_t{0xFFFF});
        const std::int64_t v = (std::int64_t{2 * a} << 32) | (std::int64_t{f} << 24);
        soft_draw_span(path,
                       SoftSpan{color.data(), depth.data(), kSide, 0, v, std::int64_t{1} << 32, 0},
                       params);
        for (int b = 0; b < kSide; ++b) {
          const std::uint32_t c = soft_lerp8(a, b, f), r = soft_lerp8(255 - a, 255 - b, f);
          ASSERT_EQ(color[b], (r << 16) | (c << 8) | c)
              << "path " << int(path) << " a " << a << " b " << b << " f " << f;
        }
      }
    }
  }
}

// The device draws an additive quad drawn again right after in one pass;
// the pixels must be those of separate draws, whatever comes in between.
TEST(VideoSoftTest, RepeatedAdditiveQuadsMatchSeparateDraws) {
  const auto glow = [](int x, int y) { return argb((x * 40 + y * 13) & 255, 200, 90 + y, 30); };
  const PlatQuad far_away = sprite_quad(1, 4, 4, -100, -100);  // draws nothing
  const auto frame = [&](bool separate, int times, bool upload_between) {
    SoftDevice d(32, 24);
    PlatTexture back = make_texture(d.v, 32, 24, pattern_texel);
    PlatTexture t = make_texture(d.v, 8, 8, glow);
    plat_video_begin_frame(d.v);
    plat_video_draw_quad(d.v, with(sprite_quad(back, 32, 24, 0, 0), 2, 1, 255, 0.5f));
    // Rotated and at a depth that only some of it passes.
    const PlatQuad q = with(sprite_quad(t, 8, 8, 5, 4, 2.3f, 1.7f, 25), 5, 7, 230, 0.5f);
    for (int i = 0; i < times; ++i) {
      if (separate && i > 0) plat_video_draw_quad(d.v, far_away);
      plat_video_draw_quad(d.v, q);
    }
    if (upload_between) {  // must not reach the quads already drawn
      const std::vector<std::uint32_t> white(64, 0xFFFFFFFFu);
      plat_texture_upload(d.v, t, 0, 0, 8, 8, white.data(), 8);
    }
    Pixels mid(32 * 24);
    plat_video_read_back(d.v, mid.data());  // within the frame
    plat_video_draw_quad(d.v, with(sprite_quad(back, 32, 24, 0, 0), 5, 7, 40, 0.9f));
    plat_video_end_frame(d.v);
    Pixels out(32 * 24);
    plat_video_read_back(d.v, out.data());
    mid.insert(mid.end(), out.begin(), out.end());
    return mid;
  };
  for (int times : {2, 3, 17}) {
    for (bool upload : {false, true}) {
      const Pixels merged = frame(false, times, upload), apart = frame(true, times, upload);
      EXPECT_EQ(merged, apart) << times << " draws, upload " << upload;
      EXPECT_NE(merged, frame(true, times - 1, upload)) << times;
    }
  }
}

TEST(VideoSoftTest, TexturesUploadClipReadAndDestroy) {
  SoftDevice d(8, 8);
  PlatTexture t = plat_texture_create(d.v, 4, 3);
  ASSERT_NE(t, 0);
  EXPECT_EQ(plat_texture_width(d.v, t), 4);
  EXPECT_EQ(plat_texture_height(d.v, t), 3);
  const std::uint32_t block[4] = {1, 2, 3, 4};
  plat_texture_upload(d.v, t, 3, 2, 2, 2, block, 2);  // only (3, 2) lands
  std::vector<std::uint32_t> out(12, 99);
  plat_texture_read(d.v, t, out.data());
  for (int i = 0; i < 12; ++i) EXPECT_EQ(out[i], i == 11 ? 1u : 0u) << i;
  EXPECT_EQ(plat_texture_create(d.v, 0, 5), 0);
  EXPECT_EQ(plat_texture_create(d.v, 20000, 5), 0);
  plat_texture_destroy(d.v, t);
  EXPECT_EQ(plat_texture_width(d.v, t), 0);
  plat_texture_destroy(d.v, 12345);
  // Drawing with a destroyed or unknown texture draws nothing.
  plat_video_begin_frame(d.v);
  plat_video_draw_quad(d.v, with(sprite_quad(t, 4, 3, 0, 0), 2, 1));
  plat_video_end_frame(d.v);
  std::vector<std::uint32_t> px(64, 7);
  plat_video_read_back(d.v, px.data());
  for (std::uint32_t v : px) EXPECT_EQ(v, 0u);
}

TEST(VideoSoftTest, HeadlessFramesClearAndPresentWithoutWindow) {
  SoftDevice d(4, 4);
  EXPECT_EQ(plat_video_backend(d.v), PlatVideoBackend::Soft);
  plat_video_overlay_fill(d.v, 0, 0, 4, 4, 0x112233);  // outside a frame: at once
  std::vector<std::uint32_t> px(16);
  plat_video_read_back(d.v, px.data());
  EXPECT_EQ(px[5], 0x112233u);
  EXPECT_EQ(plat_video_present(d.v), 0);
  plat_video_read_back(d.v, px.data());
  EXPECT_EQ(px[5], 0x112233u);  // the picture survives the present
  plat_video_begin_frame(d.v);
  plat_video_end_frame(d.v);
  plat_video_read_back(d.v, px.data());
  EXPECT_EQ(px[5], 0u);
  EXPECT_EQ(plat_video_create(PlatVideoBackend::Soft, nullptr, 0, 10), nullptr);
  plat_video_destroy(nullptr);
  EXPECT_EQ(plat_video_present(nullptr), -1);
}

TEST(VideoSoftTest, EnvironmentChoosesTheBackEnd) {
  const char* old = std::getenv("SHOOTER_VIDEO");
  const std::string saved = old ? old : "";
  setenv("SHOOTER_VIDEO", "soft", 1);
  EXPECT_FALSE(plat_video_gl_wanted());
  PlatVideo* v = plat_video_create(PlatVideoBackend::Auto, nullptr, 4, 4);
  EXPECT_EQ(plat_video_backend(v), PlatVideoBackend::Soft);
  plat_video_destroy(v);
  setenv("SHOOTER_VIDEO", "gl", 1);
  EXPECT_TRUE(plat_video_gl_wanted());
  unsetenv("SHOOTER_VIDEO");
  EXPECT_TRUE(plat_video_gl_wanted());
  // Without a window Auto stays headless.
  v = plat_video_create(PlatVideoBackend::Auto, nullptr, 4, 4);
  EXPECT_EQ(plat_video_backend(v), PlatVideoBackend::Soft);
  plat_video_destroy(v);
  if (old) setenv("SHOOTER_VIDEO", saved.c_str(), 1);
}

// Both edge pairs narrowed at once give the bounds of one pair after the
// other: edges on pixel centres and a hair either side, huge and tiny
// slopes, subnormals, infinities, NaN, and the rows of real quads.
TEST(VideoSoftTest, RowSpansOfBothEdgePairsMatchOneAfterTheOther) {
  std::mt19937_64 rng(5);
  const auto unit = [&rng] { return static_cast<double>(rng() >> 11) * 0x1p-53; };
  const double specials[] = {0.0,    -0.0,      1e-300, -1e-300, 4.9e-324, -4.9e-324, 1e300,
                             -1e300, 1e-9,      -1e-9,  1e9,     -1e9,     INFINITY,  -INFINITY,
                             NAN,    0x1p-1022, 1.0,    -1.0,    0.25,     -0.125};
  const auto any = [&](double scale) {
    switch (rng() % 4) {
      case 0:
        return specials[rng() % std::size(specials)];
      case 1:
        return (unit() - 0.5) * scale;
      default:
        return (unit() - 0.5) * std::ldexp(1.0, static_cast<int>(rng() % 120) - 60);
    }
  };
  // b such that the edge value 0 or 1 falls on the centre of pixel x, then
  // moved by a few units in the last place.
  const auto on_centre = [&](double a, int x) {
    double b = -a * (x + 0.5) + (rng() % 2 ? 1.0 : 0.0);
    for (int k = static_cast<int>(rng() % 7) - 3; k != 0; k += k > 0 ? -1 : 1)
      b = std::nextafter(b, k > 0 ? INFINITY : -INFINITY);
    return b;
  };
  int checked = 0, nonempty = 0;
  const auto compare = [&](const SoftQuadSetup& q, int y, int width) {
    int f0 = -7, e0 = -7, f1 = -7, e1 = -7;
    const bool want = soft_row_span_reference(q, y, width, &f0, &e0);
    const bool got = soft_row_span(q, y, width, &f1, &e1);
    ASSERT_EQ(got, want) << q.s.x << " " << q.s.y << " " << q.s.c << " / " << q.t.x << " " << q.t.y
                         << " " << q.t.c << " row " << y;
    if (want) {
      ASSERT_EQ(f1, f0) << q.s.x << " " << q.s.c << " / " << q.t.x << " " << q.t.c;
      ASSERT_EQ(e1, e0) << q.s.x << " " << q.s.c << " / " << q.t.x << " " << q.t.c;
      ++nonempty;
    }
    ++checked;
  };
  for (int round = 0; round < 200000; ++round) {
    SoftQuadSetup q{};
    const int width = 1 + static_cast<int>(rng() % 1100);
    q.s = {any(2.0), rng() % 3 == 0 ? 0.0 : any(2.0), any(40.0)};
    q.t = {any(2.0), rng() % 3 == 0 ? 0.0 : any(2.0), any(40.0)};
    if (rng() % 2 == 0) q.s.c = on_centre(q.s.x, static_cast<int>(rng() % 1200) - 50);
    if (rng() % 2 == 0) q.t.c = on_centre(q.t.x, static_cast<int>(rng() % 1200) - 50);
    compare(q, 0, width);
  }
  for (int round = 0; round < 3000; ++round) {  // rotated, scaled and tiny quads
    SoftDevice d(1, 1);
    const float deg = static_cast<float>(rng() % 3600) / 10.0f;
    const float scale =
        static_cast<float>(std::ldexp(1.0 + unit(), static_cast<int>(rng() % 14) - 6));
    PlatQuad quad = sprite_quad(1, 16, 16, static_cast<float>(unit() * 300 - 20),
                                static_cast<float>(unit() * 200 - 20), scale, scale, deg);
    if (round % 5 == 0) quad.m[4] = std::round(quad.m[4] * 2) / 2;  // corners on centres
    SoftQuadSetup q{};
    if (!soft_quad_prepare(quad, 240, &q)) continue;
    for (int y = q.y_begin; y < q.y_end; ++y) compare(q, y, 320);
  }
  EXPECT_GT(nonempty, checked / 20);  // the cases reach spans, not only empty rows
}

TEST(VideoSoftTest, DegenerateAndHugeQuadsAreSafe) {
  SoftDevice d(16, 16);
  PlatTexture t = solid_texture(d.v, 4, 4, 0xFFFFFFFFu);
  plat_video_begin_frame(d.v);
  PlatQuad zero = sprite_quad(t, 4, 4, 2, 2, 0, 1);
  plat_video_draw_quad(d.v, zero);
  PlatQuad nan = sprite_quad(t, 4, 4, 2, 2);
  nan.m[4] = std::nanf("");
  plat_video_draw_quad(d.v, nan);
  PlatQuad far = sprite_quad(t, 4, 4, 1e9f, -1e9f, 1e6f, 1e6f, 30);
  plat_video_draw_quad(d.v, far);
  PlatQuad huge = sprite_quad(t, 4, 4, -5e5f, -5e5f, 1e6f, 1e6f, 0);
  huge.src_right = 1e30f;
  plat_video_draw_quad(d.v, huge);
  plat_video_draw_quad(d.v, with(sprite_quad(t, 4, 4, -1e4f, -1e4f, 1e4f, 1e4f, 45), 2, 1));
  plat_video_end_frame(d.v);
  std::vector<std::uint32_t> px(256);
  plat_video_read_back(d.v, px.data());
  EXPECT_EQ(px[0], 0xFFFFFFu);  // only the last quad, which covers everything
}

}  // namespace
