// Loading images from files and memory: bitmap files, icon files, then the
// registered decoders, in that order; plus the decoder table and the one
// decode state every load shares.
#include <cerrno>
#include <cstring>
#include <span>
#include <vector>

#include "image/bmp_read.h"
#include "image/image_internal.h"
#include "platform/files.h"
#include "runtime/heap.h"
#include "runtime/log.h"
#include "runtime/objects.h"

namespace {
constexpr int kMaxDecoders = 16;
const ImageDecoder* g_decoders[kMaxDecoders];
int g_decoder_count = 0;
ImageDecodeState* g_state = nullptr;
// Set once the current load's failure has been told (by a decoder).
thread_local bool t_reported = false;
// Set on a thread that decodes ahead of the loads.
thread_local bool t_quiet = false;

// What a load attempt produced: the handle of a bitmap or icon record.
struct Loaded {
  std::intptr_t handle = 0;
  std::int32_t source_depth = 0;
};

bool starts_bmp(std::span<const std::uint8_t> head) {
  return head.size() >= 2 && head[0] == 'B' && head[1] == 'M';
}

bool starts_ico(std::span<const std::uint8_t> head) {
  return head.size() >= 4 && head[0] == 0 && head[1] == 0 && head[2] == 1 && head[3] == 0;
}

Loaded bitmap_loaded(ImgBitmap* bitmap, std::int32_t source_bits) {
  return {reinterpret_cast<std::intptr_t>(bitmap), source_bits};
}

Loaded icon_loaded(ImgIcon* icon) {
  if (!icon) return {};
  return {reinterpret_cast<std::intptr_t>(icon), icon->colour->bits_per_pixel};
}

// A bitmap file keeps 24 bits as loaded; a 32-bit one becomes 24-bit as the
// other depths already are, losing its alpha.
Loaded load_bmp_file(std::span<const std::uint8_t> data) {
  std::int32_t source_bits = 0;
  ImgBitmap* bitmap = img_bmp_read(data.data(), data.size(), &source_bits);
  if (bitmap && bitmap->bits_per_pixel == 32) {
    if (ImgBitmap* converted = img_bitmap_to24(bitmap)) {
      img_bitmap_destroy(bitmap);
      bitmap = converted;
    }
  }
  return bitmap ? bitmap_loaded(bitmap, source_bits) : Loaded{};
}

// Creates the picture of the decoder that accepted the data, then closes the
// decoder (and the file). A failed decode still yields the picture.
Loaded decode_picture(ImageDecodeState* state) {
  ImgBitmap* bitmap = nullptr;
  if (state->depth == 24 || state->depth == 32)
    bitmap = img_bitmap_create(state->width, state->height, state->depth);
  if (bitmap) state->decoder->decode(state, bitmap->pixels, bitmap->pitch, kImgDecodeBottomUp);
  state->decoder->close(state);
  if (!state->from_memory && state->file) {
    std::fclose(state->file);
    state->file = nullptr;
  }
  return bitmap ? bitmap_loaded(bitmap, state->source_depth) : Loaded{};
}

Loaded decode_file(ImageDecodeState* state, const char* path) {
  if (!state) return {};
  std::memset(state, 0, sizeof *state);
  state->path = path;
  state->file = img_open_file(path, "rb");
  if (!state->file) return {};
  for (int i = 0; i < g_decoder_count; ++i) {
    std::fseek(state->file, 0, SEEK_SET);
    if (g_decoders[i]->probe(state)) {
      state->decoder = g_decoders[i];
      return decode_picture(state);
    }
  }
  std::fclose(state->file);
  state->file = nullptr;
  return {};
}

Loaded decode_memory(std::span<const std::uint8_t> data) {
  ImageDecodeState* state = img_decode_state();
  if (!state) return {};
  std::memset(state, 0, sizeof *state);
  state->memory = data.data();
  state->memory_size = static_cast<std::int32_t>(data.size());
  state->from_memory = 1;
  for (int i = 0; i < g_decoder_count; ++i) {
    std::memset(state->priv, 0, sizeof state->priv);
    if (g_decoders[i]->probe(state)) {
      state->decoder = g_decoders[i];
      return decode_picture(state);
    }
  }
  return {};
}

// The whole file when it begins like a bitmap or icon file; those two are
// read from memory, everything else goes to the decoders as a stream.
bool read_bitmap_or_icon(const char* path, std::vector<std::uint8_t>* out) {
  std::FILE* file = img_open_file(path, "rb");
  if (!file) return false;
  std::uint8_t head[4] = {};
  const std::size_t got = std::fread(head, 1, sizeof head, file);
  bool ok = starts_bmp({head, got}) || starts_ico({head, got});
  if (ok) {
    out->assign(head, head + got);
    std::uint8_t buffer[65536];
    std::size_t more = 0;
    while ((more = std::fread(buffer, 1, sizeof buffer, file)) > 0)
      out->insert(out->end(), buffer, buffer + more);
    ok = !std::ferror(file);
  }
  std::fclose(file);
  return ok;
}

Loaded load_file(const char* path) {
  std::int32_t ahead_depth = 0;
  if (ImgBitmap* ahead = img_prefetch_take(path, &ahead_depth))
    return bitmap_loaded(ahead, ahead_depth);
  std::vector<std::uint8_t> data;
  if (read_bitmap_or_icon(path, &data)) {
    if (starts_bmp(data))
      if (Loaded bmp = load_bmp_file(data); bmp.handle) return bmp;
    if (starts_ico(data))
      if (Loaded ico = icon_loaded(img_ico_read(data.data(), data.size())); ico.handle) return ico;
  }
  data = {};
  return decode_file(img_decode_state(), path);
}

Loaded load_memory(std::span<const std::uint8_t> data) {
  if (starts_bmp(data)) {
    std::int32_t source_bits = 0;
    if (ImgBitmap* bitmap = img_bmp_read(data.data(), data.size(), &source_bits))
      return bitmap_loaded(bitmap, source_bits);
  }
  if (starts_ico(data))
    if (Loaded ico = icon_loaded(img_ico_read(data.data(), data.size())); ico.handle) return ico;
  return decode_memory(data);
}

// Says once why a file gave no picture: where it was looked for, why it
// could not be opened, or what its first bytes are not.
void report_file_failure(const char* path) {
  if (t_reported) return;
  errno = 0;
  std::FILE* file = img_open_file(path, "rb");
  if (!file) {
    rt_log(kRtLogWarning, "image", "%s: %s; no picture", path,
           plat_open_problem(path, errno).c_str());
    return;
  }
  std::uint8_t head[4] = {};
  const std::size_t got = std::fread(head, 1, sizeof head, file);
  std::fclose(file);
  const char* why = "not a picture (no reader knows its first bytes)";
  if (got == 0)
    why = "empty file";
  else if (starts_bmp({head, got}) || starts_ico({head, got}))
    why = "not a readable BMP or ICO picture";
  rt_log(kRtLogWarning, "image", "%s: %s; no picture", path, why);
}

void report_memory_failure(std::size_t size) {
  if (!t_reported)
    rt_log(kRtLogWarning, "image", "a picture in memory (%zu bytes): not a picture; no picture",
           size);
}

std::intptr_t store(std::intptr_t id, ImageObject* image, Loaded loaded) {
  if (!loaded.handle) {
    if (id == -1) rt_object_release(img_objects(), reinterpret_cast<std::intptr_t>(image));
    return 0;
  }
  return img_finish_record(id, image, loaded.handle, loaded.source_depth);
}
}  // namespace

