// Start and end operations of the runtime's small libraries: the preference
// file state, the GDI object table and the file table. Nothing in the game
// opens a file or a GDI object through them; their end operations still free
// whatever is there.
#include "runtime/libraries.h"

#include <unistd.h>

#include "runtime/heap.h"

namespace {
constexpr std::int32_t kTableSlots = 16;

struct PrefsState {
  std::int32_t open;
  std::int32_t handle;
  char* name;
};
PrefsState g_prefs_record{};
PrefsState* g_prefs = nullptr;

ObjectTable* g_fonts = nullptr;
ObjectTable* g_files = nullptr;
}  // namespace

void rt_common_controls_init() {}

void rt_prefs_init() {
  g_prefs_record = PrefsState{};
  g_prefs = &g_prefs_record;
}

void rt_prefs_end() {
  PrefsState* prefs = rt_thread_data(g_prefs);
  if (!prefs || !prefs->open) return;
  if (prefs->handle > 0) close(prefs->handle - 1);
  *prefs = PrefsState{};
}

int rt_prefs_is_open() {
  return g_prefs && g_prefs->open ? 1 : 0;
}

void rt_fonts_init() {
  g_fonts = rt_objects_create(sizeof(RtFontRecord), kTableSlots, rt_font_free);
}

void rt_fonts_end() {
  rt_objects_free_all(rt_thread_data(g_fonts));
}

void rt_font_free(RtHandle id) {
  // GDI objects have no counterpart to delete; the number is given back.
  if (rt_object_get(g_fonts, id)) rt_object_release(g_fonts, id);
}

ObjectTable* rt_fonts_table() {
  return g_fonts;
}

void rt_files_init() {
  g_files = rt_objects_create(sizeof(RtFileRecord), kTableSlots, rt_file_close);
}

void rt_files_end() {
  rt_objects_free_all(rt_thread_data(g_files));
}

void rt_file_close(RtHandle id) {
  auto* file = static_cast<RtFileRecord*>(rt_object_get(g_files, id));
  if (!file) return;
  int fd = file->handle - 1;
  // Buffered bytes are written out before the descriptor closes.
  for (std::int32_t done = 0; file->buffer && done < file->buffered;) {
    ssize_t n = write(fd, file->buffer + done, static_cast<std::size_t>(file->buffered - done));
    if (n <= 0) break;
    done += static_cast<std::int32_t>(n);
  }
  rt_heap_free(rt_heap_main(), file->buffer);
  close(fd);
  rt_object_release(g_files, id);
}

ObjectTable* rt_files_table() {
  return g_files;
}
