// Sets the image library up once for a fuzz target, as the program does at
// start: decoder table, image table, the PNG decoder registered.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "image/bmp_read.h"
#include "image/image.h"
#include "image/png_decoder.h"
#include "platform/log.h"

inline void fuzz_image_library() {
  static const bool ready = [] {
    // Every input is a bad picture; a line for each would only slow the run.
    plat_log_set_level(PlatLogLevel::Off);
    img_decoders_init();
    img_init();
    img_register_decoder(&img_png_decoder);
    return true;
  }();
  (void)ready;
}

// Whether a PNG or BMP header declares a picture the library would allocate
// and that is larger than the cap. A few bytes can declare a gigabyte, and
// its mere allocation under AddressSanitizer costs milliseconds; such inputs
// spend the run's time on what every size shares, so the targets skip them.
// Sides the library rejects are kept: their rejection is cheap and worth
// reaching.
inline bool fuzz_declares_huge_picture(const std::uint8_t* data, std::size_t size) {
  constexpr std::int64_t kMaxSide = 32767;
  constexpr std::int64_t kMaxPixels = std::int64_t{1} << 20;  // 16x the game's largest
  if (size >= 24 && std::memcmp(data, "\x89PNG", 4) == 0) {
    // The header chunk comes first; its sides are big-endian.
    const auto be32 = [&](std::size_t at) {
      return std::int64_t{data[at]} << 24 | data[at + 1] << 16 | data[at + 2] << 8 | data[at + 3];
    };
    const std::int64_t width = be32(16), height = be32(20);
    return width <= kMaxSide && height <= kMaxSide && width * height > kMaxPixels;
  }
  ImgDibInfo info;
  return size >= 2 && data[0] == 'B' && data[1] == 'M' &&
         img_dib_parse({data, size}, 14, false, &info) &&
         std::int64_t{info.width} * info.height > kMaxPixels;
}
