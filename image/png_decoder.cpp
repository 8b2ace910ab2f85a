// PNG decoding over libpng. The decoder keeps libpng's reader, info, memory
// cursor, colour type and bit depth in the decode state's private words, so
// a probe leaves everything decode needs in the state.
#include "image/png_decoder.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

#include "image/image_internal.h"
#include "runtime/log.h"

namespace {
constexpr int kSignatureBytes = 8;

// Private words of the decode state.
enum PngWord { kReader = 0, kInfo = 1, kCursor = 2, kColourType = 3, kBitDepth = 4, kDecoding = 5 };

png_structp reader_of(ImageDecodeState* state) {
  return reinterpret_cast<png_structp>(state->priv[kReader]);
}
png_infop info_of(ImageDecodeState* state) {
  return reinterpret_cast<png_infop>(state->priv[kInfo]);
}

bool signature_matches(ImageDecodeState* state) {
  png_byte signature[kSignatureBytes];
  if (state->from_memory) {
    if (!state->memory || state->memory_size < kSignatureBytes) return false;
    std::memcpy(signature, state->memory, kSignatureBytes);
  } else if (!state->file ||
             std::fread(signature, 1, kSignatureBytes, state->file) != kSignatureBytes) {
    return false;
  }
  return png_sig_cmp(signature, 0, kSignatureBytes) == 0;
}

// Reads the header and chooses the transformations. Runs under the jump
// point that probe has set; libpng errors leave through it.
void read_header(ImageDecodeState* state) {
  png_structp reader = reader_of(state);
  if (state->from_memory) {
    state->priv[kCursor] = reinterpret_cast<std::intptr_t>(state->memory);
    png_set_read_fn(reader, nullptr, img_png_read_memory);
  } else {
    png_init_io(reader, state->file);
    png_set_sig_bytes(reader, kSignatureBytes);
  }
  png_infop info = png_create_info_struct(reader);
  state->priv[kInfo] = reinterpret_cast<std::intptr_t>(info);
  if (!info) png_error(reader, "out of memory");
  png_read_info(reader, info);
  png_uint_32 width = 0, height = 0;
  int bit_depth = 0, colour_type = 0, interlace = 0, compression = 0, filter = 0;
  png_get_IHDR(reader, info, &width, &height, &bit_depth, &colour_type, &interlace, &compression,
               &filter);
  // libpng 1.6 refuses these two after png_read_update_info, so they are set
  // here for every colour type rather than in decode.
  if (bit_depth == 16) png_set_strip_16(reader);
  png_set_bgr(reader);
  if (colour_type == PNG_COLOR_TYPE_PALETTE || colour_type == PNG_COLOR_TYPE_GRAY ||
      colour_type == PNG_COLOR_TYPE_GRAY_ALPHA) {
    state->source_depth = bit_depth;
    if (bit_depth < 8) png_set_expand(reader);
    if (colour_type == PNG_COLOR_TYPE_PALETTE)
      png_set_palette_to_rgb(reader);
    else
      png_set_gray_to_rgb(reader);
    png_set_interlace_handling(reader);
    png_read_update_info(reader, info);
    png_get_IHDR(reader, info, &width, &height, &bit_depth, &colour_type, &interlace, &compression,
                 &filter);
  } else {
    state->source_depth = colour_type == PNG_COLOR_TYPE_RGB ? 24 : 32;
  }
  state->width = static_cast<std::int32_t>(width);
  state->height = static_cast<std::int32_t>(height);
  state->priv[kColourType] = colour_type;
  state->priv[kBitDepth] = bit_depth;
  state->depth = colour_type == PNG_COLOR_TYPE_RGB ? 24 : 32;
}

void read_rows(ImageDecodeState* state, std::uint8_t* pixels, std::int32_t pitch,
               std::int32_t flags) {
  png_structp reader = reader_of(state);
  const int passes = png_set_interlace_handling(reader);
  const bool bottom_up = (flags & kImgDecodeBottomUp) != 0;
  const std::ptrdiff_t step = bottom_up ? -std::ptrdiff_t{pitch} : pitch;
  for (int pass = 0; pass < passes; ++pass) {
    png_bytep row = bottom_up ? pixels + std::ptrdiff_t{state->height - 1} * pitch : pixels;
    for (std::int32_t y = 0; y < state->height; ++y, row += step)
      png_read_rows(reader, &row, nullptr, 1);
  }
}

// libpng's messages, through the channel with the file's name instead of
// straight to standard error.
const char* source_name(const ImageDecodeState* state) {
  return !state->from_memory && state->path ? state->path : "a picture in memory";
}

// Bytes of the source consumed so far and whether that is all there is.
long consumed(const ImageDecodeState* state, bool* at_end) {
  if (state->from_memory) {
    const auto* cursor = reinterpret_cast<const std::uint8_t*>(state->priv[kCursor]);
    const long at = cursor ? static_cast<long>(cursor - state->memory) : 0;
    *at_end = at >= state->memory_size;
    return at;
  }
  *at_end = state->file && std::feof(state->file);
  return state->file ? std::ftell(state->file) : 0;
}

[[noreturn]] void on_png_error(png_structp reader, png_const_charp message) {
  auto* state = static_cast<ImageDecodeState*>(png_get_error_ptr(reader));
  bool at_end = false;
  const long at = consumed(state, &at_end);
  if (!img_decode_quiet())
    rt_log(kRtLogWarning, "image", "%s: %s at byte %ld (libpng: %s); %s", source_name(state),
           at_end ? "truncated" : "damaged PNG data", at, message,
           state->priv[kDecoding] ? "the rest of the picture stays blank" : "no picture");
  img_decode_problem_reported();
  png_longjmp(reader, 1);
}

void on_png_warning(png_structp reader, png_const_charp message) {
  auto* state = static_cast<ImageDecodeState*>(png_get_error_ptr(reader));
  if (img_decode_quiet())
    img_decode_problem_reported();  // its load reads the file again and says it
  else
    rt_log(kRtLogWarning, "image", "%s: libpng: %s", source_name(state), message);
}
}  // namespace

