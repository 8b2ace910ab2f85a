// Colour quantisation for the palette depths of the BMP writer: the NeuQuant
// self-organising network over B, G, R, A samples, and the mapping of pixels
// to the nearest palette entry.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

struct ImgPalette {
  std::int32_t count = 0;
  std::array<std::array<std::uint8_t, 4>, 256> bgra{};  // blue, green, red, alpha
};

// Learns a palette of `colours` entries (2 to 256) from pixels of 4 bytes
// each (B, G, R, A).
ImgPalette img_neuquant(std::span<const std::uint8_t> bgra, std::int32_t colours);

// Finds the nearest palette entry (squared distance over the four channels)
// with a cache of recent colours, since pictures repeat their colours a lot.
class ImgNearest {
 public:
  explicit ImgNearest(const ImgPalette& palette);
  std::int32_t find(int blue, int green, int red, int alpha);
  // Without the cache, starting from a likely entry (one that was nearest
  // to this colour before the palette moved a little), which cuts the walk.
  std::int32_t find_from(int blue, int green, int red, int alpha, std::int32_t hint) const;

 private:
  std::int32_t search(int blue, int green, int red, int alpha, int best, int best_index) const;

  const ImgPalette& palette_;
  std::array<std::uint8_t, 256> by_green_{};  // palette indices sorted by green
  std::array<std::uint8_t, 256> green_{};     // green of each sorted entry
  std::vector<std::uint64_t> cache_;          // valid bit, colour, index
};

// Palette indices of every pixel of a picture of B, G, R, A pixels whose rows
// run bottom first: each pixel's nearest entry or, with diffuse, error
// diffusion down the picture (7/16 right, 3/16, 5/16, 1/16 below).
std::vector<std::uint8_t> img_map_palette(std::span<const std::uint8_t> bgra, std::int32_t width,
                                          std::int32_t height, const ImgPalette& palette,
                                          bool diffuse);
