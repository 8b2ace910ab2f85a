// Lines and boxes: run clipping, segment clipping, the Bresenham pixel set,
// negative box sizes, outlines, and the default mode leaving alpha alone.
#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <utility>

#include "draw_canvas.h"

namespace {

using Points = std::set<std::pair<int, int>>;

constexpr std::uint32_t kInk = 0x00FFFFFF;  // white, alpha 0

// The pixels a line or box touched on a canvas cleared to 0.
Points touched(TestCanvas& t) {
  Points p;
  for (int y = 0; y < t.c()->height; ++y)
    for (int x = 0; x < t.c()->width; ++x)
      if (t.get(x, y) & 0xFFFFFF) p.insert({x, y});
  return p;
}

Points line(int w, int h, int x1, int y1, int x2, int y2, int bits = 32) {
  TestCanvas t(w, h, bits);
  draw_set_colour(t.c(), kInk);
  draw_op_line(t.c(), x1, y1, x2, y2);
  return touched(t);
}

Points box(int w, int h, int x, int y, int bw, int bh, std::uint32_t mode = 0) {
  TestCanvas t(w, h, 24);
  draw_set_mode(t.c(), mode);
  draw_set_colour(t.c(), kInk);
  draw_op_box(t.c(), x, y, bw, bh);
  return touched(t);
}

Points rect(int x0, int y0, int x1, int y1) {
  Points p;
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) p.insert({x, y});
  return p;
}

TEST(DrawLine, RunsColourEveryPixelAndClip) {
  EXPECT_EQ(line(1, 20, 0, 0, 0, 19), rect(0, 0, 0, 19));
  EXPECT_EQ(line(1, 20, 0, 19, 0, 0), rect(0, 0, 0, 19));
  EXPECT_EQ(line(10, 10, 5, 5, 5, 5), (Points{{5, 5}}));
  EXPECT_EQ(line(4, 10, -10, 5, 10, 5), rect(0, 5, 3, 5));
  EXPECT_EQ(line(4, 10, 10, 5, -10, 5), rect(0, 5, 3, 5));
  EXPECT_EQ(line(4, 10, 0, -3, 0, 30, 24), rect(0, 0, 0, 9));
  EXPECT_TRUE(line(4, 10, -10, 10, 10, 10).empty());
  EXPECT_TRUE(line(4, 10, 4, 0, 4, 9).empty());
  EXPECT_TRUE(line(4, 10, -5, 3, -1, 3).empty());
  EXPECT_EQ(line(4, 4, INT_MIN, 2, INT_MAX, 2), rect(0, 2, 3, 2));
}

TEST(DrawLine, BresenhamWalksFromTheSmallerEnd) {
  const Points shallow{{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}, {5, 2}};
  EXPECT_EQ(line(10, 10, 0, 0, 5, 2), shallow);
  EXPECT_EQ(line(10, 10, 5, 2, 0, 0), shallow);
  const Points steep{{0, 0}, {0, 1}, {1, 2}, {1, 3}, {2, 4}, {2, 5}};
  EXPECT_EQ(line(10, 10, 0, 0, 2, 5), steep);
  EXPECT_EQ(line(10, 10, 2, 5, 0, 0), steep);
  EXPECT_EQ(line(10, 10, 0, 5, 5, 3), (Points{{0, 5}, {1, 5}, {2, 4}, {3, 4}, {4, 3}, {5, 3}}));
  EXPECT_EQ(line(10, 10, 0, 0, 3, 3), (Points{{0, 0}, {1, 1}, {2, 2}, {3, 3}}));
}

TEST(DrawLine, SegmentsAreClippedColumnsFirstWithTruncation) {
  // Slope 0.5: (-4, -2) moves to (0, 0).
  EXPECT_EQ(line(10, 10, -4, -2, 6, 3),
            (Points{{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}, {5, 3}, {6, 3}}));
  // Slope -1.25: the end at x = -1 moves to y = trunc(5 - 1.25) = 3.
  EXPECT_EQ(line(10, 10, -1, 5, 3, 0), (Points{{0, 3}, {1, 2}, {2, 1}, {3, 0}}));
  // Passes beside the corner: nothing drawn.
  EXPECT_TRUE(line(10, 10, -5, 3, 3, -5).empty());
  EXPECT_TRUE(line(10, 10, 12, 0, 20, 9).empty());
  // Extreme end points neither overflow nor escape the target.
  Points diagonal;
  for (int i = 0; i < 10; ++i) diagonal.insert({i, i});
  EXPECT_EQ(line(10, 10, INT_MIN, INT_MIN, INT_MAX, INT_MAX), diagonal);
  const Points wild = line(10, 10, INT_MIN, INT_MAX, INT_MAX, INT_MIN + 7);
  for (auto [x, y] : wild) EXPECT_TRUE(x >= 0 && x < 10 && y >= 0 && y < 10);
}

