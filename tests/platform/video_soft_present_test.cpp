// The soft device's scaled present: every destination pixel inside the
// letterbox is the source pixel nearest its centre, so no source row or
// column is lost or out of order when upscaled, and the bars are black over
// whatever the surface held.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/video_soft_present_internal.h"

namespace {

constexpr std::uint32_t kGarbage = 0xDEADBEEF;

std::vector<std::uint32_t> numbered(int w, int h) {
  std::vector<std::uint32_t> px(static_cast<std::size_t>(w) * h);
  for (int i = 0; i < w * h; ++i) px[i] = static_cast<std::uint32_t>(i + 1);
  return px;
}

struct Scaled {
  std::vector<std::uint32_t> px;
  int pitch;
};

// Scales in pieces, as the device's threads do, into a padded surface.
Scaled scale(const std::vector<std::uint32_t>& src, int sw, int sh, int dw, int dh, int pieces) {
  const int pitch = dw + 3;
  Scaled out{std::vector<std::uint32_t>(static_cast<std::size_t>(pitch) * dh, kGarbage), pitch};
  SoftScale job;
  EXPECT_TRUE(soft_scale_prepare(&job, src.data(), sw, sh, out.px.data(), pitch, dw, dh,
                                 plat_letterbox(sw, sh, dw, dh)));
  for (int p = 0; p < pieces; ++p) soft_scale_rows(job, dh * p / pieces, dh * (p + 1) / pieces);
  return out;
}

TEST(SoftScaledPresent, DoubleSizeRepeatsEachPixelTwoByTwoAndBlacksTheBars) {
  const auto src = numbered(4, 3);
  const Scaled out = scale(src, 4, 3, 12, 6, 4);  // 8 × 6 picture, bars of 2 columns
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 12; ++x) {
      const std::uint32_t got = out.px[y * out.pitch + x];
      const std::uint32_t want = x < 2 || x >= 10 ? 0u : src[(y / 2) * 4 + (x - 2) / 2];
      ASSERT_EQ(got, want) << "at " << x << ", " << y;
    }
    EXPECT_EQ(out.px[y * out.pitch + 12], kGarbage) << "past the row, in the pitch";
  }
}

// 1024 × 768 into a 1280 × 1024 desktop: five pixels for every four.
TEST(SoftScaledPresent, FiveForFourKeepsEveryRowAndColumnInOrder) {
  const int sw = 1024, sh = 768, dw = 1280, dh = 1024;
  const auto src = numbered(sw, sh);
  for (int pieces : {1, 7}) {
    const Scaled out = scale(src, sw, sh, dw, dh, pieces);
    const PlatRect r = plat_letterbox(sw, sh, dw, dh);
    ASSERT_EQ(r.height, 960);
    int last_row = -1;
    for (int y = 0; y < dh; ++y) {
      const std::uint32_t* row = out.px.data() + static_cast<std::size_t>(y) * out.pitch;
      if (y < r.y || y >= r.y + r.height) {
        for (int x = 0; x < dw; ++x) ASSERT_EQ(row[x], 0u) << "bar row " << y;
        continue;
      }
      const int source_row = static_cast<int>((row[0] - 1) / sw);
      ASSERT_TRUE(source_row == last_row || source_row == last_row + 1) << "row " << y;
      last_row = source_row;
      int last_column = -1;
      for (int x = 0; x < dw; ++x) {
        const int column = static_cast<int>((row[x] - 1) % sw);
        ASSERT_EQ(static_cast<int>((row[x] - 1) / sw), source_row);
        ASSERT_TRUE(column == last_column || column == last_column + 1) << x << ", " << y;
        last_column = column;
      }
      ASSERT_EQ(last_column, sw - 1);
    }
    EXPECT_EQ(last_row, sh - 1) << pieces << " pieces";
  }
}

TEST(SoftScaledPresent, RefusesARectangleOutsideTheSurface) {
  const auto src = numbered(4, 4);
  std::vector<std::uint32_t> dst(64, kGarbage);
  SoftScale job;
  EXPECT_FALSE(soft_scale_prepare(&job, src.data(), 4, 4, dst.data(), 8, 8, 8, {2, 2, 8, 4}));
  EXPECT_FALSE(soft_scale_prepare(&job, src.data(), 4, 4, dst.data(), 4, 8, 8, {0, 0, 8, 8}));
  EXPECT_FALSE(soft_scale_prepare(&job, src.data(), 4, 4, dst.data(), 8, 8, 8, {0, 0, 0, 8}));
}

}  // namespace
