// The PNG decoder of the image library: libpng glue that turns every PNG
// colour type into 8-bit BGR or BGRA rows, from a file or from memory.
#pragma once
#include <cstddef>
#include <cstdint>

#include "image/image.h"

struct png_struct_def;

int img_png_probe(ImageDecodeState* state);
int img_png_decode(ImageDecodeState* state, std::uint8_t* pixels, std::int32_t pitch,
                   std::int32_t flags);
void img_png_close(ImageDecodeState* state);
// libpng's read callback in memory mode; raises libpng's error rather than
// read past the end of the data.
void img_png_read_memory(png_struct_def* reader, std::uint8_t* dest, std::size_t length);

// The descriptor that eng_png_init registers.
extern const ImageDecoder img_png_decoder;
