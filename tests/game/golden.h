// Golden pictures: a frame compared with a stored PNG under tests/data/golden
// within a tolerance. SHOOTER_UPDATE_GOLDEN=1 rewrites the stored picture
// instead; on a mismatch the frame and a diff picture are written to the
// build tree and their paths reported.
#pragma once
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace golden {

// Frames are stored at half size (2 × 2 averages), which keeps the files
// small and still shows every sprite.
inline constexpr int kShrink = 2;
// A channel may differ by this much anywhere (rounding of the rasterizer's
// vector and scalar paths) ...
inline constexpr int kChannelTolerance = 6;
// ... and by any amount in this share of the pixels (an edge moved by one).
inline constexpr double kOutlierShare = 0.002;

struct Picture {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;  // rows top-down
};

// A 0x00RRGGBB frame of width × height at 1 / kShrink of its size.
inline Picture shrink(const std::vector<std::uint32_t>& frame, int width, int height) {
  Picture p{width / kShrink, height / kShrink, {}};
  p.rgb.resize(static_cast<std::size_t>(p.width) * p.height * 3);
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x)
      for (int c = 0; c < 3; ++c) {
        int sum = 0;
        for (int dy = 0; dy < kShrink; ++dy)
          for (int dx = 0; dx < kShrink; ++dx) {
            std::uint32_t v =
                frame[static_cast<std::size_t>(y * kShrink + dy) * width + x * kShrink + dx];
            sum += static_cast<int>((v >> (16 - 8 * c)) & 0xFF);
          }
        p.rgb[(static_cast<std::size_t>(y) * p.width + x) * 3 + c] =
            static_cast<std::uint8_t>((sum + kShrink * kShrink / 2) / (kShrink * kShrink));
      }
  return p;
}

inline bool write_png(const std::filesystem::path& path, const Picture& p) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(p.width);
  image.height = static_cast<png_uint_32>(p.height);
  image.format = PNG_FORMAT_RGB;
  std::filesystem::create_directories(path.parent_path());
  return png_image_write_to_file(&image, path.c_str(), 0, p.rgb.data(), 0, nullptr) != 0;
}

inline bool read_png(const std::filesystem::path& path, Picture* p) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  p->width = static_cast<int>(image.width);
  p->height = static_cast<int>(image.height);
  p->rgb.resize(PNG_IMAGE_SIZE(image));
  if (png_image_finish_read(&image, nullptr, p->rgb.data(), 0, nullptr)) return true;
  png_image_free(&image);
  return false;
}

// Pixels outside the channel tolerance; `diff` shows them red on a dimmed
// copy of the expected picture.
inline int outliers(const Picture& expected, const Picture& actual, Picture* diff) {
  *diff = expected;
  int count = 0;
  for (std::size_t i = 0; i < expected.rgb.size(); i += 3) {
    int worst = 0;
    for (int c = 0; c < 3; ++c)
      worst = std::max(worst, std::abs(expected.rgb[i + c] - actual.rgb[i + c]));
    const bool bad = worst > kChannelTolerance;
    count += bad;
    for (int c = 0; c < 3; ++c)
      diff->rgb[i + c] =
          bad ? (c == 0 ? 255 : 0) : static_cast<std::uint8_t>(expected.rgb[i + c] / 4);
  }
  return count;
}

// Compares a frame with tests/data/golden/<name>.png, or rewrites it.
inline void expect_matches(const std::string& name, const std::vector<std::uint32_t>& frame,
                           int width, int height) {
  namespace fs = std::filesystem;
  const Picture actual = shrink(frame, width, height);
  const fs::path stored = fs::path(SHOOTER_SOURCE_DIR) / "tests/data/golden" / (name + ".png");
  const char* update = std::getenv("SHOOTER_UPDATE_GOLDEN");
  if (update && std::string(update) == "1") {
    ASSERT_TRUE(write_png(stored, actual)) << "cannot write " << stored;
    return;
  }
  Picture expected;
  ASSERT_TRUE(read_png(stored, &expected))
      << "no golden picture " << stored << " (SHOOTER_UPDATE_GOLDEN=1 writes it)";
  ASSERT_EQ(expected.width, actual.width);
  ASSERT_EQ(expected.height, actual.height);
  Picture diff;
  const int bad = outliers(expected, actual, &diff);
  const int allowed = static_cast<int>(kOutlierShare * actual.width * actual.height);
  if (bad <= allowed) return;
  const fs::path out = fs::path(SHOOTER_BINARY_DIR) / "golden";
  write_png(out / (name + ".actual.png"), actual);
  write_png(out / (name + ".diff.png"), diff);
  ADD_FAILURE() << name << ": " << bad << " pixels differ by more than " << kChannelTolerance
                << " (at most " << allowed << " may); see " << (out / (name + ".diff.png"))
                << " and " << (out / (name + ".actual.png"));
}

}  // namespace golden
