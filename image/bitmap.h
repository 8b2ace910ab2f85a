// The records that stand in for GDI objects: a bitmap (the DIB section: rows
// bottom-up of blue, green, red (, alpha) bytes, each padded to a multiple of
// 4 bytes) and an icon (a colour picture with its AND mask). An image handle
// is the address of one of them; the leading kind field tells which.
#pragma once
#include <cstdint>

enum ImgKind : std::int32_t { kImgKindBitmap = 0x424d4150, kImgKindIcon = 0x49434f4e };

struct ImgBitmap {
  std::int32_t kind;  // kImgKindBitmap
  std::int32_t width;
  std::int32_t height;          // rows; row 0 of pixels is the bottom row
  std::int32_t bits_per_pixel;  // 1, 4, 8, 16, 24 or 32
  std::int32_t pitch;           // img_row_pitch(width, bits_per_pixel)
  std::uint8_t* pixels;         // pitch × height bytes
  std::uint32_t palette[256];   // 0x00RRGGBB entries for depths up to 8
  std::int32_t palette_count;
};

// An icon's colour picture is 32-bit BGRA for 32-bit and PNG entries (alpha
// as stored) and 24-bit BGR for lower depths. Its mask has the same size, 1
// bit per pixel, rows bottom-up with img_row_pitch(width, 1); bit 1 (white)
// marks a transparent pixel, bit 0 (black) an opaque one.
struct ImgIcon {
  std::int32_t kind;  // kImgKindIcon
  ImgBitmap* colour;
  ImgBitmap* mask;  // 1 bit per pixel AND mask, may be null
};

// Bytes per row by depth: 1: ((w+31)/32)·4; 4: ((w+7)/8)·4; 8: ((w+3)/4)·4;
// 15, 16: ((w+1)/2)·4; 24: ((3w+3)/4)·4; any other: w·4.
std::int32_t img_row_pitch(std::int32_t width, std::int32_t bits_per_pixel);
