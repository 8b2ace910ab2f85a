// Texture records: adding and removing them with their device texture and
// CPU copy (dropped for large textures once the device holds the texels,
// read back when needed), file loads through the image library's decoders,
// the colour key, and the other texture sources (runtime images, empty
// textures, grabs).
#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/objects_internal.h"
#include "engine/state_internal.h"
#include "image/image.h"
#include "platform/heap_tuning.h"
#include "runtime/heap.h"
#include "runtime/lists.h"
#include "runtime/strings.h"

namespace {
constexpr std::int32_t kErrorTexture = kEngTextureFailed;
constexpr std::uint32_t kOpaqueBlack = 0xFF000000u;

bool has_alpha(std::int32_t format) {
  return format == kFormatA8R8G8B8;
}

bool readable(const ImgBitmap* bitmap) {
  return bitmap && bitmap->kind == kImgKindBitmap && bitmap->pixels &&
         (bitmap->bits_per_pixel == 24 || bitmap->bits_per_pixel == 32) && bitmap->width > 0 &&
         bitmap->height > 0 && bitmap->pitch >= bitmap->width * (bitmap->bits_per_pixel / 8);
}

// True when the texels hold opaque black, which a sprite made from the
// texture keys away: looked for while the row is at hand.
bool has_opaque_black(const std::uint32_t* texels, int width) {
  // In blocks of a fixed count, which the compiler makes vector code of.
  constexpr int kBlock = 8;
  const int blocks = width / kBlock * kBlock;
  std::uint32_t black = 0;
  for (int x = 0; x < blocks; x += kBlock)
    for (int k = x; k < x + kBlock; ++k) black |= texels[k] == kOpaqueBlack;
  for (int x = blocks; x < width; ++x) black |= texels[x] == kOpaqueBlack;
  return black != 0;
}

// A 32-bit row made opaque, copied and looked at for opaque black in one
// pass (start-up copies megabytes this way). SSE2, which every x86-64
// processor has, takes a third less time than the compiler's own loop.
bool copy_opaque_row(const std::uint8_t* p, int width, std::uint32_t* out) {
  int x = 0;
  std::uint32_t black = 0;
#if defined(__SSE2__)
  const __m128i opaque = _mm_set1_epi32(static_cast<int>(kOpaqueBlack));
  __m128i found = _mm_setzero_si128();
  for (; x + 4 <= width; x += 4) {
    const auto* in = reinterpret_cast<const __m128i*>(p + static_cast<std::size_t>(x) * 4);
    const __m128i texels = _mm_or_si128(_mm_loadu_si128(in), opaque);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), texels);
    found = _mm_or_si128(found, _mm_cmpeq_epi32(texels, opaque));
  }
  black = static_cast<std::uint32_t>(_mm_movemask_epi8(found));
#endif
  for (; x < width; ++x) {
    std::uint32_t texel;
    std::memcpy(&texel, p + static_cast<std::size_t>(x) * 4, 4);
    out[x] = texel | kOpaqueBlack;
    black |= out[x] == kOpaqueBlack;
  }
  return black != 0;
}

// One bitmap row (left to right) as 0xAARRGGBB texels; 24-bit pixels are
// opaque. A 32-bit row is already in texel order: one copy, made opaque
// unless keep_alpha. True when the row holds opaque black.
bool copy_row(const std::uint8_t* p, int bytes, int width, bool keep_alpha, std::uint32_t* out) {
  if (bytes == 4 && !keep_alpha) return copy_opaque_row(p, width, out);
  if (bytes == 4) {
    std::memcpy(out, p, static_cast<std::size_t>(width) * 4);
  } else {
    for (int x = 0; x < width; ++x, p += 3)
      out[x] = kOpaqueBlack | std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0];
  }
  return has_opaque_black(out, width);
}

// Copies a bitmap into a texture of its size. flip stores the rows upside
// down; without keep_alpha every texel is opaque.
void copy_bitmap(const ImgBitmap& bitmap, TextureRecord& texture, bool flip, bool keep_alpha) {
  const int bytes = bitmap.bits_per_pixel / 8;
  const auto width = static_cast<std::size_t>(bitmap.width);
  bool black = false;
  for (int y = 0; y < bitmap.height; ++y) {
    const int row = flip ? bitmap.height - 1 - y : y;
    std::uint32_t* out = texture.texels + static_cast<std::size_t>(row) * width;
    const std::uint8_t* in =
        bitmap.pixels + static_cast<std::size_t>(bitmap.height - 1 - y) * bitmap.pitch;
    black |= copy_row(in, bytes, bitmap.width, keep_alpha, out);
  }
  texture.black_free = black ? 0 : 1;
}