void img_decoders_init() {
  g_decoder_count = 0;
  if (!g_state)
    g_state = static_cast<ImageDecodeState*>(rt_heap_alloc(rt_heap_main(), sizeof *g_state));
  else
    std::memset(g_state, 0, sizeof *g_state);
}

void img_register_decoder(const ImageDecoder* decoder) {
  if (!decoder || g_decoder_count >= kMaxDecoders) return;
  g_decoders[g_decoder_count++] = decoder;
}

ImageDecodeState* img_decode_state() {
  // Loads may come before the library set-up in tests; the state is then
  // made on first use.
  if (!g_state)
    g_state = static_cast<ImageDecodeState*>(rt_heap_alloc(rt_heap_main(), sizeof *g_state));
  return rt_thread_data(g_state);
}

void img_decode_problem_reported() {
  t_reported = true;
}

bool img_decode_quiet() {
  return t_quiet;
}

ImgBitmap* img_decode_file_ahead(const char* path, std::int32_t* source_depth) {
  ImageDecodeState state{};
  t_quiet = true;
  t_reported = false;
  const Loaded loaded = decode_file(&state, path);
  t_quiet = false;
  // Null when the decoders refuse the file (it may still be a bitmap or
  // icon file) or had something to say: its load reads it and says it.
  auto* bitmap = reinterpret_cast<ImgBitmap*>(loaded.handle);
  if (bitmap && t_reported) {
    img_bitmap_destroy(bitmap);
    bitmap = nullptr;
  }
  *source_depth = loaded.source_depth;
  return bitmap;
}

std::FILE* img_open_file(const char* path, const char* mode) {
  if (!path || !*path) return nullptr;
  return plat_fopen(path, mode);
}

std::intptr_t img_load(std::intptr_t id, const char* path) {
  return img_load_file(id, path, 0);
}

std::intptr_t img_load_file(std::intptr_t id, const char* path, std::int32_t /*flags*/) {
  auto* image = static_cast<ImageObject*>(rt_object_alloc(img_objects(), id));
  if (!image) return 0;
  t_reported = false;
  const Loaded loaded = path ? load_file(path) : Loaded{};
  if (!loaded.handle && path) report_file_failure(path);
  return store(id, image, loaded);
}

std::intptr_t img_catch_memory(std::intptr_t id, const void* memory) {
  return img_catch(id, memory, 10000000);
}

std::intptr_t img_catch(std::intptr_t id, const void* memory, std::int32_t size) {
  auto* image = static_cast<ImageObject*>(rt_object_alloc(img_objects(), id));
  if (!image) return 0;
  if (!memory || size <= 0) return store(id, image, {});
  std::span<const std::uint8_t> data(static_cast<const std::uint8_t*>(memory),
                                     static_cast<std::size_t>(size));
  t_reported = false;
  const Loaded loaded = load_memory(data);
  if (!loaded.handle) report_memory_failure(data.size());
  return store(id, image, loaded);
}
