// Internals of the image library shared by its loaders, its writer and their
// tests: image records, file opening, the BMP and ICO readers and the encoders.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "image/image.h"

// The live record of an image, or null.
ImageObject* img_record(std::intptr_t id);
// Fills a record for a bitmap or icon handle; the result of a create or load.
std::intptr_t img_finish_record(std::intptr_t id, ImageObject* image, std::intptr_t handle,
                                std::int32_t source_depth);
// Opens a file the way the program names it ("GFX\\Tile1.png"), looked up
// where the platform looks for the program's files.
std::FILE* img_open_file(const char* path, const char* mode);
// Decodes a picture file through the registered decoders with a state of
// its own and without a word: null when it fails or gives any message.
ImgBitmap* img_decode_file_ahead(const char* path, std::int32_t* source_depth);
// True while this thread decodes ahead: decoders keep their messages back.
bool img_decode_quiet();
// The picture decoded ahead for the first load of name, or null.
ImgBitmap* img_prefetch_take(const char* name, std::int32_t* source_depth);
// Reads a BMP file image (file header first); null when it is not a valid BMP.
ImgBitmap* img_bmp_read(const std::uint8_t* data, std::size_t size, std::int32_t* source_bits);
// Reads an ICO file image with the entry choice of the loader; null on failure.
ImgIcon* img_ico_read(const std::uint8_t* data, std::size_t size);
// The encoder dispatcher: pixel_depth is the memory's bits per pixel.
std::int32_t img_encode(const char* path, const std::uint8_t* pixels, std::int32_t encoder,
                        std::int32_t width, std::int32_t height, std::int32_t pitch,
                        std::int32_t pixel_depth, std::int32_t flags, std::int32_t quality,
                        std::int32_t depth);
// A channel composited over white: (a·(c − 255) + 65025) / 255.
std::uint8_t img_over_white(std::uint8_t channel, std::uint8_t alpha);
// The built-in BMP writer (encoder 0), output depth 1, 4, 8, 24 or 32.
std::int32_t img_bmp_write(const char* path, const std::uint8_t* pixels, std::int32_t width,
                           std::int32_t height, std::int32_t pitch, std::int32_t pixel_depth,
                           std::int32_t flags, std::int32_t quality, std::int32_t depth);
