// Device-conformance scenes shared by the soft and gl tests: small frames
// that exercise placement, sampling, blending, depth, alpha test and the
// overlay. The soft tests check them against exact pixels; the gl tests
// check that gl matches soft.
#pragma once
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/video.h"

namespace video_test {

using Pixels = std::vector<std::uint32_t>;

inline std::uint32_t argb(unsigned a, unsigned r, unsigned g, unsigned b) {
  return (a << 24) | (r << 16) | (g << 8) | b;
}

// A texture filled by fn(x, y).
inline PlatTexture make_texture(PlatVideo* v, int w, int h,
                                const std::function<std::uint32_t(int, int)>& fn) {
  PlatTexture t = plat_texture_create(v, w, h);
  std::vector<std::uint32_t> texels(static_cast<std::size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) texels[static_cast<std::size_t>(y) * w + x] = fn(x, y);
  }
  plat_texture_upload(v, t, 0, 0, w, h, texels.data(), w);
  return t;
}

inline PlatTexture solid_texture(PlatVideo* v, int w, int h, std::uint32_t texel) {
  return make_texture(v, w, h, [texel](int, int) { return texel; });
}

// The quad a sprite of w × h drawn at (x, y) gives: scaling and rotation
// about the centre, top-left corner at (x, y) when unrotated.
inline PlatQuad sprite_quad(PlatTexture t, int w, int h, float x, float y, float scale_x = 1,
                            float scale_y = 1, float degrees = 0) {
  PlatQuad q{};
  q.texture = t;
  q.src_right = static_cast<float>(w);
  q.src_bottom = static_cast<float>(h);
  q.centre_x = w / 2.0f;
  q.centre_y = h / 2.0f;
  const float a = degrees * 0.017453292f;
  const float c = std::cos(a), s = std::sin(a);
  q.m[0] = scale_x * c;
  q.m[1] = scale_x * s;
  q.m[2] = -scale_y * s;
  q.m[3] = scale_y * c;
  q.m[4] = x + q.centre_x * scale_x;
  q.m[5] = y + q.centre_y * scale_y;
  q.alpha = 255;
  q.src_blend = kBlendSrcAlpha;
  q.dst_blend = kBlendInvSrcAlpha;
  return q;
}

inline PlatQuad with(PlatQuad q, int src, int dst, std::uint8_t alpha = 255, float depth = 0) {
  q.src_blend = src;
  q.dst_blend = dst;
  q.alpha = alpha;
  q.depth = depth;
  return q;
}

// A texture whose every texel differs: enough to see any misplacement.
inline std::uint32_t pattern_texel(int x, int y) {
  return argb(255, (x * 37 + y * 11) & 255, (x * 5 + y * 71) & 255, (x * 13 ^ y * 29) & 255);
}

struct Scene {
  std::string name;
  int width, height;
  std::function<void(PlatVideo*)> draw;  // one frame, begun and ended
};

// Blending: every pair of factors over a few source and destination colours.
inline constexpr std::uint32_t kBlendSources[] = {0xFFC86432u, 0x80C86432u, 0x40FFFFFFu,
                                                  0x01102030u, 0xC0000000u};
inline constexpr std::uint32_t kBlendDests[] = {0x000A141Eu, 0x00F0E0D0u, 0x00808080u};
inline constexpr std::uint8_t kBlendAlphas[] = {255, 200, 37};

// Each 2 × 2 cell shows one (source colour, alpha, destination) combination.
inline void draw_blend_grid(PlatVideo* v, int src_blend, int dst_blend) {
  int cell = 0;
  for (std::uint32_t d : kBlendDests) {
    PlatTexture bg = solid_texture(v, 2, 2, 0xFF000000u | d);
    PlatTexture fg[std::size(kBlendSources)];
    for (std::size_t i = 0; i < std::size(kBlendSources); ++i) {
      fg[i] = solid_texture(v, 2, 2, kBlendSources[i]);
    }
    for (std::size_t i = 0; i < std::size(kBlendSources); ++i) {
      for (std::uint8_t a : kBlendAlphas) {
        const int column = cell % 8, row = cell / 8;  // whole cells
        const float x = static_cast<float>(column * 2), y = static_cast<float>(row * 2);
        plat_video_draw_quad(v, with(sprite_quad(bg, 2, 2, x, y), kBlendOne, kBlendZero));
        plat_video_draw_quad(v, with(sprite_quad(fg[i], 2, 2, x, y), src_blend, dst_blend, a));
        ++cell;
      }
    }
  }
}

