// Mapping pixels to palette indices for the palette depths of the BMP
// writer: nearest entry, or Floyd-Steinberg error diffusion.
#include <algorithm>

#include "image/neuquant.h"

namespace {
std::vector<std::uint8_t> map_nearest(std::span<const std::uint8_t> bgra,
                                      const ImgPalette& palette) {
  ImgNearest nearest(palette);
  std::vector<std::uint8_t> indices(bgra.size() / 4);
  for (std::size_t i = 0; i < indices.size(); ++i) {
    const std::uint8_t* p = &bgra[i * 4];
    indices[i] = static_cast<std::uint8_t>(nearest.find(p[0], p[1], p[2], p[3]));
  }
  return indices;
}

// Walks the picture top row first, carrying each channel's error (in
// sixteenths) to the right and to the row below.
std::vector<std::uint8_t> map_diffused(std::span<const std::uint8_t> bgra, std::int32_t width,
                                       std::int32_t height, const ImgPalette& palette) {
  ImgNearest nearest(palette);
  std::vector<std::uint8_t> indices(static_cast<std::size_t>(width) * height);
  const std::size_t cells = (static_cast<std::size_t>(width) + 2) * 4;
  std::vector<int> current(cells, 0), below(cells, 0);
  for (std::int32_t y = height - 1; y >= 0; --y) {
    std::fill(below.begin(), below.end(), 0);
    const std::uint8_t* row = &bgra[static_cast<std::size_t>(y) * width * 4];
    std::uint8_t* out = &indices[static_cast<std::size_t>(y) * width];
    for (std::int32_t x = 0; x < width; ++x) {
      int want[4];
      for (int c = 0; c < 4; ++c)
        want[c] = std::clamp(row[x * 4 + c] + current[(x + 1) * 4 + c] / 16, 0, 255);
      const int index = nearest.find(want[0], want[1], want[2], want[3]);
      out[x] = static_cast<std::uint8_t>(index);
      for (int c = 0; c < 4; ++c) {
        const int error = want[c] - palette.bgra[index][c];
        current[(x + 2) * 4 + c] += error * 7;
        below[x * 4 + c] += error * 3;
        below[(x + 1) * 4 + c] += error * 5;
        below[(x + 2) * 4 + c] += error;
      }
    }
    std::swap(current, below);
  }
  return indices;
}
}  // namespace

std::vector<std::uint8_t> img_map_palette(std::span<const std::uint8_t> bgra, std::int32_t width,
                                          std::int32_t height, const ImgPalette& palette,
                                          bool diffuse) {
  return diffuse ? map_diffused(bgra, width, height, palette) : map_nearest(bgra, palette);
}
