// Internal interface between the drawing front end and the rasterizers:
// context set-up, the primitives of the table, and the image blits.
#pragma once
#include <cstdint>
#include <vector>

#include "image/bitmap.h"
#include "image/draw.h"

// Pixel (x, y), y from the top, of the context's target.
inline std::uint8_t* draw_pixel_at(DrawContext* c, std::int32_t x, std::int32_t y) {
  return c->pixels + static_cast<std::intptr_t>(x) * c->bytes_per_pixel +
         static_cast<std::intptr_t>(c->height - y - 1) * c->pitch;
}

// Allocates a zeroed context from the main heap for format flags 0x40 or
// 0x10, fills the table and makes it the current phase. Null when out of memory.
DrawContext* draw_context_alloc(std::uint32_t format);
// Frees a context and clears the current phase.
void draw_context_free(DrawContext* c);

// Primitives (slots 2 and 19) and the clipped runs under them.
void draw_op_box(DrawContext* c, std::int32_t x, std::int32_t y, std::int32_t width,
                 std::int32_t height);
void draw_op_line(DrawContext* c, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                  std::int32_t y2);
void draw_run_h(DrawContext* c, std::int64_t x, std::int64_t y, std::int64_t length);
void draw_run_v(DrawContext* c, std::int64_t x, std::int64_t y, std::int64_t length);

// Image drawing (slots 10 to 12) and the common path under them.
void draw_op_image(DrawContext* c, std::intptr_t image, std::int32_t x, std::int32_t y);
void draw_op_image_size(DrawContext* c, std::intptr_t image, std::int32_t x, std::int32_t y,
                        std::int32_t width, std::int32_t height);
void draw_op_image_alpha(DrawContext* c, std::intptr_t image, std::int32_t x, std::int32_t y,
                         std::int32_t alpha);
void draw_image_common(DrawContext* c, std::intptr_t image, std::int32_t x, std::int32_t y,
                       std::int32_t width, std::int32_t height, std::int32_t alpha,
                       std::int32_t flag);

// Converted copies: a bitmap of the requested size (or the source's size when
// -1) at 24 bits for sources of up to 24 bits, else 32; null on failure. The
// caller destroys it with img_bitmap_destroy.
ImgBitmap* draw_converted_copy(const ImgBitmap* source, std::int32_t width, std::int32_t height);
// The 32-bit picture of an icon with its mask as alpha; sets *owned when the
// result is a new bitmap the caller must destroy. Null when the icon has no
// colour picture.
ImgBitmap* draw_icon_picture(const ImgIcon* icon, bool* owned);

// The part of a source that lands on the target after clipping: rows bottom
// first on both sides. A source that shares memory with the target is read
// from a private copy, so every rule sees the original pixels.
struct DrawBlitRows {
  const std::uint8_t* source;
  std::int32_t source_pitch;
  std::uint8_t* target;
  std::int32_t target_pitch;
  std::int32_t width;
  std::int32_t height;
  std::vector<std::uint8_t> copy;
};
// False when nothing of the source lands on the target.
bool draw_blit_clip(const DrawContext* c, const std::uint8_t* source, std::int32_t source_pitch,
                    std::int32_t source_bytes, std::int32_t x, std::int32_t y, std::int32_t width,
                    std::int32_t height, DrawBlitRows* rows);

// Custom mode: each source colour through the custom function, written as
// in the default mode.
void draw_blit_custom(DrawContext* c, const DrawBlitRows& rows, std::int32_t source_bytes,
                      std::int32_t alpha);

// Source weight: the pixel's alpha scaled by the constant alpha.
inline std::int32_t draw_weight(std::int32_t source_alpha, std::int32_t alpha) {
  return alpha == 255 ? source_alpha : alpha * source_alpha / 255;
}

// Source-over of one 4-byte pixel with weight w; Da is updated unless clipping.
inline void draw_over(std::uint8_t* d, const std::uint8_t* s, std::int32_t w, bool update_alpha) {
  if (w == 0) return;
  const std::int32_t da = d[3];
  if (da == 0) {
    d[0] = s[0];
    d[1] = s[1];
    d[2] = s[2];
  } else {
    const std::int32_t keep = (255 - w) * da;
    const std::int32_t den = w * 255 + keep;
    d[2] = static_cast<std::uint8_t>((w * s[2] * 255 + keep * d[2]) / den);
    d[1] = static_cast<std::uint8_t>((w * s[1] * 255 + keep * d[1]) / den);
    d[0] = static_cast<std::uint8_t>((w * s[0] * 255 + keep * d[0]) / den);
  }
  if (update_alpha) d[3] = static_cast<std::uint8_t>((w * 255 + (255 - w) * da) / 255);
}

// 24-bit blend of one pixel's blue, green, red with weight w.
inline void draw_mix(std::uint8_t* d, const std::uint8_t* s, std::int32_t w) {
  d[2] = static_cast<std::uint8_t>((s[2] * w + d[2] * (255 - w)) / 255);
  d[1] = static_cast<std::uint8_t>((s[1] * w + d[1] * (255 - w)) / 255);
  d[0] = static_cast<std::uint8_t>((s[0] * w + d[0] * (255 - w)) / 255);
}

// Image blits: source pixels bottom row first, drawn with its top-left corner
// at (x, y), clipped to the target.
void draw_blit32(DrawContext* c, const std::uint8_t* source, std::int32_t source_pitch,
                 std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                 std::int32_t alpha, std::int32_t flag);
void draw_blit24(DrawContext* c, const std::uint8_t* source, std::int32_t source_pitch,
                 std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                 std::int32_t alpha, std::int32_t flag);

// Chooses the two plots and the two spans for the context's mode and depth.
void draw_choose_pixel_ops(DrawContext* c);

// Default gradient and custom functions.
float draw_default_gradient(DrawContext* c, std::int32_t x, std::int32_t y);
std::uint32_t draw_default_custom(DrawContext* c, std::uint32_t colour);
// Read-pixel operations chosen by the mode.
std::uint32_t draw_read_pixel_rgb(DrawContext* c, std::int32_t x, std::int32_t y);
std::uint32_t draw_read_pixel_rgba(DrawContext* c, std::int32_t x, std::int32_t y);
