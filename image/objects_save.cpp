// Saving images: the checks of img_save, the encoder table and the dispatch
// to encoder 0 (the built-in BMP writer) or a registered encoder.
#include <vector>

#include "image/image_internal.h"

namespace {
constexpr int kMaxEncoders = 16;
const ImageEncoder* g_encoders[kMaxEncoders];
int g_encoder_count = 0;

const ImageEncoder* find_encoder(std::int32_t id) {
  for (int i = 0; i < g_encoder_count; ++i)
    if (g_encoders[i]->id == id) return g_encoders[i];
  return nullptr;
}
}  // namespace

int img_register_encoder(const ImageEncoder* encoder) {
  if (!encoder || !encoder->encode24 || g_encoder_count >= kMaxEncoders) return 0;
  g_encoders[g_encoder_count++] = encoder;
  return 1;
}

std::uint8_t img_over_white(std::uint8_t channel, std::uint8_t alpha) {
  return static_cast<std::uint8_t>((alpha * (channel - 255) + 65025) / 255);
}

std::int32_t img_encode(const char* path, const std::uint8_t* pixels, std::int32_t encoder,
                        std::int32_t width, std::int32_t height, std::int32_t pitch,
                        std::int32_t pixel_depth, std::int32_t flags, std::int32_t quality,
                        std::int32_t depth) {
  if (encoder == 0)
    return img_bmp_write(path, pixels, width, height, pitch, pixel_depth, flags, quality, depth);
  const ImageEncoder* entry = find_encoder(encoder);
  if (!entry) return 0;
  if (pixel_depth == 24)
    return entry->encode24(path, pixels, width, height, pitch, flags, quality, depth);
  if (pixel_depth != 32) return 0;
  if (entry->encode32)
    return entry->encode32(path, pixels, width, height, pitch, flags, quality, depth);
  // No 32-bit operation: composite over white into a 24-bit copy.
  const std::int32_t out_pitch = ((3 * width + 3) / 4) * 4;
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(out_pitch) * height);
  for (std::int32_t y = 0; y < height; ++y) {
    const std::uint8_t* s = pixels + static_cast<std::ptrdiff_t>(y) * pitch;
    std::uint8_t* d = buffer.data() + static_cast<std::ptrdiff_t>(y) * out_pitch;
    for (std::int32_t x = 0; x < width; ++x)
      for (int c = 0; c < 3; ++c) d[x * 3 + c] = img_over_white(s[x * 4 + c], s[x * 4 + 3]);
  }
  return entry->encode24(path, buffer.data(), width, height, out_pitch, flags, quality, depth);
}

std::int32_t img_save(std::intptr_t id, const char* path, std::int32_t encoder,
                      std::int32_t quality, std::int32_t depth) {
  if (!path || !*path) return 0;
  ImageObject* image = img_record(id);
  ImgBitmap* bitmap = img_bitmap(id);
  if (!image || !bitmap || !bitmap->pixels) return 0;
  if (depth == -1) depth = image->source_depth;
  return img_encode(path, bitmap->pixels, encoder, bitmap->width, bitmap->height, bitmap->pitch,
                    bitmap->bits_per_pixel, kImgDecodeBottomUp, quality, depth);
}

std::int32_t img_save_q(std::intptr_t id, const char* path, std::int32_t encoder,
                        std::int32_t quality) {
  return img_save(id, path, encoder, quality, -1);
}

std::int32_t img_save_default(std::intptr_t id, const char* path, std::int32_t encoder) {
  return img_save_q(id, path, encoder, 7);
}
