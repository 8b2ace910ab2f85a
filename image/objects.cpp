// The image table and the bitmap records behind it: creating, looking up and
// freeing images. Loading and saving live in objects_load.cpp and
// objects_save.cpp.
#include <cstdlib>
#include <cstring>
#include <limits>

#include "image/image_internal.h"
#include "platform/heap_tuning.h"
#include "runtime/objects.h"

static_assert(sizeof(ImageObject) == 16, "the image table keeps 16-byte records");

namespace {
ObjectTable* g_images = nullptr;

// The largest pixel block a bitmap may have; larger sizes (and any whose
// byte count would overflow) are refused rather than attempted.
constexpr std::int64_t kMaxPixelBytes = std::int64_t{1} << 30;
// The image record keeps its sizes in 16 bits.
constexpr std::int32_t kMaxSide = std::numeric_limits<std::int16_t>::max();

// The object table reads a record as live while its first 32-bit word is
// non-zero, and that word holds the low half of the record address. An
// address whose low half is zero is therefore traded for another one.
template <typename T>
T* alloc_record() {
  void* first = std::calloc(1, sizeof(T));
  if (!first || (reinterpret_cast<std::uintptr_t>(first) & 0xffffffffu) != 0)
    return static_cast<T*>(first);
  void* second = std::calloc(1, sizeof(T));
  std::free(first);
  return static_cast<T*>(second);
}

void fill32(ImgBitmap* bitmap, std::uint32_t value) {
  for (std::int32_t y = 0; y < bitmap->height; ++y) {
    std::uint8_t* row = bitmap->pixels + static_cast<std::ptrdiff_t>(y) * bitmap->pitch;
    for (std::int32_t x = 0; x < bitmap->width; ++x) std::memcpy(row + x * 4, &value, 4);
  }
}
}  // namespace

std::int32_t img_row_pitch(std::int32_t width, std::int32_t bits_per_pixel) {
  switch (bits_per_pixel) {
    case 1:
      return ((width + 31) / 32) * 4;
    case 4:
      return ((width + 7) / 8) * 4;
    case 8:
      return ((width + 3) / 4) * 4;
    case 15:
    case 16:
      return ((width + 1) / 2) * 4;
    case 24:
      return ((3 * width + 3) / 4) * 4;
    default:
      return width * 4;
  }
}

ImgBitmap* img_bitmap_create(std::int32_t width, std::int32_t height, std::int32_t bits) {
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return nullptr;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return nullptr;
  std::int32_t pitch = img_row_pitch(width, bits);
  std::int64_t bytes = std::int64_t{pitch} * height;
  if (bytes > kMaxPixelBytes) return nullptr;
  auto* bitmap = alloc_record<ImgBitmap>();
  if (!bitmap) return nullptr;
  bitmap->pixels = static_cast<std::uint8_t*>(std::calloc(static_cast<std::size_t>(bytes), 1));
  if (!bitmap->pixels) {
    std::free(bitmap);
    return nullptr;
  }
  // A picture is nearly always written whole next: filled, decoded, drawn.
  plat_memory_populate(bitmap->pixels, static_cast<std::size_t>(bytes));
  bitmap->kind = kImgKindBitmap;
  bitmap->width = width;
  bitmap->height = height;
  bitmap->bits_per_pixel = bits;
  bitmap->pitch = pitch;
  return bitmap;
}

void img_bitmap_destroy(ImgBitmap* bitmap) {
  if (!bitmap) return;
  std::free(bitmap->pixels);
  std::free(bitmap);
}

ImgIcon* img_icon_create(ImgBitmap* colour, ImgBitmap* mask) {
  auto* icon = alloc_record<ImgIcon>();
  if (!icon) return nullptr;
  icon->kind = kImgKindIcon;
  icon->colour = colour;
  icon->mask = mask;
  return icon;
}

void img_icon_destroy(ImgIcon* icon) {
  if (!icon) return;
  img_bitmap_destroy(icon->colour);
  img_bitmap_destroy(icon->mask);
  std::free(icon);
}

