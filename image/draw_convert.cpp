// Converted copies of bitmaps (other depths, other sizes) and the 32-bit
// picture of an icon. Sources of every depth are read through one pixel
// reader; palette entries and 5-5-5 pixels widen to 8 bits a channel.
#include "image/image.h"
#include "image/raster_internal.h"

namespace {

// Pixel x of bottom-up row `row` as 0xAARRGGBB (blue in the low byte).
std::uint32_t read_pixel(const ImgBitmap* b, std::int32_t x, std::int32_t row) {
  const std::uint8_t* line = b->pixels + static_cast<std::intptr_t>(row) * b->pitch;
  const auto indexed = [b](std::uint32_t index) -> std::uint32_t {
    if (b->palette_count == 0 && b->bits_per_pixel == 1) return index ? 0xFFFFFFu : 0u;
    return index < static_cast<std::uint32_t>(b->palette_count) && index < 256
               ? b->palette[index] & 0xFFFFFFu
               : 0u;
  };
  switch (b->bits_per_pixel) {
    case 1:
      return indexed((line[x >> 3] >> (7 - (x & 7))) & 1u);
    case 4:
      return indexed((line[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xFu);
    case 8:
      return indexed(line[x]);
    case 16: {
      const std::uint32_t v = line[2 * x] | (line[2 * x + 1] << 8);
      const auto widen = [](std::uint32_t c5) { return (c5 << 3) | (c5 >> 2); };
      return (widen((v >> 10) & 31) << 16) | (widen((v >> 5) & 31) << 8) | widen(v & 31);
    }
    case 24:
      return line[3 * x] | (line[3 * x + 1] << 8) |
             (static_cast<std::uint32_t>(line[3 * x + 2]) << 16);
    case 32:
      return line[4 * x] | (line[4 * x + 1] << 8) |
             (static_cast<std::uint32_t>(line[4 * x + 2]) << 16) |
             (static_cast<std::uint32_t>(line[4 * x + 3]) << 24);
    default:
      return 0;
  }
}

void write_pixel(ImgBitmap* b, std::int32_t x, std::int32_t row, std::uint32_t v) {
  const std::int32_t bytes = b->bits_per_pixel / 8;
  std::uint8_t* p = b->pixels + static_cast<std::intptr_t>(row) * b->pitch + x * bytes;
  for (std::int32_t i = 0; i < bytes; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Source range [first, last) of target index i when n source pixels map onto
// m target pixels; at least one pixel.
void source_range(std::int32_t i, std::int32_t n, std::int32_t m, std::int32_t* first,
                  std::int32_t* last) {
  *first = static_cast<std::int32_t>(std::int64_t{i} * n / m);
  *last = static_cast<std::int32_t>(std::int64_t{i + 1} * n / m);
  if (*last <= *first) *last = *first + 1;
}

// One target pixel from a block of source pixels (rows from the top): the
// average for halftone stretching, the AND of all of them otherwise.
std::uint32_t combine(const ImgBitmap* s, std::int32_t x0, std::int32_t x1, std::int32_t y0,
                      std::int32_t y1, bool halftone) {
  std::uint64_t sum[4] = {0, 0, 0, 0};
  std::uint32_t all = 0xFFFFFFFFu;
  for (std::int32_t y = y0; y < y1; ++y) {
    for (std::int32_t x = x0; x < x1; ++x) {
      const std::uint32_t v = read_pixel(s, x, s->height - 1 - y);
      all &= v;
      for (int k = 0; k < 4; ++k) sum[k] += (v >> (8 * k)) & 0xFF;
    }
  }
  if (!halftone) return all;
  const std::uint64_t count =
      static_cast<std::uint64_t>(x1 - x0) * static_cast<std::uint64_t>(y1 - y0);
  std::uint32_t v = 0;
  for (int k = 0; k < 4; ++k)
    v |= static_cast<std::uint32_t>((sum[k] + count / 2) / count) << (8 * k);
  return v;
}

}  // namespace

ImgBitmap* draw_converted_copy(const ImgBitmap* source, std::int32_t width, std::int32_t height) {
  if (!source || !source->pixels || source->width <= 0 || source->height <= 0) return nullptr;
  if (width == -1) width = source->width;
  if (height == -1) height = source->height;
  if (width <= 0 || height <= 0) return nullptr;
  const std::int32_t bits = source->bits_per_pixel <= 24 ? 24 : 32;
  ImgBitmap* copy = img_bitmap_create(width, height, bits);
  if (!copy) return nullptr;
  if (width == source->width && height == source->height) {
    for (std::int32_t row = 0; row < height; ++row) {
      for (std::int32_t x = 0; x < width; ++x)
        write_pixel(copy, x, row, read_pixel(source, x, row));
    }
    return copy;
  }
  const bool halftone = source->bits_per_pixel < 32;
  for (std::int32_t y = 0; y < height; ++y) {
    std::int32_t y0, y1;
    source_range(y, source->height, height, &y0, &y1);
    for (std::int32_t x = 0; x < width; ++x) {
      std::int32_t x0, x1;
      source_range(x, source->width, width, &x0, &x1);
      write_pixel(copy, x, height - 1 - y, combine(source, x0, x1, y0, y1, halftone));
    }
  }
  return copy;
}

ImgBitmap* draw_icon_picture(const ImgIcon* icon, bool* owned) {
  *owned = false;
  const ImgBitmap* colour = icon ? icon->colour : nullptr;
  if (!colour || !colour->pixels || colour->width <= 0 || colour->height <= 0) return nullptr;
  if (colour->bits_per_pixel == 32) {
    for (std::int32_t row = 0; row < colour->height; ++row) {
      for (std::int32_t x = 0; x < colour->width; ++x) {
        if (read_pixel(colour, x, row) >> 24) return const_cast<ImgBitmap*>(colour);
      }
    }
  }
  ImgBitmap* picture = img_bitmap_create(colour->width, colour->height, 32);
  if (!picture) return nullptr;
  const ImgBitmap* mask = icon->mask;
  for (std::int32_t row = 0; row < colour->height; ++row) {
    for (std::int32_t x = 0; x < colour->width; ++x) {
      bool opaque = true;
      if (mask) {
        const bool inside = mask->pixels && x < mask->width && row < mask->height;
        opaque = inside && (read_pixel(mask, x, row) & 0xFFFFFFu) == 0;
      }
      const std::uint32_t v = read_pixel(colour, x, row) & 0xFFFFFFu;
      write_pixel(picture, x, row, v | (opaque ? 0xFF000000u : 0u));
    }
  }
  *owned = true;
  return picture;
}