int img_png_probe(ImageDecodeState* state) {
  if (!signature_matches(state)) return 0;
  png_structp reader =
      png_create_read_struct(PNG_LIBPNG_VER_STRING, state, on_png_error, on_png_warning);
  if (!reader) return 0;
  state->priv[kReader] = reinterpret_cast<std::intptr_t>(reader);
  state->priv[kInfo] = 0;
  state->priv[kDecoding] = 0;
  if (setjmp(*png_set_longjmp_fn(reader, std::longjmp, sizeof(std::jmp_buf)))) {
    img_png_close(state);
    return 0;
  }
  read_header(state);
  return 1;
}

int img_png_decode(ImageDecodeState* state, std::uint8_t* pixels, std::int32_t pitch,
                   std::int32_t flags) {
  png_structp reader = reader_of(state);
  if (!reader || !pixels) return 0;
  if (setjmp(*png_set_longjmp_fn(reader, std::longjmp, sizeof(std::jmp_buf)))) return 0;
  state->priv[kDecoding] = 1;
  read_rows(state, pixels, pitch, flags);
  return 1;
}

void img_png_close(ImageDecodeState* state) {
  png_structp reader = reader_of(state);
  png_infop info = info_of(state);
  if (reader) png_destroy_read_struct(&reader, info ? &info : nullptr, nullptr);
  state->priv[kReader] = 0;
  state->priv[kInfo] = 0;
}

void img_png_read_memory(png_struct_def* reader, std::uint8_t* dest, std::size_t length) {
  ImageDecodeState* state = img_decode_state();
  auto* cursor = reinterpret_cast<const std::uint8_t*>(state->priv[kCursor]);
  const std::uint8_t* end = state->memory + state->memory_size;
  if (!cursor || cursor > end || length > static_cast<std::size_t>(end - cursor)) {
    state->priv[kCursor] = reinterpret_cast<std::intptr_t>(end);  // the message says where
    png_error(reader, "read past the end of the data");
  }
  std::memcpy(dest, cursor, length);
  state->priv[kCursor] = reinterpret_cast<std::intptr_t>(cursor + length);
}

const ImageDecoder img_png_decoder = {img_png_probe, img_png_decode, img_png_close};