inline std::vector<Scene> conformance_scenes() {
  std::vector<Scene> s;
  s.push_back({"one_to_one", 48, 32, [](PlatVideo* v) {
                 PlatTexture t = make_texture(v, 16, 8, pattern_texel);
                 plat_video_begin_frame(v);
                 plat_video_draw_quad(v, sprite_quad(t, 16, 8, 5, 7));
                 plat_video_draw_quad(v,
                                      with(sprite_quad(t, 16, 8, 24, 20), kBlendOne, kBlendZero));
                 plat_video_end_frame(v);
               }});
  const int pairs[][2] = {{5, 6},  {5, 7},  {2, 2},  {2, 1}, {1, 3}, {9, 1},  {3, 4}, {10, 2},
                          {12, 2}, {13, 1}, {11, 2}, {8, 5}, {4, 9}, {6, 10}, {5, 13}};
  for (const auto& p : pairs) {
    const int src = p[0], dst = p[1];
    s.push_back({"blend_" + std::to_string(src) + "_" + std::to_string(dst), 16, 12,
                 [src, dst](PlatVideo* v) {
                   plat_video_begin_frame(v);
                   draw_blend_grid(v, src, dst);
                   plat_video_end_frame(v);
                 }});
  }
  s.push_back({"depth_layers", 40, 40, [](PlatVideo* v) {
                 PlatTexture red = solid_texture(v, 16, 16, 0xFFFF0000u);
                 PlatTexture green = solid_texture(v, 16, 16, 0xFF00FF00u);
                 PlatTexture blue = solid_texture(v, 16, 16, 0xFF0000FFu);
                 plat_video_begin_frame(v);
                 plat_video_draw_quad(v, with(sprite_quad(red, 16, 16, 4, 4), 5, 6, 255, 0.5f));
                 plat_video_draw_quad(v, with(sprite_quad(green, 16, 16, 12, 12), 5, 6, 255, 1.0f));
                 plat_video_draw_quad(v, with(sprite_quad(blue, 16, 16, 20, 20), 5, 6, 255, 0.2f));
                 plat_video_draw_quad(v, with(sprite_quad(green, 16, 16, 0, 24), 5, 6, 255, 1.5f));
                 plat_video_end_frame(v);
               }});
  s.push_back({"alpha_holes", 32, 32, [](PlatVideo* v) {
                 // Transparent texels, and texels whose alpha the quad's alpha
                 // rounds to 0, write no depth: the far quad shows through.
                 PlatTexture near = make_texture(v, 16, 16, [](int x, int y) {
                   if ((x / 4 + y / 4) % 2 == 0) return argb(0, 255, 255, 255);
                   return x < 8 ? argb(1, 255, 255, 0) : argb(2, 255, 255, 0);
                 });
                 PlatTexture far = solid_texture(v, 16, 16, 0xFF3040FFu);
                 plat_video_begin_frame(v);
                 plat_video_draw_quad(v, with(sprite_quad(near, 16, 16, 8, 8), 5, 6, 100, 0.1f));
                 plat_video_draw_quad(v, with(sprite_quad(far, 16, 16, 8, 8), 2, 1, 255, 0.9f));
                 plat_video_end_frame(v);
               }});
  s.push_back({"rotation", 64, 64, [](PlatVideo* v) {
                 PlatTexture t = make_texture(v, 24, 16, pattern_texel);
                 plat_video_begin_frame(v);
                 plat_video_draw_quad(v, sprite_quad(t, 24, 16, 8, 10, 1, 1, 17));
                 plat_video_draw_quad(v, sprite_quad(t, 24, 16, 30, 36, 1.3f, 0.8f, -63));
                 PlatQuad flipped = sprite_quad(t, 24, 16, 36, 4);
                 flipped.m[0] = -1, flipped.m[3] = -1;
                 flipped.m[4] = 36 + 12, flipped.m[5] = 4 + 8;
                 plat_video_draw_quad(v, with(flipped, 2, 1));
                 plat_video_end_frame(v);
               }});
  s.push_back({"scale", 48, 40, [](PlatVideo* v) {
                 PlatTexture ramp = make_texture(v, 2, 1, [](int x, int) {
                   return x == 0 ? argb(255, 0, 0, 0) : argb(255, 255, 255, 255);
                 });
                 PlatTexture t = make_texture(v, 8, 8, [](int x, int y) {
                   return pattern_texel(x, y) | 0x00404040u;  // never black
                 });
                 plat_video_begin_frame(v);
                 plat_video_draw_quad(v, with(sprite_quad(ramp, 2, 1, 2, 2, 2, 2), 2, 1));
                 plat_video_draw_quad(v, sprite_quad(t, 8, 8, 10, 4, 1.5f, 1.5f));
                 plat_video_draw_quad(v, sprite_quad(t, 8, 8, 2, 20, 2.75f, 0.5f));
                 plat_video_draw_quad(v, sprite_quad(t, 8, 8, 30, 24, 0.6f, 1.7f));
                 plat_video_end_frame(v);
               }});
  s.push_back({"clamped_source", 24, 24, [](PlatVideo* v) {
                 PlatTexture t = make_texture(v, 4, 4, pattern_texel);
                 PlatQuad q = sprite_quad(t, 8, 8, 4, 4);
                 q.src_left = -2, q.src_top = -2, q.src_right = 6, q.src_bottom = 6;
                 plat_video_begin_frame(v);
                 plat_video_draw_quad(v, with(q, 2, 1));
                 plat_video_end_frame(v);
               }});
  s.push_back({"edges_and_large", 64, 48, [](PlatVideo* v) {
                 // Quads reaching over the buffer's edges, centred inside and
                 // outside it, and one larger than any point a driver draws.
                 PlatTexture t = make_texture(v, 16, 16, pattern_texel);
                 PlatTexture wide = make_texture(v, 300, 20, [](int x, int y) {
                   return argb(200, x & 255, y * 12, 255 - (x & 255));
                 });
                 plat_video_begin_frame(v);
                 plat_video_draw_quad(v, with(sprite_quad(wide, 300, 20, -120, 14, 1, 1, 5), 5, 7));
                 plat_video_draw_quad(v, sprite_quad(t, 16, 16, -10, 5, 1, 1, 10));
                 plat_video_draw_quad(v, sprite_quad(t, 16, 16, 58, 20, 1, 1, -20));
                 plat_video_draw_quad(v, sprite_quad(t, 16, 16, -4, 30));
                 plat_video_draw_quad(v, sprite_quad(t, 16, 16, 30, -6, 1.5f, 1.5f));
                 plat_video_end_frame(v);
               }});
  s.push_back({"overlay", 32, 24, [](PlatVideo* v) {
                 PlatTexture t = solid_texture(v, 32, 24, 0xFF204060u);
                 plat_video_begin_frame(v);
                 plat_video_overlay_fill(v, 2, 3, 10, 7, 0xAB123456u);
                 plat_video_overlay_pixel(v, 20, 20, 0x00FEDCBAu);
                 plat_video_overlay_fill(v, -5, 18, 4, 40, 0x00010203u);
                 plat_video_draw_quad(v, sprite_quad(t, 32, 24, 0, 0));  // drawn under the overlay
                 plat_video_end_frame(v);
               }});
  return s;
}

inline Pixels render(PlatVideo* v, const Scene& scene) {
  scene.draw(v);
  Pixels out(static_cast<std::size_t>(scene.width) * scene.height);
  plat_video_read_back(v, out.data());
  return out;
}

}  // namespace video_test
