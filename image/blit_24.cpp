// Blits of 24-bit (blue, green, red) sources onto 24- and 32-bit targets in
// every drawing mode. The source has no alpha: the constant alpha argument
// weighs every pixel, and an opaque 24-bit copy moves whole rows.
#include <cstring>

#include "image/raster_internal.h"

namespace {

using RowOp = void (*)(std::uint8_t* __restrict d, const std::uint8_t* __restrict s, std::int32_t n,
                       std::int32_t alpha);

void row_xor(std::uint8_t* __restrict d, const std::uint8_t* __restrict s, std::int32_t n,
             std::int32_t step) {
  for (std::int32_t i = 0; i < n; ++i, d += step, s += 3) {
    d[0] ^= s[0];
    d[1] ^= s[1];
    d[2] ^= s[2];
  }
}

void row_xor32(std::uint8_t* __restrict d, const std::uint8_t* __restrict s, std::int32_t n,
               std::int32_t) {
  row_xor(d, s, n, 4);
}

void row_xor24(std::uint8_t* __restrict d, const std::uint8_t* __restrict s, std::int32_t n,
               std::int32_t) {
  row_xor(d, s, n, 3);
}

void row_colour_alpha(std::uint8_t* __restrict d, const std::uint8_t* __restrict s, std::int32_t n,
                      std::int32_t alpha) {
  for (std::int32_t i = 0; i < n; ++i, d += 4, s += 3) {
    std::memcpy(d, s, 3);
    d[3] = static_cast<std::uint8_t>(alpha);
  }
}

void row_alpha_only(std::uint8_t* __restrict d, const std::uint8_t* __restrict, std::int32_t n,
                    std::int32_t alpha) {
  for (std::int32_t i = 0; i < n; ++i, d += 4) d[3] = static_cast<std::uint8_t>(alpha);
}

void row_copy_to32(std::uint8_t* __restrict d, const std::uint8_t* __restrict s, std::int32_t n,
                   std::int32_t) {
  for (std::int32_t i = 0; i < n; ++i, d += 4, s += 3) std::memcpy(d, s, 3);
}

template <bool update_alpha>
void row_over(std::uint8_t* __restrict d, const std::uint8_t* __restrict s, std::int32_t n,
              std::int32_t alpha) {
  for (std::int32_t i = 0; i < n; ++i, d += 4, s += 3) draw_over(d, s, alpha, update_alpha);
}

void row_copy24(std::uint8_t* __restrict d, const std::uint8_t* __restrict s, std::int32_t n,
                std::int32_t) {
  std::memcpy(d, s, static_cast<std::size_t>(n) * 3);
}

void row_mix24(std::uint8_t* __restrict d, const std::uint8_t* __restrict s, std::int32_t n,
               std::int32_t alpha) {
  for (std::int32_t i = 0; i < n; ++i, d += 3, s += 3) draw_mix(d, s, alpha);
}

RowOp choose32(std::uint32_t m, std::int32_t alpha) {
  if (m & kDrawModeXor) return row_xor32;
  if (m & kDrawModeAllChannels) return row_colour_alpha;
  if (m & kDrawModeAlphaOnly) return row_alpha_only;
  if (m & kDrawModeAlphaBlend) return row_over<true>;
  if (m & kDrawModeAlphaClip) return row_over<false>;
  if (alpha == 255) return row_copy_to32;
  if (alpha == 0) return nullptr;
  return row_over<true>;
}

RowOp choose24(std::uint32_t m, std::int32_t alpha) {
  if (m & kDrawModeXor) return row_xor24;
  if (m & kDrawModeAlphaOnly) return nullptr;
  // Alpha blend, alpha clip and the default mode agree on 24-bit targets.
  if (alpha == 255) return row_copy24;
  if (alpha == 0) return nullptr;
  return row_mix24;
}

}  // namespace

void draw_blit24(DrawContext* c, const std::uint8_t* source, std::int32_t source_pitch,
                 std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                 std::int32_t alpha, std::int32_t) {
  DrawBlitRows rows;
  if (!draw_blit_clip(c, source, source_pitch, 3, x, y, width, height, &rows)) return;
  if (c->mode & kDrawModeCustom) {
    draw_blit_custom(c, rows, 3, alpha);
    return;
  }
  const RowOp op = c->bytes_per_pixel == 4 ? choose32(c->mode, alpha) : choose24(c->mode, alpha);
  if (!op) return;
  const std::uint8_t* s = rows.source;
  std::uint8_t* d = rows.target;
  for (std::int32_t i = 0; i < rows.height; ++i, s += rows.source_pitch, d += rows.target_pitch) {
    op(d, s, rows.width, alpha);
  }
}
