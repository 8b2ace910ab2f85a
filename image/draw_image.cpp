// Drawing images onto the target: bitmaps of 24 and 32 bits directly,
// others and resized ones through a converted copy, icons through a 32-bit
// picture whose alpha comes from the icon's mask.
#include "image/image.h"
#include "image/raster_internal.h"

namespace {

void draw_bitmap(DrawContext* c, const ImgBitmap* b, std::int32_t x, std::int32_t y,
                 std::int32_t alpha, std::int32_t flag) {
  if (b->bits_per_pixel == 32) {
    draw_blit32(c, b->pixels, b->pitch, x, y, b->width, b->height, alpha, flag);
  } else if (b->bits_per_pixel == 24) {
    draw_blit24(c, b->pixels, b->pitch, x, y, b->width, b->height, alpha, flag);
  }
}

void draw_bitmap_sized(DrawContext* c, const ImgBitmap* b, std::int32_t x, std::int32_t y,
                       std::int32_t width, std::int32_t height, std::int32_t alpha,
                       std::int32_t flag) {
  const bool resize = (width != -1 && width != b->width) || (height != -1 && height != b->height);
  if (!resize && b->bits_per_pixel >= 24) {
    draw_bitmap(c, b, x, y, alpha, flag);
    return;
  }
  ImgBitmap* copy = draw_converted_copy(b, width, height);
  if (!copy) return;
  draw_bitmap(c, copy, x, y, alpha, flag);
  img_bitmap_destroy(copy);
}

}  // namespace

void draw_image_common(DrawContext* c, std::intptr_t image, std::int32_t x, std::int32_t y,
                       std::int32_t width, std::int32_t height, std::int32_t alpha,
                       std::int32_t flag) {
  if (!image) return;
  alpha = alpha < 0 ? 0 : (alpha > 255 ? 255 : alpha);
  const std::int32_t kind = *reinterpret_cast<const std::int32_t*>(image);
  if (kind == kImgKindBitmap) {
    draw_bitmap_sized(c, reinterpret_cast<const ImgBitmap*>(image), x, y, width, height, alpha,
                      flag);
  } else if (kind == kImgKindIcon) {
    bool owned = false;
    ImgBitmap* picture = draw_icon_picture(reinterpret_cast<const ImgIcon*>(image), &owned);
    if (!picture) return;
    draw_bitmap_sized(c, picture, x, y, width, height, alpha, 1);
    if (owned) img_bitmap_destroy(picture);
  }
}

void draw_op_image(DrawContext* c, std::intptr_t image, std::int32_t x, std::int32_t y) {
  draw_image_common(c, image, x, y, -1, -1, 255, 0);
}

void draw_op_image_size(DrawContext* c, std::intptr_t image, std::int32_t x, std::int32_t y,
                        std::int32_t width, std::int32_t height) {
  draw_image_common(c, image, x, y, width, height, 255, 0);
}

void draw_op_image_alpha(DrawContext* c, std::intptr_t image, std::int32_t x, std::int32_t y,
                         std::int32_t alpha) {
  draw_image_common(c, image, x, y, -1, -1, alpha, 1);
}
