// Sets the image library up once for a fuzz target, as the program does at
// start: decoder table, image table, the PNG decoder registered.
#pragma once
#include "image/image.h"
#include "image/png_decoder.h"

inline void fuzz_image_library() {
  static const bool ready = [] {
    img_decoders_init();
    img_init();
    img_register_decoder(&img_png_decoder);
    return true;
  }();
  (void)ready;
}
