// A drawing context over test-owned pixel memory, so the rasterizers can be
// checked without the image table, and small helpers to read pixels back.
#pragma once
#include <cstdint>
#include <cstring>
#include <vector>

#include "image/bitmap.h"
#include "image/image.h"
#include "image/raster_internal.h"
#include "runtime/heap.h"

inline void ensure_main_heap() {
  if (!rt_main_heap) rt_main_heap = rt_heap_create();
}

// Pixels are B, G, R (, A) bytes, bottom row first, like an image.
class TestCanvas {
 public:
  TestCanvas(std::int32_t width, std::int32_t height, std::int32_t bits,
             std::uint32_t fill_bgra = 0)
      : bytes_(bits / 8), pitch_(img_row_pitch(width, bits)) {
    ensure_main_heap();
    memory_.assign(static_cast<std::size_t>(pitch_) * height, 0);
    c_ = draw_context_alloc(bits == 32 ? kDrawFormat32 : kDrawFormat24);
    c_->pixels = memory_.data();
    c_->pitch = pitch_;
    c_->width = width;
    c_->height = height;
    c_->bits_per_pixel = bits;
    for (std::int32_t y = 0; y < height; ++y)
      for (std::int32_t x = 0; x < width; ++x) set(x, y, fill_bgra);
  }
  ~TestCanvas() { draw_context_free(c_); }
  TestCanvas(const TestCanvas&) = delete;
  TestCanvas& operator=(const TestCanvas&) = delete;

  DrawContext* c() { return c_; }
  std::uint8_t* at(std::int32_t x, std::int32_t y) {
    return memory_.data() + static_cast<std::size_t>(c_->height - 1 - y) * pitch_ + x * bytes_;
  }
  // 0xAARRGGBB, blue in the low byte as in memory; alpha 0 on 24-bit canvases.
  std::uint32_t get(std::int32_t x, std::int32_t y) {
    std::uint32_t v = 0;
    std::memcpy(&v, at(x, y), bytes_);
    return v;
  }
  void set(std::int32_t x, std::int32_t y, std::uint32_t bgra) {
    std::memcpy(at(x, y), &bgra, bytes_);
  }
  // Positions whose pixel differs from v, as y * width + x.
  std::vector<std::int32_t> not_equal(std::uint32_t v) {
    std::vector<std::int32_t> out;
    for (std::int32_t y = 0; y < c_->height; ++y)
      for (std::int32_t x = 0; x < c_->width; ++x)
        if (get(x, y) != v) out.push_back(y * c_->width + x);
    return out;
  }
  const std::vector<std::uint8_t>& memory() const { return memory_; }

 private:
  std::int32_t bytes_;
  std::int32_t pitch_;
  std::vector<std::uint8_t> memory_;
  DrawContext* c_ = nullptr;
};

// A bitmap owned by the test: bits 24 or 32, every pixel set from a function
// of (x, y from the top) returning 0xAARRGGBB.
template <class F>
ImgBitmap* make_bitmap(std::int32_t width, std::int32_t height, std::int32_t bits, F pixel) {
  ImgBitmap* b = img_bitmap_create(width, height, bits);
  for (std::int32_t y = 0; y < height; ++y) {
    for (std::int32_t x = 0; x < width; ++x) {
      const std::uint32_t v = pixel(x, y);
      std::memcpy(b->pixels + static_cast<std::size_t>(height - 1 - y) * b->pitch + x * (bits / 8),
                  &v, bits / 8);
    }
  }
  return b;
}
