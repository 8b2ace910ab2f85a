// The gl back end (OpenGL 3.3 core) comes next; until then Auto falls back
// to the soft device.
#include "platform/video_device.h"

PlatVideo* plat_video_gl_create(PlatWindow*, int, int) {
  plat_video_set_error("the gl device is not built yet");
  return nullptr;
}
