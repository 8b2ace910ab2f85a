// The device-independent bitmap reader shared by the BMP and ICO loaders: the
// info header family (12, 40, 52, 56, 108, 124 bytes), colour tables, bit
// fields and RLE, turned into 24- or 32-bit bottom-up bitmaps.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "image/bitmap.h"

inline constexpr std::uint32_t kBiRgb = 0;
inline constexpr std::uint32_t kBiRle8 = 1;
inline constexpr std::uint32_t kBiRle4 = 2;
inline constexpr std::uint32_t kBiBitfields = 3;

// A parsed info header. Every offset is relative to the data that was handed
// to img_dib_parse and has been checked against its size.
struct ImgDibInfo {
  std::uint32_t header_size;
  std::int32_t width;
  std::int32_t height;  // rows, always positive
  bool top_down;
  std::int32_t bits;
  std::uint32_t compression;
  std::array<std::uint32_t, 4> masks;      // red, green, blue, alpha (bit fields)
  std::array<std::uint32_t, 256> palette;  // 0x00RRGGBB; unused entries black
  std::int32_t palette_count;
  std::size_t header_end;  // first byte after header, masks and colour table
};

inline std::uint16_t img_le16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t img_le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Parses the info header at data[start]; false when it is unknown or does not
// fit. icon_rows halves the height (an icon image holds colour and mask rows).
bool img_dib_parse(std::span<const std::uint8_t> data, std::size_t start, bool icon_rows,
                   ImgDibInfo* info);

// Decodes the pixels at data[offset] into a new bitmap: 32 bits for 32-bit
// sources, 24 otherwise. Null when the rows do not fit in the data or memory
// runs out. RLE data that ends early leaves the remaining pixels black.
ImgBitmap* img_dib_decode(const ImgDibInfo& info, std::span<const std::uint8_t> data,
                          std::size_t offset);

// Bytes of one source row, or -1 when it would not fit in 32 bits.
std::int64_t img_dib_stride(std::int32_t width, std::int32_t bits);

// A 24-bit copy of a 32-bit bitmap (the fourth bytes dropped).
ImgBitmap* img_bitmap_to24(const ImgBitmap* source);
