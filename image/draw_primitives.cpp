// Lines and boxes: clipped horizontal and vertical runs, segment clipping and
// the integer Bresenham walk. Coordinates are widened to 64 bits so that no
// argument can overflow the clipping arithmetic.
#include <algorithm>
#include <cstdlib>
#include <utility>

#include "image/raster_internal.h"

void draw_run_h(DrawContext* c, std::int64_t x, std::int64_t y, std::int64_t length) {
  if (y < 0 || y >= c->height) return;
  if (x < 0) {
    length += x;
    x = 0;
  }
  if (x + length > c->width) length = c->width - x;
  if (length <= 0) return;
  c->span_h(c, static_cast<std::int32_t>(x), static_cast<std::int32_t>(y),
            static_cast<std::int32_t>(length));
}

void draw_run_v(DrawContext* c, std::int64_t x, std::int64_t y, std::int64_t length) {
  if (x < 0 || x >= c->width) return;
  if (y < 0) {
    length += y;
    y = 0;
  }
  if (y + length > c->height) length = c->height - y;
  if (length <= 0) return;
  c->span_v(c, static_cast<std::int32_t>(x), static_cast<std::int32_t>(y),
            static_cast<std::int32_t>(length));
}

namespace {

// Truncates toward zero; values far outside any target are pinned so the
// conversion stays defined (they are clipped away on the next axis).
std::int64_t truncate(double v) {
  constexpr double kLimit = 4.0e18;
  if (v > kLimit) v = kLimit;
  if (v < -kLimit) v = -kLimit;
  return static_cast<std::int64_t>(v);
}

// Clips the segment to lo..hi on the axis a (b is the other axis); false when
// it lies wholly outside. The slope comes from the end points as given.
bool clip_axis(std::int64_t& a1, std::int64_t& b1, std::int64_t& a2, std::int64_t& b2,
               std::int64_t lo, std::int64_t hi) {
  if ((a1 < lo && a2 < lo) || (a1 > hi && a2 > hi)) return false;
  if (a1 == a2) return true;  // wholly inside on this axis
  const double s = static_cast<double>(b2 - b1) / static_cast<double>(a2 - a1);
  if (a1 < lo) {
    b1 = truncate(static_cast<double>(b1) - static_cast<double>(a1 - lo) * s);
    a1 = lo;
  } else if (a1 > hi) {
    b1 = truncate(static_cast<double>(b1) + static_cast<double>(hi - a1) * s);
    a1 = hi;
  }
  if (a2 > hi) {
    b2 = truncate(static_cast<double>(b2) + static_cast<double>(hi - a2) * s);
    a2 = hi;
  } else if (a2 < lo) {
    b2 = truncate(static_cast<double>(b2) - static_cast<double>(a2 - lo) * s);
    a2 = lo;
  }
  return true;
}

// Walks from (a1, b1) along the major axis a; plot takes (a, b).
template <class Plot>
void bresenham(std::int64_t a1, std::int64_t b1, std::int64_t a2, std::int64_t b2, Plot plot) {
  if (a2 < a1) {
    std::swap(a1, a2);
    std::swap(b1, b2);
  }
  const std::int64_t da = a2 - a1;
  const std::int64_t db = std::llabs(b2 - b1);
  const std::int64_t step = b2 > b1 ? 1 : -1;
  std::int64_t error = 2 * db - da;
  for (std::int64_t a = a1, b = b1; a <= a2; ++a) {
    plot(a, b);
    if (error < 0) {
      error += 2 * db;
    } else {
      b += step;
      error += 2 * (db - da);
    }
  }
}

}  // namespace

void draw_op_line(DrawContext* c, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                  std::int32_t y2) {
  if (y1 == y2) {
    draw_run_h(c, std::min(x1, x2), y1, std::llabs(std::int64_t{x2} - x1) + 1);
    return;
  }
  if (x1 == x2) {
    draw_run_v(c, x1, std::min(y1, y2), std::llabs(std::int64_t{y2} - y1) + 1);
    return;
  }
  std::int64_t ax = x1, ay = y1, bx = x2, by = y2;
  if (!clip_axis(ax, ay, bx, by, 0, c->width - 1)) return;
  if (!clip_axis(ay, ax, by, bx, 0, c->height - 1)) return;
  auto* plot = c->ops.plot;
  const auto put = [c, plot](std::int64_t x, std::int64_t y) {
    plot(c, static_cast<std::int32_t>(x), static_cast<std::int32_t>(y));
  };
  if (std::llabs(by - ay) <= std::llabs(bx - ax)) {
    bresenham(ax, ay, bx, by, put);
  } else {
    bresenham(ay, ax, by, bx, [&put](std::int64_t y, std::int64_t x) { put(x, y); });
  }
}

void draw_op_box(DrawContext* c, std::int32_t x0, std::int32_t y0, std::int32_t width,
                 std::int32_t height) {
  std::int64_t x = x0, y = y0, w = width, h = height;
  if (w < 0) {
    x += w;
    w = -w;
  }
  if (h < 0) {
    y += h;
    h = -h;
  }
  if (c->mode & kDrawModeOutline) {
    draw_run_h(c, x, y, w);
    draw_run_h(c, x, y + h - 1, w);
    draw_run_v(c, x, y + 1, h - 2);
    draw_run_v(c, x + w - 1, y + 1, h - 2);
    return;
  }
  if (x < 0) {
    w += x;
    x = 0;
  }
  if (y < 0) {
    h += y;
    y = 0;
  }
  if (x + w > c->width) w = c->width - x;
  if (y + h > c->height) h = c->height - y;
  if (w <= 0 || h <= 0) return;
  for (std::int64_t row = y; row < y + h; ++row) {
    c->span_h(c, static_cast<std::int32_t>(x), static_cast<std::int32_t>(row),
              static_cast<std::int32_t>(w));
  }
}