// Opaque black becomes transparent black; formats without alpha cannot hold
// the transparency, so there it stays black.
void key_black_on_load(TextureRecord& texture) {
  if (!has_alpha(texture.format) || texture.black_free) return;
  const std::size_t count = static_cast<std::size_t>(texture.width) * texture.height;
  std::replace(texture.texels, texture.texels + count, kOpaqueBlack, 0u);
  texture.black_free = 1;
}

std::size_t texel_bytes(int width, int height) {
  return static_cast<std::size_t>(width) * height * 4;
}

std::size_t copy_bytes(const TextureRecord& texture) {
  return texel_bytes(texture.width, texture.height);
}

// A large copy was uploaded and may not have been dropped yet: only then do
// the presents look for copies to drop.
bool g_copies_waiting = false;

// Large copies are kept only until the device has its own; one the program
// has read from since is kept for good, so reads do not go back and forth.
bool droppable(const TextureRecord& texture) {
  return texture.texels && !texture.copy_held && texture.texture &&
         copy_bytes(texture) >= kEngDropCopyBytes;
}

TextureRecord* fail(TextureRecord* texture) {
  if (texture) eng_texture_remove(texture);
  g_engine.screen.last_error = kErrorTexture;
  return nullptr;
}
}  // namespace

void eng_texture_drop_copies(std::size_t taking) {
  ListHeader* list = g_engine.textures.header;
  PlatVideo* video = g_engine.screen.video;
  if (!list || !video) return;
  g_copies_waiting = false;
  std::size_t freed = 0;
  // Walked by node: the current texture decides where the next add goes.
  for (ListNode* node = list->first; node; node = node->next) {
    auto* texture = static_cast<TextureRecord*>(rt_node_element(node));
    if (!droppable(*texture)) continue;
    if (!plat_texture_upload_done(video, texture->texture)) {
      g_copies_waiting = true;
      continue;
    }
    rt_heap_free(rt_main_heap, texture->texels);
    texture->texels = nullptr;
    freed += copy_bytes(*texture);
  }
  // Left in the heap, the rest would stay resident: nothing of that size
  // is usually allocated again.
  if (freed > taking) plat_video_release_memory(video);
}

void eng_texture_drop_waiting_copies() {
  if (g_copies_waiting) eng_texture_drop_copies();
}

std::uint32_t* eng_texture_texels(TextureRecord* texture) {
  PlatVideo* video = g_engine.screen.video;
  if (texture->texels || !texture->texture || !video) return texture->texels;
  // Zeroed, so a device that can no longer answer leaves transparent black.
  auto* copy = static_cast<std::uint32_t*>(rt_heap_alloc(rt_main_heap, copy_bytes(*texture)));
  if (!copy) return nullptr;
  plat_texture_read(video, texture->texture, copy);
  texture->texels = copy;
  texture->copy_held = 1;
  return copy;
}

TextureRecord* eng_texture_add(int width, int height, EngTextureFormat format, bool zero) {
  ListHeader* list = g_engine.textures.header;
  PlatVideo* video = g_engine.screen.video;
  if (!list || !video || width < 1 || height < 1 || width > kMaxTextureSide ||
      height > kMaxTextureSide)
    return nullptr;
  // Copies the device is done with go before the next one is taken, so
  // their memory is used again.
  eng_texture_drop_copies(texel_bytes(width, height));
  auto* texture = static_cast<TextureRecord*>(rt_list_add(list));
  if (!texture) return nullptr;
  eng_object_list_changed();
  texture->format = format;
  texture->width = width;
  texture->height = height;
  texture->texels =
      static_cast<std::uint32_t*>(rt_heap_alloc(rt_main_heap, texel_bytes(width, height), zero));
  // The copy is written whole right away (or read whole by the upload).
  plat_memory_populate(texture->texels, texel_bytes(width, height));
  texture->texture = texture->texels ? plat_texture_create(video, width, height) : 0;
  if (!texture->texture) {
    eng_texture_remove(texture);
    return nullptr;
  }
  return texture;
}

void eng_texture_remove(TextureRecord* texture) {
  if (!eng_find_texture(reinterpret_cast<EngHandle>(texture))) return;
  if (texture->texture && g_engine.screen.video)
    plat_texture_destroy(g_engine.screen.video, texture->texture);
  rt_heap_free(rt_main_heap, texture->texels);
  texture->texels = nullptr;
  rt_list_delete(g_engine.textures.header);
  eng_object_list_changed();
}

void eng_texture_upload(TextureRecord* texture) {
  if (!texture->texture || !texture->texels || !g_engine.screen.video) return;
  // The CPU copy stays as it is until the next colour key or the removal,
  // both of which take it back from the device first, so it is read from
  // in place.
  plat_texture_upload_kept(g_engine.screen.video, texture->texture, texture->texels);
  if (droppable(*texture)) g_copies_waiting = true;
}

