// Registers the PNG decoder with the image library, once per process.
#include <mutex>

#include "engine/engine.h"
#include "image/png_decoder.h"

void eng_png_init() {
  static std::once_flag done;
  std::call_once(done, [] { img_register_decoder(&img_png_decoder); });
}
