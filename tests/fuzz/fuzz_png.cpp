// Fuzzes the PNG decoder over memory: through the library's decoder path, and
// by hand in both row orders into a buffer of exactly the probed size.
#include <cstring>
#include <vector>

#include "tests/fuzz/fuzz_setup.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_image_library();
  if (size > 1 << 20 || fuzz_declares_huge_picture(data, size)) return 0;
  std::intptr_t id = img_catch(-1, data, static_cast<std::int32_t>(size));
  if (id) img_free(id);
  ImageDecodeState* state = img_decode_state();
  std::memset(state, 0, sizeof *state);
  state->memory = data;
  state->memory_size = static_cast<std::int32_t>(size);
  state->from_memory = 1;
  if (!img_png_probe(state)) return 0;
  const std::int32_t pitch = img_row_pitch(state->width, state->depth);
  const std::int64_t bytes = std::int64_t{pitch} * state->height;
  if (pitch > 0 && bytes <= (std::int64_t{64} << 20)) {
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(bytes));
    img_png_decode(state, pixels.data(), pitch, size % 2 ? kImgDecodeBottomUp : 0);
  }
  img_png_close(state);
  return 0;
}