std::intptr_t img_create_dib(std::int32_t width, std::int32_t height, std::int32_t depth) {
  return reinterpret_cast<std::intptr_t>(img_bitmap_create(width, height, depth < 24 ? 24 : depth));
}

void img_init() {
  g_images = rt_objects_create(sizeof(ImageObject), 16, img_free);
}

ObjectTable* img_objects() {
  return g_images;
}

ImageObject* img_record(std::intptr_t id) {
  return static_cast<ImageObject*>(rt_object_get(g_images, id));
}

ImgBitmap* img_bitmap(std::intptr_t id) {
  ImageObject* image = img_record(id);
  if (!image) return nullptr;
  auto* bitmap = reinterpret_cast<ImgBitmap*>(image->handle);
  return bitmap->kind == kImgKindBitmap ? bitmap : nullptr;
}

std::intptr_t img_finish_record(std::intptr_t id, ImageObject* image, std::intptr_t handle,
                                std::int32_t source_depth) {
  const auto* bitmap = reinterpret_cast<const ImgBitmap*>(handle);
  if (bitmap->kind == kImgKindIcon) bitmap = reinterpret_cast<const ImgIcon*>(handle)->colour;
  image->handle = handle;
  image->width = static_cast<std::int16_t>(bitmap->width);
  image->height = static_cast<std::int16_t>(bitmap->height);
  image->depth = static_cast<std::uint8_t>(bitmap->bits_per_pixel);
  image->source_depth = static_cast<std::uint8_t>(source_depth);
  return id == -1 ? reinterpret_cast<std::intptr_t>(image) : handle;
}

std::intptr_t img_create(std::intptr_t id, std::int32_t width, std::int32_t height,
                         std::int32_t depth) {
  std::uint32_t fill = 0xff000000u;
  if (depth & kImgCreateTransparent) {
    fill = 0;
    depth &= ~kImgCreateTransparent;
  }
  auto* image = static_cast<ImageObject*>(rt_object_alloc(g_images, id));
  if (!image) return 0;
  auto* bitmap = reinterpret_cast<ImgBitmap*>(img_create_dib(width, height, depth));
  if (!bitmap) {
    if (id == -1) rt_object_release(g_images, reinterpret_cast<std::intptr_t>(image));
    return 0;
  }
  // Fresh pixel memory is zero, which is already the black of 24-bit images
  // and the transparent black of 32-bit ones.
  if (bitmap->bits_per_pixel == 32 && fill != 0) fill32(bitmap, fill);
  return img_finish_record(id, image, reinterpret_cast<std::intptr_t>(bitmap),
                           bitmap->bits_per_pixel);
}

std::intptr_t img_handle(std::intptr_t id) {
  ImageObject* image = img_record(id);
  return image ? image->handle : 0;
}

std::int32_t img_width(std::intptr_t id) {
  ImageObject* image = img_record(id);
  return image ? image->width : 0;
}

std::int32_t img_height(std::intptr_t id) {
  ImageObject* image = img_record(id);
  return image ? image->height : 0;
}

std::int32_t img_is_valid(std::intptr_t id) {
  ImageObject* image = static_cast<ImageObject*>(rt_object_find(g_images, id));
  return image && image->handle != 0 ? 1 : 0;
}

void img_free(std::intptr_t id) {
  if (id == -1) return;
  ImageObject* image = img_record(id);
  if (!image) return;
  auto* bitmap = reinterpret_cast<ImgBitmap*>(image->handle);
  if (bitmap->kind == kImgKindBitmap)
    img_bitmap_destroy(bitmap);
  else
    img_icon_destroy(reinterpret_cast<ImgIcon*>(image->handle));
  rt_object_release(g_images, id);
}

void img_free_all() {
  if (!g_images) return;
  rt_objects_enum_start(g_images);
  std::intptr_t id = 0;
  while (rt_objects_enum_next(g_images, &id)) img_free(id);
}
