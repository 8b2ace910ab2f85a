// Sets the image library up once for a fuzz target, as the program does at
// start: decoder table, image table, the PNG decoder registered.
#pragma once
#include "image/image.h"
#include "image/png_decoder.h"
#include "platform/log.h"

inline void fuzz_image_library() {
  static const bool ready = [] {
    // Every input is a bad picture; a line for each would only slow the run.
    plat_log_set_level(PlatLogLevel::Off);
    img_decoders_init();
    img_init();
    img_register_decoder(&img_png_decoder);
    return true;
  }();
  (void)ready;
}
