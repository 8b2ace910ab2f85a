// Helpers for the image loading and saving tests: a fixture that sets the
// library up, builders for BMP, ICO and PNG bytes, pixel access and temporary
// folders.
#pragma once
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "image/image.h"
#include "image/png_decoder.h"
#include "runtime/objects.h"

namespace codec_test {

using Bytes = std::vector<std::uint8_t>;

class ImageLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    img_decoders_init();
    img_init();
    img_register_decoder(&img_png_decoder);
    dir_ = std::filesystem::temp_directory_path() /
           ("img_test_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    img_free_all();
    std::filesystem::remove_all(dir_);
  }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  std::filesystem::path dir_;
};

inline void put16(Bytes& b, std::size_t at, std::uint32_t v) {
  if (b.size() < at + 2) b.resize(at + 2);
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put32(Bytes& b, std::size_t at, std::uint32_t v) {
  put16(b, at, v);
  put16(b, at + 2, v >> 16);
}
inline std::uint32_t get32(const Bytes& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}

// B, G, R, A of pixel (x, y), y from the top, of a 24- or 32-bit bitmap.
inline std::array<int, 4> pixel(const ImgBitmap* bitmap, int x, int y) {
  const int bytes = bitmap->bits_per_pixel / 8;
  const std::uint8_t* p = bitmap->pixels + (bitmap->height - 1 - y) * bitmap->pitch + x * bytes;
  return {p[0], p[1], p[2], bytes == 4 ? p[3] : 255};
}

// The blue, green and red of pixel (x, y), from the top, of a BMP file with a
// 40-byte header as the library writes it (palette entries at 8 bits and less).
inline std::array<int, 3> file_pixel(const Bytes& f, int x, int y) {
  const int w = static_cast<int>(get32(f, 18)), h = static_cast<int>(get32(f, 22));
  const int bits = f[28];
  const std::size_t row = ((static_cast<std::size_t>(w) * bits + 31) / 32) * 4;
  const std::uint8_t* r = &f[get32(f, 10) + row * static_cast<std::size_t>(h - 1 - y)];
  if (bits >= 24) return {r[x * bits / 8], r[x * bits / 8 + 1], r[x * bits / 8 + 2]};
  const int per = 8 / bits;
  const int index = (r[x / per] >> (8 - bits * (1 + x % per))) & ((1 << bits) - 1);
  const std::uint8_t* e = &f[54 + 4 * index];
  return {e[0], e[1], e[2]};
}

// A BMP file: file header, an info header of header_size bytes (12, 40, 52,
// 56, 108 or 124), optional masks after a 40-byte header, a colour table of
// 0x00RRGGBB entries, then the given pixel bytes at bfOffBits.
struct BmpLayout {
  std::uint32_t header_size = 40;
  std::int32_t width = 1;
  std::int32_t height = 1;  // negative for top-down rows
  int bits = 24;
  std::uint32_t compression = 0;
  std::vector<std::uint32_t> palette{};
  std::array<std::uint32_t, 4> masks{};
  std::uint32_t colours_used = 0;
  Bytes pixels{};
};

inline Bytes make_bmp(const BmpLayout& s) {
  Bytes b(14 + s.header_size, 0);
  b[0] = 'B';
  b[1] = 'M';
  put32(b, 14, s.header_size);
  if (s.header_size == 12) {
    put16(b, 18, static_cast<std::uint32_t>(s.width));
    put16(b, 20, static_cast<std::uint32_t>(s.height));
    put16(b, 22, 1);
    put16(b, 24, static_cast<std::uint32_t>(s.bits));
  } else {
    put32(b, 18, static_cast<std::uint32_t>(s.width));
    put32(b, 22, static_cast<std::uint32_t>(s.height));
    put16(b, 26, 1);
    put16(b, 28, static_cast<std::uint32_t>(s.bits));
    put32(b, 30, s.compression);
    put32(b, 46, s.colours_used);
    if (s.header_size >= 52)
      for (int i = 0; i < (s.header_size >= 56 ? 4 : 3); ++i) put32(b, 54 + 4 * i, s.masks[i]);
  }
  if (s.header_size == 40 && s.compression == 3)
    for (int i = 0; i < 3; ++i) put32(b, b.size(), s.masks[i]);
  for (std::uint32_t c : s.palette) {
    b.push_back(static_cast<std::uint8_t>(c));
    b.push_back(static_cast<std::uint8_t>(c >> 8));
    b.push_back(static_cast<std::uint8_t>(c >> 16));
    if (s.header_size != 12) b.push_back(0);
  }
  put32(b, 10, static_cast<std::uint32_t>(b.size()));
  b.insert(b.end(), s.pixels.begin(), s.pixels.end());
  put32(b, 2, static_cast<std::uint32_t>(b.size()));
  return b;
}

// An icon file from the given entry images (each a DIB with AND mask or a PNG).
struct IcoEntry {
  int width, height, bits;
  Bytes image;
};

inline Bytes make_ico(const std::vector<IcoEntry>& entries) {
  Bytes b(6 + 16 * entries.size(), 0);
  put16(b, 2, 1);
  put16(b, 4, static_cast<std::uint32_t>(entries.size()));
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::size_t e = 6 + 16 * i;
    b[e] = static_cast<std::uint8_t>(entries[i].width);
    b[e + 1] = static_cast<std::uint8_t>(entries[i].height);
    put16(b, e + 4, 1);
    put16(b, e + 6, static_cast<std::uint32_t>(entries[i].bits));
    put32(b, e + 8, static_cast<std::uint32_t>(entries[i].image.size()));
    put32(b, e + 12, static_cast<std::uint32_t>(b.size()));
    b.insert(b.end(), entries[i].image.begin(), entries[i].image.end());
  }
  return b;
}

