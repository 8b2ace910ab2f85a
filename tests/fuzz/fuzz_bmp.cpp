// Fuzzes the BMP reader over memory, with the memory path's alpha rule and
// the file path's conversion to 24 bits.
#include "image/image_internal.h"
#include "image/bmp_read.h"
#include "tests/fuzz/fuzz_setup.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_image_library();
  if (size > 1 << 20 || fuzz_declares_huge_picture(data, size)) return 0;
  std::intptr_t id = img_catch(-1, data, static_cast<std::int32_t>(size));
  if (id) img_free(id);
  std::int32_t bits = 0;
  if (ImgBitmap* bitmap = img_bmp_read(data, size, &bits)) {
    if (bitmap->bits_per_pixel == 32) img_bitmap_destroy(img_bitmap_to24(bitmap));
    img_bitmap_destroy(bitmap);
  }
  return 0;
}
