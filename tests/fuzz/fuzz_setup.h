// Sets the image library up once for a fuzz target, as the program does at
// start: decoder table, image table, the PNG decoder registered.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

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

// The pixel count a PNG or BMP header declares, or 0 for anything else. A
// few bytes can declare a picture of a gigabyte, and its mere allocation
// under AddressSanitizer costs milliseconds; inputs above a cap spend the
// run's time on what every size shares, so the targets skip them.
inline std::int64_t fuzz_declared_pixels(const std::uint8_t* data, std::size_t size) {
  const auto be32 = [&](std::size_t at) {
    return std::int64_t{data[at]} << 24 | data[at + 1] << 16 | data[at + 2] << 8 | data[at + 3];
  };
  const auto le32 = [&](std::size_t at) {
    return static_cast<std::int32_t>(std::uint32_t{data[at]} | std::uint32_t{data[at + 1]} << 8 |
                                     std::uint32_t{data[at + 2]} << 16 |
                                     std::uint32_t{data[at + 3]} << 24);
  };
  if (size >= 24 && std::memcmp(data, "\x89PNG", 4) == 0) return be32(16) * be32(20);
  if (size >= 26 && data[0] == 'B' && data[1] == 'M') {
    if (le32(14) == 12) return std::int64_t{data[18] | data[19] << 8} * (data[20] | data[21] << 8);
    return std::abs(std::int64_t{le32(18)}) * std::abs(std::int64_t{le32(22)});
  }
  return 0;
}

// 1024 x 1024: sixteen times the largest picture the game loads.
constexpr std::int64_t kFuzzMaxPixels = std::int64_t{1} << 20;
