// Answers on standard output where the engine says the desktop pointer is:
// "p" prints "x y" from eng_desktop_mouse_x/_y, "w x y" warps the pointer
// there through eng_mouse_set_pos, "q" ends. For the pointer test.
#include <cstdio>
#include <cstring>

#include "engine/engine.h"
#include "platform/display.h"

int main() {
  if (!plat_display_init()) {
    std::fprintf(stderr, "pointer_probe: no display\n");
    return 2;
  }
  char line[128];
  while (std::fgets(line, sizeof line, stdin)) {
    int x = 0, y = 0;
    if (line[0] == 'q') break;
    if (line[0] == 'w' && std::sscanf(line + 1, "%d %d", &x, &y) == 2) {
      std::printf("%d\n", eng_mouse_set_pos(x, y));
    } else if (line[0] == 'p') {
      std::printf("%d %d\n", eng_desktop_mouse_x(), eng_desktop_mouse_y());
    }
    std::fflush(stdout);
  }
  return 0;
}
