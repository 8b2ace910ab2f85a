// Pictures of one quad drawn by the soft device's rasterizer into the
// caller's memory (see video_picture.h). The alpha the blend leaves is
// found by drawing the quad again over a texture whose colour is its alpha:
// that pass leaves in each channel what the blend leaves in alpha.
#include "platform/video_picture.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "platform/video_soft_raster_internal.h"

namespace {
constexpr std::uint16_t kFarDepth = 0xFFFF;

// Scratch kept between calls; each thread has its own.
thread_local std::vector<std::uint32_t> g_alpha_texels;
thread_local std::vector<std::uint32_t> g_alpha_colour;
thread_local std::vector<std::uint16_t> g_depth;

// Onto transparent black with a fresh depth buffer.
void draw_once(std::uint32_t* colour, int width, int height, const SoftImage& image,
               const PlatQuad& quad) {
  const std::size_t count = static_cast<std::size_t>(width) * height;
  std::fill(colour, colour + count, 0u);
  g_depth.assign(count, kFarDepth);
  soft_raster_quad(SoftSurface{colour, g_depth.data(), width, height}, image, quad);
}
}  // namespace

void plat_video_picture_draw(std::uint32_t* out, int width, int height, const PlatQuad& quad,
                             const std::uint32_t* texels, int texels_width, int texels_height) {
  if (out == nullptr || width <= 0 || height <= 0) return;
  const std::size_t count = static_cast<std::size_t>(width) * height;
  if (texels == nullptr || texels_width <= 0 || texels_height <= 0 || !plat_quad_drawable(quad)) {
    std::fill(out, out + count, 0u);
    return;
  }
  draw_once(out, width, height, SoftImage{texels, texels_width, texels_height}, quad);
  const std::size_t size = static_cast<std::size_t>(texels_width) * texels_height;
  g_alpha_texels.resize(size);
  for (std::size_t i = 0; i < size; ++i) {
    const std::uint32_t a = texels[i] >> 24;
    g_alpha_texels[i] = a << 24 | a << 16 | a << 8 | a;
  }
  g_alpha_colour.resize(count);
  draw_once(g_alpha_colour.data(), width, height,
            SoftImage{g_alpha_texels.data(), texels_width, texels_height}, quad);
  for (std::size_t i = 0; i < count; ++i) out[i] |= (g_alpha_colour[i] & 0xFF) << 24;
}