// The DIB of an icon entry: header with doubled height, colour rows, mask rows.
// fill gives B, G, R (, A) bytes of every pixel; mask bit set = transparent.
inline Bytes make_icon_dib(int width, int height, int bits,
                           const std::vector<std::uint32_t>& palette, const Bytes& colour_rows,
                           const Bytes& mask_rows) {
  Bytes b(40, 0);
  put32(b, 0, 40);
  put32(b, 4, static_cast<std::uint32_t>(width));
  put32(b, 8, static_cast<std::uint32_t>(height * 2));
  put16(b, 12, 1);
  put16(b, 14, static_cast<std::uint32_t>(bits));
  for (std::uint32_t c : palette) {
    b.push_back(static_cast<std::uint8_t>(c));
    b.push_back(static_cast<std::uint8_t>(c >> 8));
    b.push_back(static_cast<std::uint8_t>(c >> 16));
    b.push_back(0);
  }
  b.insert(b.end(), colour_rows.begin(), colour_rows.end());
  b.insert(b.end(), mask_rows.begin(), mask_rows.end());
  return b;
}

// A PNG of the given type made with libpng; rows are the raw samples
// (big-endian for 16 bits), top row first.
struct PngLayout {
  int width = 1, height = 1, colour_type = PNG_COLOR_TYPE_RGB, bit_depth = 8;
  bool interlaced = false;
  std::vector<png_color> palette{};
  Bytes trns_alpha{};      // palette alpha values
  bool grey_trns = false;  // tRNS grey key
  int grey_key = 0;
  std::vector<Bytes> rows{};
  std::size_t idat_bytes = 8192;  // the largest IDAT chunk
};

inline void png_collect(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

inline Bytes make_png(const PngLayout& s) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, png_collect, nullptr);
  png_set_compression_buffer_size(png, s.idat_bytes);
  png_set_IHDR(png, info, static_cast<png_uint_32>(s.width), static_cast<png_uint_32>(s.height),
               s.bit_depth, s.colour_type, s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!s.palette.empty())
    png_set_PLTE(png, info, s.palette.data(), static_cast<int>(s.palette.size()));
  if (!s.trns_alpha.empty())
    png_set_tRNS(png, info, s.trns_alpha.data(), static_cast<int>(s.trns_alpha.size()), nullptr);
  png_color_16 key{};
  key.gray = static_cast<png_uint_16>(s.grey_key);
  if (s.grey_trns) png_set_tRNS(png, info, nullptr, 0, &key);
  png_write_info(png, info);
  std::vector<png_bytep> rows;
  for (const Bytes& r : s.rows) rows.push_back(const_cast<png_bytep>(r.data()));
  png_write_image(png, rows.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

inline void write_file(const std::string& path, const Bytes& data) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

inline Bytes read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

}  // namespace codec_test