TEST(DrawLine, XorLinePlotsEachPixelOnce) {
  TestCanvas t(8, 8, 24);
  draw_set_mode(t.c(), kDrawModeXor);
  draw_set_colour(t.c(), kInk);
  draw_op_line(t.c(), 1, 1, 6, 4);
  draw_op_line(t.c(), 0, 7, 7, 7);
  draw_op_line(t.c(), 7, 0, 7, 6);
  EXPECT_EQ(touched(t).size(), 6u + 8u + 7u);
}

TEST(DrawBox, NegativeSizesAndClipping) {
  EXPECT_EQ(box(20, 20, 10, 10, -5, -5), rect(5, 5, 9, 9));
  EXPECT_EQ(box(20, 20, 5, 5, 5, 5), rect(5, 5, 9, 9));
  EXPECT_EQ(box(8, 6, -3, -2, 5, 4), rect(0, 0, 1, 1));
  EXPECT_EQ(box(8, 6, 6, 4, 100, 100), rect(6, 4, 7, 5));
  EXPECT_EQ(box(8, 6, INT_MIN, INT_MIN, INT_MAX, INT_MAX), Points{});
  EXPECT_EQ(box(8, 6, 0, 0, INT_MAX, INT_MAX), rect(0, 0, 7, 5));
  EXPECT_TRUE(box(8, 6, 8, 0, 4, 4).empty());
  EXPECT_TRUE(box(8, 6, 2, 2, 0, 3).empty());
}

TEST(DrawBox, OutlineDrawsFourEdges) {
  Points frame = rect(2, 1, 6, 1);
  for (auto p : rect(2, 4, 6, 4)) frame.insert(p);
  for (auto p : rect(2, 2, 2, 3)) frame.insert(p);
  for (auto p : rect(6, 2, 6, 3)) frame.insert(p);
  EXPECT_EQ(box(10, 10, 2, 1, 5, 4, kDrawModeOutline), frame);
  EXPECT_EQ(box(10, 10, 7, 5, -5, -4, kDrawModeOutline), frame);
  // Partly outside: only the visible edges.
  Points cut = rect(0, 0, 2, 0);
  for (auto p : rect(2, 1, 2, 2)) cut.insert(p);
  for (auto p : rect(0, 3, 2, 3)) cut.insert(p);
  EXPECT_EQ(box(10, 10, -3, 0, 6, 4, kDrawModeOutline), cut);
}

TEST(DrawBox, DefaultModeFillsColourAndKeepsAlpha) {
  TestCanvas t(64, 48, 32, 0x00000000);  // created transparent
  draw_set_colour(t.c(), 0xFF123456);
  draw_op_box(t.c(), 0, 0, 64, 48);
  EXPECT_TRUE(t.not_equal(0x00563412).empty());
  TestCanvas half(4, 4, 32, 0x7F000000);
  draw_set_colour(half.c(), 0x00ABCDEF);
  draw_op_box(half.c(), 0, 0, 4, 4);
  EXPECT_TRUE(half.not_equal(0x7FEFCDAB).empty());
}

TEST(DrawBox, FullTargetBoxOn24BitRowsWithPadding) {
  TestCanvas t(5, 3, 24);  // pitch 16: one padding byte per row
  draw_set_colour(t.c(), 0x00010203);
  draw_op_box(t.c(), 0, 0, 5, 3);
  EXPECT_TRUE(t.not_equal(0x00030201).empty());
  for (int row = 0; row < 3; ++row) EXPECT_EQ(t.memory()[row * 16 + 15], 0) << row;
}

}  // namespace
