// Reading the pixels of a drawing target's bitmap into a caller's buffer at
// 24 or 32 bits, bottom-up or top-down: how the engine turns a drawn image
// into a texture.
#include <cstring>

#include "image/image.h"
#include "image/raster_internal.h"

namespace {

// Converts one row; a 24-bit source read as 32 bits gets alpha bytes of 0.
void convert_row(std::uint8_t* d, const std::uint8_t* s, std::int32_t width,
                 std::int32_t source_bits, std::int32_t bits) {
  if (source_bits == bits) {
    std::memcpy(d, s, static_cast<std::size_t>(width) * static_cast<std::size_t>(bits / 8));
    return;
  }
  for (std::int32_t x = 0; x < width; ++x) {
    if (bits == 32) {
      std::memcpy(d + 4 * x, s + 3 * x, 3);
      d[4 * x + 3] = 0;
    } else {
      std::memcpy(d + 3 * x, s + 4 * x, 3);
    }
  }
}

}  // namespace

std::int32_t draw_get_bits(std::intptr_t device, std::int32_t first_row, std::int32_t rows,
                           void* bits, std::int32_t width, std::int32_t height,
                           std::int32_t bits_per_pixel) {
  const auto* dc = reinterpret_cast<const DrawDevice*>(device);
  if (!dc || dc->kind != kDrawDeviceKind || !dc->bitmap || !bits) return 0;
  const ImgBitmap* b = dc->bitmap;
  const std::int32_t source_bits = b->bits_per_pixel;
  if (!b->pixels || (source_bits != 24 && source_bits != 32)) return 0;
  if (bits_per_pixel != 24 && bits_per_pixel != 32) return 0;
  const bool top_down = height < 0;
  if (width != b->width || (top_down ? -std::int64_t{height} : height) != b->height) return 0;
  if (first_row < 0 || rows <= 0 || first_row >= b->height) return 0;
  if (rows > b->height - first_row) rows = b->height - first_row;

  const std::int32_t pitch = img_row_pitch(width, bits_per_pixel);
  auto* out = static_cast<std::uint8_t*>(bits);
  for (std::int32_t k = 0; k < rows; ++k) {
    const std::int32_t row = first_row + k;  // counted from the bottom
    const std::int32_t slot = top_down ? rows - 1 - k : k;
    convert_row(out + static_cast<std::intptr_t>(slot) * pitch,
                b->pixels + static_cast<std::intptr_t>(row) * b->pitch, width, source_bits,
                bits_per_pixel);
  }
  return rows;
}
