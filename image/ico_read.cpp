// Icon files: the directory, the choice of entry, and the entry's picture
// (a device-independent bitmap with its AND mask, or a PNG) turned into an
// icon record with a colour picture and a mask.
#include <cstring>
#include <span>

#include "image/bmp_read.h"
#include "image/image_internal.h"
#include "image/png_decoder.h"

namespace {
constexpr std::size_t kDirHeader = 6;
constexpr std::size_t kDirEntry = 16;
constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

// The entry with the highest bit count among those of the first entry's
// size; the earlier one wins a tie. -1 when the directory does not fit.
int choose_entry(std::span<const std::uint8_t> data) {
  if (data.size() < kDirHeader || img_le16(&data[0]) != 0 || img_le16(&data[2]) != 1) return -1;
  const std::size_t count = img_le16(&data[4]);
  if (count == 0 || kDirHeader + count * kDirEntry > data.size()) return -1;
  const std::uint8_t* first = &data[kDirHeader];
  int chosen = -1, best_bits = -1;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* e = &data[kDirHeader + i * kDirEntry];
    int bits = img_le16(e + 6);
    if (e[0] == first[0] && e[1] == first[1] && bits > best_bits) {
      best_bits = bits;
      chosen = static_cast<int>(i);
    }
  }
  return chosen;
}

// The mask of an opaque-where-alpha-is-set picture.
ImgBitmap* mask_from_alpha(const ImgBitmap* colour) {
  ImgBitmap* mask = img_bitmap_create(colour->width, colour->height, 1);
  if (!mask) return nullptr;
  for (std::int32_t y = 0; y < colour->height; ++y) {
    const std::uint8_t* c = colour->pixels + static_cast<std::ptrdiff_t>(y) * colour->pitch;
    std::uint8_t* m = mask->pixels + static_cast<std::ptrdiff_t>(y) * mask->pitch;
    for (std::int32_t x = 0; x < colour->width; ++x)
      if (colour->bits_per_pixel != 32 || c[x * 4 + 3] == 0) m[x / 8] |= 0x80 >> (x % 8);
  }
  mask->palette[0] = 0x000000;
  mask->palette[1] = 0xffffff;
  mask->palette_count = 2;
  return mask;
}

// A 32-bit copy with opaque alpha when the picture has no alpha of its own.
ImgBitmap* to32(ImgBitmap* picture) {
  if (picture->bits_per_pixel == 32) return picture;
  ImgBitmap* out = img_bitmap_create(picture->width, picture->height, 32);
  if (out) {
    for (std::int32_t y = 0; y < picture->height; ++y) {
      const std::uint8_t* s = picture->pixels + static_cast<std::ptrdiff_t>(y) * picture->pitch;
      std::uint8_t* d = out->pixels + static_cast<std::ptrdiff_t>(y) * out->pitch;
      for (std::int32_t x = 0; x < picture->width; ++x) {
        std::memcpy(d + x * 4, s + x * 3, 3);
        d[x * 4 + 3] = 255;
      }
    }
  }
  img_bitmap_destroy(picture);
  return out;
}

// A PNG entry goes through the PNG decoder over memory. The decode state is
// free at this point: the decoders are only tried after the icon attempt.
ImgIcon* read_png_entry(std::span<const std::uint8_t> image) {
  if (image.size() > INT32_MAX) return nullptr;
  ImageDecodeState* state = img_decode_state();
  if (!state) return nullptr;
  std::memset(state, 0, sizeof *state);
  state->memory = image.data();
  state->memory_size = static_cast<std::int32_t>(image.size());
  state->from_memory = 1;
  if (!img_png_probe(state)) return nullptr;
  ImgBitmap* colour = img_bitmap_create(state->width, state->height, state->depth);
  bool decoded = colour && img_png_decode(state, colour->pixels, colour->pitch, kImgDecodeBottomUp);
  img_png_close(state);
  if (!decoded) {
    img_bitmap_destroy(colour);
    return nullptr;
  }
  colour = to32(colour);
  ImgBitmap* mask = colour ? mask_from_alpha(colour) : nullptr;
  ImgIcon* icon = mask ? img_icon_create(colour, mask) : nullptr;
  if (!icon) {
    img_bitmap_destroy(colour);
    img_bitmap_destroy(mask);
  }
  return icon;
}

// Copies the AND mask rows that follow the colour rows; false when they are
// not all there.
bool read_and_mask(std::span<const std::uint8_t> image, std::size_t at, ImgBitmap* mask) {
  const std::int64_t bytes = std::int64_t{mask->pitch} * mask->height;
  if (at > image.size() || bytes > static_cast<std::int64_t>(image.size() - at)) return false;
  std::memcpy(mask->pixels, image.data() + at, static_cast<std::size_t>(bytes));
  mask->palette[0] = 0x000000;
  mask->palette[1] = 0xffffff;
  mask->palette_count = 2;
  return true;
}

ImgIcon* read_dib_entry(std::span<const std::uint8_t> image) {
  ImgDibInfo info;
  if (!img_dib_parse(image, 0, true, &info) || info.top_down) return nullptr;
  if (info.compression == kBiRle8 || info.compression == kBiRle4) return nullptr;
  ImgBitmap* colour = img_dib_decode(info, image, info.header_end);
  if (!colour) return nullptr;
  const std::size_t mask_at =
      info.header_end + static_cast<std::size_t>(img_dib_stride(info.width, info.bits)) *
                            static_cast<std::size_t>(info.height);
  ImgBitmap* mask = img_bitmap_create(info.width, info.height, 1);
  // A 32-bit picture that lacks its AND mask is still shown by its alpha.
  if (mask && !read_and_mask(image, mask_at, mask)) {
    img_bitmap_destroy(mask);
    mask = info.bits == 32 ? mask_from_alpha(colour) : nullptr;
  }
  ImgIcon* icon = mask ? img_icon_create(colour, mask) : nullptr;
  if (!icon) {
    img_bitmap_destroy(colour);
    img_bitmap_destroy(mask);
  }
  return icon;
}
}  // namespace

ImgIcon* img_ico_read(const std::uint8_t* bytes, std::size_t size) {
  if (!bytes) return nullptr;
  std::span<const std::uint8_t> data(bytes, size);
  int chosen = choose_entry(data);
  if (chosen < 0) return nullptr;
  const std::uint8_t* entry = &data[kDirHeader + static_cast<std::size_t>(chosen) * kDirEntry];
  const std::size_t length = img_le32(entry + 8);
  const std::size_t offset = img_le32(entry + 12);
  if (offset > size || length > size - offset || length < 8) return nullptr;
  std::span<const std::uint8_t> image = data.subspan(offset, length);
  if (std::memcmp(image.data(), kPngSignature, sizeof kPngSignature) == 0)
    return read_png_entry(image);
  return read_dib_entry(image);
}
