// Device-independent bitmap decoding: info headers, colour tables, bit fields,
// uncompressed rows (bottom-up or top-down) and RLE8/RLE4 streams. Every
// offset and count is checked against the data before it is used.
#include "image/bmp_read.h"

#include <bit>
#include <cstring>

#include "image/image_internal.h"

namespace {
constexpr std::int32_t kMaxSide = 32767;

bool known_header(std::uint32_t size) {
  return size == 12 || size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

bool valid_format(std::int32_t bits, std::uint32_t compression, bool top_down) {
  switch (compression) {
    case kBiRgb:
      return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    case kBiRle8:
      return bits == 8 && !top_down;
    case kBiRle4:
      return bits == 4 && !top_down;
    case kBiBitfields:
      return bits == 16 || bits == 32;
    default:
      return false;
  }
}

// A bit-field mask must be one run of set bits (or empty).
bool contiguous(std::uint32_t mask) {
  if (mask == 0) return true;
  std::uint32_t shifted = mask >> std::countr_zero(mask);
  return (shifted & (shifted + 1)) == 0;
}

bool read_masks(std::span<const std::uint8_t> data, std::size_t at, ImgDibInfo* info) {
  if (info->bits == 16 && info->compression == kBiRgb) {
    info->masks = {0x7c00, 0x03e0, 0x001f, 0};
    return true;
  }
  if (info->compression != kBiBitfields) return true;
  std::size_t count = info->header_size >= 56 ? 4 : 3;
  if (info->header_size == 40) at = info->header_end;  // masks follow a 40-byte header
  if (at + count * 4 > data.size()) return false;
  for (std::size_t i = 0; i < count; ++i) info->masks[i] = img_le32(&data[at + i * 4]);
  if (info->header_size == 40) info->header_end += 12;
  for (std::uint32_t mask : info->masks)
    if (!contiguous(mask)) return false;
  return (info->masks[0] | info->masks[1] | info->masks[2]) != 0;
}

bool read_palette(std::span<const std::uint8_t> data, std::uint32_t colours_used,
                  ImgDibInfo* info) {
  if (info->bits > 8) return true;
  std::uint32_t full = 1u << info->bits;
  std::uint32_t count = colours_used == 0 || colours_used > full ? full : colours_used;
  std::size_t entry = info->header_size == 12 ? 3 : 4;
  std::size_t at = info->header_end;
  if (at + count * entry > data.size()) return false;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t* p = &data[at + i * entry];
    info->palette[i] = (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
  }
  info->palette_count = static_cast<std::int32_t>(count);
  info->header_end = at + count * entry;
  return true;
}

// Scales the field of a bit-field mask to 8 bits, repeating the high bits
// of narrow fields so that the largest value becomes 255.
struct Channel {
  int shift = 0;
  int width = 0;
  explicit Channel(std::uint32_t mask) {
    if (mask == 0) return;
    shift = std::countr_zero(mask);
    width = std::popcount(mask);
  }
  std::uint8_t operator()(std::uint32_t pixel) const {
    if (width == 0) return 0;
    std::uint32_t v = (pixel >> shift) & ((width >= 32) ? 0xffffffffu : ((1u << width) - 1));
    if (width >= 8) return static_cast<std::uint8_t>(v >> (width - 8));
    std::uint32_t out = 0;
    for (int filled = 0; filled < 8; filled += width) out = (out << width) | v;
    int extra = ((8 + width - 1) / width) * width - 8;
    return static_cast<std::uint8_t>(out >> extra);
  }
};

void put(std::uint8_t* out, int bytes, std::uint32_t rgb, std::uint8_t alpha) {
  out[0] = static_cast<std::uint8_t>(rgb);
  out[1] = static_cast<std::uint8_t>(rgb >> 8);
  out[2] = static_cast<std::uint8_t>(rgb >> 16);
  if (bytes == 4) out[3] = alpha;
}

void decode_row(const ImgDibInfo& info, const std::uint8_t* src, std::uint8_t* out) {
  const int bytes = info.bits == 32 ? 4 : 3;
  const std::int32_t w = info.width;
  if (info.bits <= 8) {
    const int per_byte = 8 / info.bits;
    const std::uint32_t index_mask = (1u << info.bits) - 1;
    for (std::int32_t x = 0; x < w; ++x) {
      int shift = 8 - info.bits * (1 + x % per_byte);
      std::uint32_t index = (src[x / per_byte] >> shift) & index_mask;
      put(out + x * 3, 3, info.palette[index], 0);
    }
  } else if (info.bits == 24) {
    std::memcpy(out, src, static_cast<std::size_t>(w) * 3);
  } else if (info.bits == 32 && info.compression == kBiRgb) {
    std::memcpy(out, src, static_cast<std::size_t>(w) * 4);
  } else {
    const Channel red(info.masks[0]), green(info.masks[1]), blue(info.masks[2]),
        alpha(info.masks[3]);
    for (std::int32_t x = 0; x < w; ++x) {
      std::uint32_t pixel = info.bits == 16 ? img_le16(src + x * 2) : img_le32(src + x * 4);
      std::uint32_t rgb = (std::uint32_t{red(pixel)} << 16) | (green(pixel) << 8) | blue(pixel);
      put(out + x * bytes, bytes, rgb, alpha(pixel));
    }
  }
}

// Whether the rows of an uncompressed picture are all in the data. The last
// row may lack its padding; everything else must be there.
bool rows_fit(const ImgDibInfo& info, std::size_t available) {
  const std::int64_t stride = img_dib_stride(info.width, info.bits);
  const std::int64_t row_bytes = (std::int64_t{info.width} * info.bits + 7) / 8;
  return stride > 0 &&
         stride * (info.height - 1) + row_bytes <= static_cast<std::int64_t>(available);
}

void decode_rows(const ImgDibInfo& info, std::span<const std::uint8_t> data, std::size_t offset,
                 ImgBitmap* out) {
  const std::int64_t stride = img_dib_stride(info.width, info.bits);
  for (std::int32_t r = 0; r < info.height; ++r) {
    std::int32_t dest_row = info.top_down ? info.height - 1 - r : r;
    decode_row(info, data.data() + offset + stride * r,
               out->pixels + static_cast<std::ptrdiff_t>(dest_row) * out->pitch);
  }
}

// RLE8 and RLE4: runs, escapes (end of line, end of bitmap, delta) and
// absolute runs. Pixels outside the picture are dropped; the stream may end
// anywhere, which leaves the rest black.
void decode_rle(const ImgDibInfo& info, std::span<const std::uint8_t> data, std::size_t pos,
                ImgBitmap* out) {
  const bool four = info.compression == kBiRle4;
  std::int64_t x = 0, y = 0;
  auto plot = [&](std::uint32_t index) {
    if (x >= 0 && x < info.width && y < info.height)
      put(out->pixels + y * out->pitch + x * 3, 3, info.palette[index], 0);
    ++x;
  };
  const std::size_t end = data.size();
  while (pos + 2 <= end && y < info.height) {
    std::uint8_t count = data[pos], value = data[pos + 1];
    pos += 2;
    if (count > 0) {
      for (int i = 0; i < count; ++i) plot(four ? (i % 2 == 0 ? value >> 4 : value & 15) : value);
      continue;
    }
    if (value == 0) {
      x = 0;
      ++y;
    } else if (value == 1) {
      return;
    } else if (value == 2) {
      if (pos + 2 > end) return;
      x += data[pos];
      y += data[pos + 1];
      pos += 2;
    } else {
      std::size_t bytes = four ? (value + 1u) / 2 : value;
      std::size_t padded = (bytes + 1) & ~std::size_t{1};
      if (pos + bytes > end) return;
      for (int i = 0; i < value; ++i) {
        std::uint8_t b = data[pos + (four ? i / 2 : i)];
        plot(four ? (i % 2 == 0 ? b >> 4 : b & 15) : b);
      }
      pos += padded;
    }
  }
}
}  // namespace

std::int64_t img_dib_stride(std::int32_t width, std::int32_t bits) {
  std::int64_t stride = ((std::int64_t{width} * bits + 31) / 32) * 4;
  return stride > INT32_MAX ? -1 : stride;
}

bool img_dib_parse(std::span<const std::uint8_t> data, std::size_t start, bool icon_rows,
                   ImgDibInfo* info) {
  *info = ImgDibInfo{};
  if (start + 4 > data.size()) return false;
  const std::uint8_t* h = &data[start];
  info->header_size = img_le32(h);
  if (!known_header(info->header_size) || start + info->header_size > data.size()) return false;
  info->header_end = start + info->header_size;
  std::int64_t height = 0;
  std::uint32_t colours_used = 0;
  if (info->header_size == 12) {
    info->width = img_le16(h + 4);
    height = img_le16(h + 6);
    info->bits = img_le16(h + 10);
    info->compression = kBiRgb;
  } else {
    info->width = static_cast<std::int32_t>(img_le32(h + 4));
    height = static_cast<std::int32_t>(img_le32(h + 8));
    info->bits = img_le16(h + 14);
    info->compression = img_le32(h + 16);
    colours_used = img_le32(h + 32);
  }
  info->top_down = height < 0;
  if (info->top_down) height = -height;
  if (icon_rows) height /= 2;
  if (info->width <= 0 || height <= 0 || info->width > kMaxSide || height > kMaxSide) return false;
  info->height = static_cast<std::int32_t>(height);
  if (!valid_format(info->bits, info->compression, info->top_down)) return false;
  return read_masks(data, start + 40, info) && read_palette(data, colours_used, info);
}

ImgBitmap* img_dib_decode(const ImgDibInfo& info, std::span<const std::uint8_t> data,
                          std::size_t offset) {
  const bool rle = info.compression == kBiRle8 || info.compression == kBiRle4;
  if (offset > data.size() || (!rle && !rows_fit(info, data.size() - offset))) return nullptr;
  ImgBitmap* out = img_bitmap_create(info.width, info.height, info.bits == 32 ? 32 : 24);
  if (!out) return nullptr;
  if (rle)
    decode_rle(info, data, offset, out);
  else
    decode_rows(info, data, offset, out);
  return out;
}

ImgBitmap* img_bitmap_to24(const ImgBitmap* source) {
  ImgBitmap* out = img_bitmap_create(source->width, source->height, 24);
  if (!out) return nullptr;
  for (std::int32_t y = 0; y < source->height; ++y) {
    const std::uint8_t* s = source->pixels + static_cast<std::ptrdiff_t>(y) * source->pitch;
    std::uint8_t* d = out->pixels + static_cast<std::ptrdiff_t>(y) * out->pitch;
    for (std::int32_t x = 0; x < source->width; ++x) std::memcpy(d + x * 3, s + x * 4, 3);
  }
  return out;
}

// A BMP file image: the 14-byte file header, then an info header; the pixels
// at bfOffBits (or right after the colour table when that is 0). A 32-bit
// picture whose alpha bytes are all 0 becomes opaque.
ImgBitmap* img_bmp_read(const std::uint8_t* bytes, std::size_t size, std::int32_t* source_bits) {
  if (!bytes || size < 18 || bytes[0] != 'B' || bytes[1] != 'M') return nullptr;
  std::span<const std::uint8_t> data(bytes, size);
  ImgDibInfo info;
  if (!img_dib_parse(data, 14, false, &info)) return nullptr;
  std::size_t offset = img_le32(bytes + 10);
  if (offset == 0) offset = info.header_end;
  ImgBitmap* out = img_dib_decode(info, data, offset);
  if (!out) return nullptr;
  if (out->bits_per_pixel == 32) {
    const std::size_t total = static_cast<std::size_t>(out->pitch) * out->height;
    bool any_alpha = false;
    for (std::size_t i = 3; i < total && !any_alpha; i += 4) any_alpha = out->pixels[i] != 0;
    if (!any_alpha)
      for (std::size_t i = 3; i < total; i += 4) out->pixels[i] = 255;
  }
  if (source_bits) *source_bits = info.bits;
  return out;
}
