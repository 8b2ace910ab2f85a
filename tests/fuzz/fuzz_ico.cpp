// Fuzzes the icon reader over memory: the directory, the entry choice, bitmap
// entries with their masks and PNG entries.
#include "image/image_internal.h"
#include "tests/fuzz/fuzz_setup.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_image_library();
  if (size > 1 << 20) return 0;
  if (ImgIcon* icon = img_ico_read(data, size)) img_icon_destroy(icon);
  std::intptr_t id = img_catch(-1, data, static_cast<std::int32_t>(size));
  if (id) img_free(id);
  return 0;
}
