// The image library: numbered images over bitmap records, loading from BMP,
// ICO and registered decoders (files and memory), and saving through the
// built-in BMP writer or a registered encoder.
#pragma once
#include <cstdint>
#include <cstddef>
#include <cstdio>
#include <span>

#include "image/bitmap.h"

struct ObjectTable;

// One image of the table. handle is the address of an ImgBitmap or ImgIcon
// (the kind field tells which); it is non-zero while the image exists.
struct ImageObject {
  std::intptr_t handle;
  std::int16_t width;
  std::int16_t height;
  std::uint8_t depth;         // bits per pixel of the pixel memory
  std::uint8_t source_depth;  // bits per pixel of the source; default save depth
};

struct ImageDecodeState;

// Flag of ImageDecoder::decode: the first decoded row goes to the last row.
inline constexpr std::int32_t kImgDecodeBottomUp = 2;

// A decoder registered with img_register_decoder, tried in registration order.
struct ImageDecoder {
  int (*probe)(ImageDecodeState* state);
  int (*decode)(ImageDecodeState* state, std::uint8_t* pixels, std::int32_t pitch,
                std::int32_t flags);
  void (*close)(ImageDecodeState* state);
};

// The library's one decode state, reused by every load.
struct ImageDecodeState {
  const ImageDecoder* decoder;  // the decoder that accepted the data
  const char* path;
  std::FILE* file;             // open stream of a file load
  const std::uint8_t* memory;  // data of a memory load
  std::int32_t memory_size;
  std::int32_t from_memory;  // 1 for memory loads, 0 for files
  std::int32_t width;
  std::int32_t height;
  std::int32_t depth;  // 24 or 32
  std::int32_t reserved;
  std::intptr_t priv[8];  // decoder-private words
  std::int32_t source_depth;
};

// Encoder operations take (path, pixels, width, height, pitch, flags, quality,
// depth) and return non-zero on success.
using ImgEncodeOp = int (*)(const char* path, const std::uint8_t* pixels, std::int32_t width,
                            std::int32_t height, std::int32_t pitch, std::int32_t flags,
                            std::int32_t quality, std::int32_t depth);

struct ImageEncoder {
  std::int32_t id;
  ImgEncodeOp encode24;
  ImgEncodeOp encode32;  // may be null: 32-bit pixels are then composited over white
};

// Quality bit of img_save: map palette depths by error diffusion.
inline constexpr std::int32_t kImgQualityDither = 0x100;
// Depth bit of img_create: transparent black background.
inline constexpr std::int32_t kImgCreateTransparent = 0x100;

// Library set-up and end.
void img_init();
void img_decoders_init();
void img_register_decoder(const ImageDecoder* decoder);
int img_register_encoder(const ImageEncoder* encoder);
ObjectTable* img_objects();
ImageDecodeState* img_decode_state();
// A decoder that has said itself what went wrong with the current load
// calls this, so the loader does not add a second line about it.
void img_decode_problem_reported();

// Images. Creating and loading return the record address for id -1, else
// the handle; 0 on failure.
std::intptr_t img_create(std::intptr_t id, std::int32_t width, std::int32_t height,
                         std::int32_t depth);
std::intptr_t img_load(std::intptr_t id, const char* path);
std::intptr_t img_load_file(std::intptr_t id, const char* path, std::int32_t flags);
std::intptr_t img_catch_memory(std::intptr_t id, const void* memory);
std::intptr_t img_catch(std::intptr_t id, const void* memory, std::int32_t size);
std::intptr_t img_handle(std::intptr_t id);
std::int32_t img_width(std::intptr_t id);
std::int32_t img_height(std::intptr_t id);
std::int32_t img_is_valid(std::intptr_t id);
void img_free(std::intptr_t id);
void img_free_all();

// Decoding ahead: a thread reads and decodes the named picture files in
// order, and the first load of each name takes its picture from there. A
// file that would give a message is read again by its load, which says it.
// Ending drops the pictures nobody took; starting again ends the last run.
void img_prefetch(std::span<const char* const> names);
void img_prefetch_end();

// Saving: depth -1 means the image's source depth. Non-zero on success.
std::int32_t img_save(std::intptr_t id, const char* path, std::int32_t encoder,
                      std::int32_t quality, std::int32_t depth);
std::int32_t img_save_q(std::intptr_t id, const char* path, std::int32_t encoder,
                        std::int32_t quality);
std::int32_t img_save_default(std::intptr_t id, const char* path, std::int32_t encoder);

// Bitmap records. img_create_dib returns the ImgBitmap address as a handle
// (depth below 24 is raised to 24), zero-filled pixels, 0 on failure.
std::intptr_t img_create_dib(std::int32_t width, std::int32_t height, std::int32_t depth);
ImgBitmap* img_bitmap(std::intptr_t id);  // the bitmap of a live image, or null
ImgBitmap* img_bitmap_create(std::int32_t width, std::int32_t height, std::int32_t bits);
void img_bitmap_destroy(ImgBitmap* bitmap);
ImgIcon* img_icon_create(ImgBitmap* colour, ImgBitmap* mask);  // takes both on success
void img_icon_destroy(ImgIcon* icon);
