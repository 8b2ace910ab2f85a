// Opening sound files named the program's way: "Sound\New2.OGG" has a
// backslash between folder and name, which becomes a slash here.
#include <string>

#include "sound/sound.h"

std::FILE* snd_open_file(const char* path) {
  if (!path) return nullptr;
  std::string name(path);
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  return std::fopen(name.c_str(), "rb");
}
