// Clipping of an image blit against the target, and the custom-mode blit;
// shared by the 32- and 24-bit source blits. Rows are counted from the
// bottom on both sides, as they lie in memory.
#include <cstring>

#include "image/raster_internal.h"

bool draw_blit_clip(const DrawContext* c, const std::uint8_t* source, std::int32_t source_pitch,
                    std::int32_t source_bytes, std::int32_t x0, std::int32_t y0, std::int32_t width,
                    std::int32_t height, DrawBlitRows* rows) {
  if (!source || !c->pixels) return false;
  std::int64_t x = x0, w = width, h = height;
  std::int64_t r = std::int64_t{c->height} - y0 - height;  // target row of the source's bottom row
  std::int64_t skip_x = 0, skip_rows = 0;
  if (x < 0) {
    skip_x = -x;
    w += x;
    x = 0;
  }
  if (r < 0) {
    skip_rows = -r;
    h += r;
    r = 0;
  }
  if (w > c->width - x) w = c->width - x;
  if (h > c->height - r) h = c->height - r;
  if (w < 1 || h < 1) return false;

  rows->source = source + skip_rows * source_pitch + skip_x * source_bytes;
  rows->source_pitch = source_pitch;
  rows->target = c->pixels + r * c->pitch + x * c->bytes_per_pixel;
  rows->target_pitch = c->pitch;
  rows->width = static_cast<std::int32_t>(w);
  rows->height = static_cast<std::int32_t>(h);

  // Drawing an image onto itself: read from a copy of the rows used.
  const auto address = [](const std::uint8_t* p) { return reinterpret_cast<std::uintptr_t>(p); };
  const std::uintptr_t src_begin = address(rows->source);
  const std::uintptr_t src_end = src_begin + (h - 1) * source_pitch + w * source_bytes;
  const std::uintptr_t dst_begin = address(c->pixels);
  const std::uintptr_t dst_end = dst_begin + std::uintptr_t(c->height) * c->pitch;
  if (src_begin < dst_end && src_end > dst_begin) {
    const std::size_t row_bytes = static_cast<std::size_t>(w * source_bytes);
    rows->copy.resize(row_bytes * static_cast<std::size_t>(h));
    for (std::int64_t i = 0; i < h; ++i) {
      std::memcpy(rows->copy.data() + i * row_bytes, rows->source + i * source_pitch, row_bytes);
    }
    rows->source = rows->copy.data();
    rows->source_pitch = static_cast<std::int32_t>(row_bytes);
  }
  return true;
}

void draw_blit_custom(DrawContext* c, const DrawBlitRows& rows, std::int32_t source_bytes,
                      std::int32_t alpha) {
  for (std::int32_t i = 0; i < rows.height; ++i) {
    const std::uint8_t* s = rows.source + std::intptr_t{i} * rows.source_pitch;
    std::uint8_t* d = rows.target + std::intptr_t{i} * rows.target_pitch;
    for (std::int32_t j = 0; j < rows.width; ++j, s += source_bytes, d += c->bytes_per_pixel) {
      const std::uint32_t a = source_bytes == 4 ? s[3] : static_cast<std::uint32_t>(alpha);
      const std::uint32_t colour = s[2] | (s[1] << 8) | (s[0] << 16) | (a << 24);
      const std::uint32_t out = c->custom ? c->custom(c, colour) : colour;
      d[0] = static_cast<std::uint8_t>(out >> 16);
      d[1] = static_cast<std::uint8_t>(out >> 8);
      d[2] = static_cast<std::uint8_t>(out);
    }
  }
}