void eng_texture_colour_key(TextureRecord* texture, std::int32_t colour) {
  const auto c = static_cast<std::uint32_t>(colour);
  const std::uint32_t key = kOpaqueBlack | (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF);
  // A texture without alpha reads as opaque; its copy already holds alpha 0xFF.
  texture->format = kFormatA8R8G8B8;
  if (key == kOpaqueBlack && texture->black_free) return;
  std::uint32_t* texels = eng_texture_texels(texture);
  if (!texels) return;
  std::uint32_t* end = texels + static_cast<std::size_t>(texture->width) * texture->height;
  // Reading does not disturb an upload still in progress; only a key that
  // changes texels takes them back from it and uploads again (a sprite load
  // keys black that the file load has keyed already).
  std::uint32_t* first = std::find(texels, end, key);
  if (key == kOpaqueBlack) texture->black_free = 1;
  if (first == end) return;
  if (texture->texture && g_engine.screen.video)
    plat_texture_wait(g_engine.screen.video, texture->texture);
  std::replace(first, end, key, 0u);
  eng_texture_upload(texture);
}

TextureRecord* eng_texture_load_file(const char* file, bool alpha) {
  if (!g_engine.textures.header) return nullptr;
  const std::intptr_t image = file && *file ? img_load(-1, file) : 0;
  const ImgBitmap* bitmap = image ? img_bitmap(image) : nullptr;
  TextureRecord* texture = nullptr;
  if (readable(bitmap))
    texture = eng_texture_add(bitmap->width, bitmap->height,
                              alpha ? kFormatA8R8G8B8 : kFormatX8R8G8B8, false);
  if (texture) {
    copy_bitmap(*bitmap, *texture, false, alpha);
    key_black_on_load(*texture);
    eng_texture_upload(texture);
    rt_str_set(&texture->file_name, file);
  }
  if (image) img_free(image);
  return texture ? texture : fail(nullptr);
}

EngHandle eng_texture_load(const char* file) {
  return reinterpret_cast<EngHandle>(eng_texture_load_file(file, false));
}

EngHandle eng_texture_transfer(std::intptr_t image, int flip, int alpha) {
  if (!g_engine.textures.header) return 0;
  const ImgBitmap* bitmap = img_bitmap(image);
  if (!bitmap) return 0;
  if (!readable(bitmap)) return reinterpret_cast<EngHandle>(fail(nullptr));
  TextureRecord* texture = eng_texture_add(bitmap->width, bitmap->height,
                                           alpha == 1 ? kFormatA8R8G8B8 : kFormatX8R8G8B8, false);
  if (!texture) return reinterpret_cast<EngHandle>(fail(nullptr));
  copy_bitmap(*bitmap, *texture, flip != 0, alpha == 1);
  eng_texture_upload(texture);
  return reinterpret_cast<EngHandle>(texture);
}

EngHandle eng_texture_from_image(std::intptr_t image_id) {
  return eng_texture_transfer(image_id, 0, 0);
}

EngHandle eng_texture_create(int width, int height) {
  if (!g_engine.textures.header) return 0;
  TextureRecord* texture = eng_texture_add(width, height, kFormatA8R8G8B8);
  if (!texture) return reinterpret_cast<EngHandle>(fail(nullptr));
  eng_texture_upload(texture);
  return reinterpret_cast<EngHandle>(texture);
}

EngHandle eng_texture_grab(EngHandle source_handle, int x, int y, int width, int height) {
  TextureRecord* source = eng_find_texture(source_handle);
  if (!source) return 0;
  TextureRecord* texture = eng_texture_add(width, height, kFormatA8R8G8B8);
  if (!texture) return 0;
  const std::uint32_t* texels = eng_texture_texels(source);
  // The part of the rectangle inside the source is copied; the rest stays
  // transparent black.
  const long long left = std::max<long long>(x, 0);
  const long long top = std::max<long long>(y, 0);
  const long long right = std::min<long long>(static_cast<long long>(x) + width, source->width);
  const long long bottom = std::min<long long>(static_cast<long long>(y) + height, source->height);
  for (long long row = top; texels && row < bottom; ++row) {
    const std::uint32_t* from = texels + row * source->width + left;
    std::uint32_t* to = texture->texels + (row - y) * width + (left - x);
    if (right > left) std::memcpy(to, from, static_cast<std::size_t>(right - left) * 4);
  }
  eng_texture_upload(texture);
  return reinterpret_cast<EngHandle>(texture);
}
