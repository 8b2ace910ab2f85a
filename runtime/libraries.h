// The runtime's own library start and end operations that have no other home:
// platform controls, the preference file, GDI objects and files.
#pragma once
#include <cstdint>

#include "runtime/objects.h"

// Common controls and COM have no counterpart here; the step keeps its place.
void rt_common_controls_init();

void rt_prefs_init();
void rt_prefs_end();
// 1 while a preference file is open.
int rt_prefs_is_open();

// The GDI object table: one handle per record.
struct RtFontRecord {
  std::int32_t handle;
};
void rt_fonts_init();
void rt_fonts_end();
void rt_font_free(RtHandle id);
ObjectTable* rt_fonts_table();

// The file object table: a descriptor and its write buffer per record.
struct RtFileRecord {
  std::int32_t handle;  // descriptor + 1, so that a live record is non-zero
  std::int32_t buffered;
  char* buffer;
  std::int32_t capacity;
  std::int32_t mode;
};
void rt_files_init();
void rt_files_end();
void rt_file_close(RtHandle id);
ObjectTable* rt_files_table();
