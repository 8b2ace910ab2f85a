// Blits of 32-bit (blue, green, red, alpha) sources onto 24- and 32-bit
// targets in every drawing mode. The default copy keeps the target's alpha
// and runs eight pixels per step.
#include <cstring>

#include "image/raster_internal.h"

namespace {

using RowOp = void (*)(std::uint8_t* __restrict d, const std::uint8_t* __restrict s, std::int32_t n,
                       std::int32_t alpha);

void run_rows(const DrawBlitRows& rows, std::int32_t alpha, RowOp op) {
  const std::uint8_t* s = rows.source;
  std::uint8_t* d = rows.target;
  for (std::int32_t i = 0; i < rows.height; ++i, s += rows.source_pitch, d += rows.target_pitch) {
    op(d, s, rows.width, alpha);
  }
}

// Eight pixels at a time: one 32-byte register with AVX2, two 16-byte ones
// otherwise; the processor's best version is chosen at load time.
using Pixels8 = std::uint32_t __attribute__((vector_size(32)));

__attribute__((target_clones("avx2", "default"))) void row_copy_colour(
    std::uint8_t* __restrict d, const std::uint8_t* __restrict s, std::int32_t n, std::int32_t) {
  constexpr std::uint32_t c = 0x00FFFFFFu;
  constexpr Pixels8 kColour = {c, c, c, c, c, c, c, c};
  std::int32_t i = 0;
  for (; i + 8 <= n; i += 8) {
    Pixels8 a, b;
    std::memcpy(&a, s + 4 * i, 32);
    std::memcpy(&b, d + 4 * i, 32);
    b = (b & ~kColour) | (a & kColour);
    std::memcpy(d + 4 * i, &b, 32);
  }
  for (; i < n; ++i) std::memcpy(d + 4 * i, s + 4 * i, 3);
}

void row_copy_whole(std::uint8_t* __restrict d, const std::uint8_t* __restrict s, std::int32_t n,
                    std::int32_t) {
  std::memcpy(d, s, static_cast<std::size_t>(n) * 4);
}

void row_xor32(std::uint8_t* __restrict d, const std::uint8_t* __restrict s, std::int32_t n,
               std::int32_t) {
  for (std::int32_t i = 0; i < n; ++i, d += 4, s += 4) {
    d[0] ^= s[0];
    d[1] ^= s[1];
    d[2] ^= s[2];
  }
}

void row_xor24(std::uint8_t* __restrict d, const std::uint8_t* __restrict s, std::int32_t n,
               std::int32_t) {
  for (std::int32_t i = 0; i < n; ++i, d += 3, s += 4) {
    d[0] ^= s[0];
    d[1] ^= s[1];
    d[2] ^= s[2];
  }
}

void row_all_channels(std::uint8_t* __restrict d, const std::uint8_t* __restrict s, std::int32_t n,
                      std::int32_t alpha) {
  for (std::int32_t i = 0; i < n; ++i, d += 4, s += 4) {
    std::memcpy(d, s, 3);
    d[3] = static_cast<std::uint8_t>(alpha * s[3] / 255);
  }
}

void row_alpha_only(std::uint8_t* __restrict d, const std::uint8_t* __restrict s, std::int32_t n,
                    std::int32_t alpha) {
  for (std::int32_t i = 0; i < n; ++i, d += 4, s += 4) {
    d[3] = static_cast<std::uint8_t>(draw_weight(s[3], alpha));
  }
}

template <bool update_alpha>
void row_over(std::uint8_t* __restrict d, const std::uint8_t* __restrict s, std::int32_t n,
              std::int32_t alpha) {
  for (std::int32_t i = 0; i < n; ++i, d += 4, s += 4) {
    draw_over(d, s, draw_weight(s[3], alpha), update_alpha);
  }
}

void row_mix24(std::uint8_t* __restrict d, const std::uint8_t* __restrict s, std::int32_t n,
               std::int32_t alpha) {
  for (std::int32_t i = 0; i < n; ++i, d += 3, s += 4) draw_mix(d, s, draw_weight(s[3], alpha));
}

void row_copy_to24(std::uint8_t* __restrict d, const std::uint8_t* __restrict s, std::int32_t n,
                   std::int32_t) {
  for (std::int32_t i = 0; i < n; ++i, d += 3, s += 4) std::memcpy(d, s, 3);
}

RowOp choose32(std::uint32_t m, std::int32_t alpha, std::int32_t flag) {
  if (m & kDrawModeXor) return row_xor32;
  if (m & kDrawModeAllChannels) return alpha == 255 ? row_copy_whole : row_all_channels;
  if (m & kDrawModeAlphaOnly) return row_alpha_only;
  if (m & kDrawModeAlphaBlend) return row_over<true>;
  if (m & kDrawModeAlphaClip) return row_over<false>;
  return flag ? row_over<true> : row_copy_colour;
}

RowOp choose24(std::uint32_t m, std::int32_t flag) {
  if (m & kDrawModeXor) return row_xor24;
  if (m & kDrawModeAlphaOnly) return nullptr;
  if (m & (kDrawModeAlphaBlend | kDrawModeAlphaClip)) return row_mix24;
  return flag ? row_mix24 : row_copy_to24;
}

}  // namespace

void draw_blit32(DrawContext* c, const std::uint8_t* source, std::int32_t source_pitch,
                 std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                 std::int32_t alpha, std::int32_t flag) {
  DrawBlitRows rows;
  if (!draw_blit_clip(c, source, source_pitch, 4, x, y, width, height, &rows)) return;
  if (c->mode & kDrawModeCustom) {
    draw_blit_custom(c, rows, 4, alpha);
    return;
  }
  const RowOp op =
      c->bytes_per_pixel == 4 ? choose32(c->mode, alpha, flag) : choose24(c->mode, flag);
  if (op) run_rows(rows, alpha, op);
}
