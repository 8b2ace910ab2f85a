// Screenshots: the back buffer as an in-memory 32-bit BMP, caught as runtime
// image 68000, saved with the image library's own writer and freed again.
#include <cstring>
#include <string>
#include <vector>

#include "engine/objects_internal.h"
#include "engine/state_internal.h"
#include "image/image.h"
#include "runtime/maths.h"

namespace {
constexpr std::intptr_t kScreenshotImage = 68000;
constexpr std::int32_t kEncoderBmp = 0;
constexpr std::size_t kHeaderBytes = 54;
// Bytes img_catch_memory assumes readable.
constexpr std::size_t kCatchMemoryLimit = 10000000;

void put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A bottom-up 32-bit BMP of the back buffer; every pixel opaque.
std::vector<std::uint8_t> encode_back_buffer(PlatVideo* video, int width, int height) {
  const std::size_t pixels = static_cast<std::size_t>(width) * height;
  std::vector<std::uint32_t> screen(pixels);
  plat_video_read_back(video, screen.data());
  std::vector<std::uint8_t> file(kHeaderBytes + pixels * 4);
  std::uint8_t* h = file.data();
  h[0] = 'B';
  h[1] = 'M';
  put32(h + 2, static_cast<std::uint32_t>(file.size()));
  put32(h + 10, kHeaderBytes);
  put32(h + 14, 40);
  put32(h + 18, static_cast<std::uint32_t>(width));
  put32(h + 22, static_cast<std::uint32_t>(height));
  put16(h + 26, 1);
  put16(h + 28, 32);
  put32(h + 34, static_cast<std::uint32_t>(pixels * 4));
  std::uint8_t* out = h + kHeaderBytes;
  for (int y = height - 1; y >= 0; --y) {
    const std::uint32_t* row = screen.data() + static_cast<std::size_t>(y) * width;
    for (int x = 0; x < width; ++x, out += 4) put32(out, row[x] | 0xFF000000u);
  }
  return file;
}
}  // namespace

int eng_screenshot(const char* file) {
  PlatVideo* video = g_engine.screen.video;
  if (!video) return 0;
  std::string name = file ? file : "";
  if (name.empty()) name = "ScreenShot" + std::to_string(rt_date_now()) + ".bmp";
  const int width = plat_video_width(video), height = plat_video_height(video);
  if (width < 1 || height < 1) return 0;
  std::vector<std::uint8_t> bmp = encode_back_buffer(video, width, height);
  const std::size_t size = bmp.size();
  // img_catch_memory takes the bytes it assumes to be readable; a picture
  // larger than that is caught with its real size.
  std::intptr_t caught = 0;
  if (size <= kCatchMemoryLimit) {
    bmp.resize(kCatchMemoryLimit);
    caught = img_catch_memory(kScreenshotImage, bmp.data());
  } else {
    caught = img_catch(kScreenshotImage, bmp.data(), static_cast<std::int32_t>(size));
  }
  const int result = caught ? img_save_default(kScreenshotImage, name.c_str(), kEncoderBmp) : 0;
  img_free(kScreenshotImage);
  return result;
}
