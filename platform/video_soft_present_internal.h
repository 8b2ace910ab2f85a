// Internal to platform/: the soft device's scaled present, shared with its
// tests. Both pictures hold 32-bit pixels of one format.
#pragma once
#include <cstdint>
#include <vector>

#include "platform/display.h"

struct SoftScale {
  const std::uint32_t* src;
  int src_w, src_h;
  std::uint32_t* dst;
  int dst_pitch;  // in pixels
  int dst_w, dst_h;
  PlatRect rect;             // where the picture goes
  std::vector<int> columns;  // each destination column's source column, kept between presents
  int columns_from = 0;      // the source width they were made for
};

// Sets up a job scaling src into rect of dst; false when rect does not fit.
// The column table is made again only when the sizes change.
bool soft_scale_prepare(SoftScale* job, const std::uint32_t* src, int src_w, int src_h,
                        std::uint32_t* dst, int dst_pitch, int dst_w, int dst_h, PlatRect rect);
// Writes destination rows [row_begin, row_end): inside the rectangle each
// pixel is the source pixel whose centre is nearest its own, around it 0.
void soft_scale_rows(const SoftScale& job, int row_begin, int row_end);
