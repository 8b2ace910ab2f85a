// Opening sound files named the program's way ("Sound\New2.OGG"): the
// platform's file function maps the backslashes and looks in the program's
// data folders as well as the working directory.
#include "platform/files.h"
#include "sound/sound.h"

std::FILE* snd_open_file(const char* path) {
  return path ? plat_fopen(path, "rb") : nullptr;
}
