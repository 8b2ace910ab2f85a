// Opening and closing numbered windows over display windows: style flags to
// decorations, the caption default, centring, hidden windows, accelerators.
#include "window/window.h"

#include <algorithm>

#include "platform/display.h"
#include "runtime/heap.h"
#include "window/window_internal.h"

namespace {

constexpr std::uint32_t kToolWindowMask = 0xDEFCFFFF;
constexpr std::int32_t kAccelCount = 2;

const PlatIcon* g_program_icon = nullptr;

struct Placement {
  int x, y, width, height;
  unsigned plat_flags;
};

// The active window: the table's window that has the keyboard focus.
PlatWindow* active_window() {
  ObjectTable* table = win_table();
  rt_objects_enum_start(table);
  while (auto* record = static_cast<WindowObject*>(rt_objects_enum_next(table, nullptr))) {
    auto* window = reinterpret_cast<PlatWindow*>(record->window);
    if (plat_window_has_focus(window)) return window;
  }
  return nullptr;
}

// Only handles of live windows of this library count as parents.
PlatWindow* parent_window(WinHandle parent) {
  if (!parent) return nullptr;
  ObjectTable* table = win_table();
  rt_objects_enum_start(table);
  while (auto* record = static_cast<WindowObject*>(rt_objects_enum_next(table, nullptr)))
    if (record->window == parent) return reinterpret_cast<PlatWindow*>(parent);
  return nullptr;
}

unsigned decoration_flags(std::uint32_t style) {
  unsigned flags = 0;
  if (style & (kWsBorder | kWsDlgFrame | kWsThickFrame)) flags |= kPlatWindowDecorated;
  if (style & kWsThickFrame) flags |= kPlatWindowResizable;
  return flags;
}

void centre(Placement& p, std::uint32_t flags, WinHandle parent) {
  if (flags & kWinCentreScreen) {
    int screen_w = 0, screen_h = 0;
    plat_desktop_size(&screen_w, &screen_h);
    if (screen_w > 0) p.width = std::min(p.width, screen_w);
    if (screen_h > 0) p.height = std::min(p.height, screen_h);
    p.x = (screen_w - p.width) / 2;
    p.y = (screen_h - p.height) / 2;
    return;
  }
  PlatWindow* around = parent_window(parent);
  if (!around) around = active_window();
  if (!around) return;
  int left = 0, top = 0, w = 0, h = 0;
  plat_window_position(around, &left, &top);
  plat_window_size(around, &w, &h);
  p.x = std::max(0, left + (w - p.width) / 2);
  p.y = std::max(0, top + (h - p.height) / 2);
}

void add_accelerators(WindowObject* record) {
  auto* entries = static_cast<WinAccelEntry*>(
      rt_heap_alloc(rt_heap_main(), sizeof(WinAccelEntry) * kAccelCount));
  if (entries) {
    entries[0] = {3, 9, 0xFA01};  // Tab: next control
    entries[1] = {7, 9, 0xFA02};  // Shift+Tab: previous control
  }
  record->accel_entries = entries;
  record->accel_table = reinterpret_cast<std::intptr_t>(entries);
  record->accel_count = kAccelCount;
}

}  // namespace

void win_set_program_icon(const PlatIcon* icon) {
  g_program_icon = icon;
}

WinHandle win_open(WinHandle number, int x, int y, int width, int height, const char* title,
                   std::uint32_t flags, WinHandle parent) {
  ObjectTable* table = win_table();
  auto* record = static_cast<WindowObject*>(rt_object_alloc(table, number));
  if (!record) return 0;
  const WinHandle id = number == -1 ? reinterpret_cast<WinHandle>(record) : number;

  const bool hidden = (flags & kWinHidden) != 0;
  std::uint32_t style = flags & ~static_cast<std::uint32_t>(kWinNoGadgetTarget | kWinHidden);
  if ((style & ~(kWinCentreScreen | kWinCentreParent)) == 0) style |= kWsCaption;
  Placement p{x, y, width, height, 0};
  if (style & kWinToolWindow) {
    style = (style & kToolWindowMask) | kWsCaption;
    p.plat_flags |= kPlatWindowUtility;
  }
  p.plat_flags |= decoration_flags(style) | kPlatWindowHidden;
  if (flags & (kWinCentreScreen | kWinCentreParent))
    centre(p, flags, parent);
  else if (x == kWinDefaultPosition || y == kWinDefaultPosition)
    p.plat_flags |= kPlatWindowDefaultPos;

  PlatWindow* window = plat_window_create(title ? title : "", p.x, p.y, p.width, p.height,
                                          p.plat_flags, parent_window(parent));
  if (!window) {
    rt_object_release(table, id);
    return 0;
  }
  record->window = reinterpret_cast<std::intptr_t>(window);
  record->reserved = -1;
  if (g_program_icon) plat_window_set_icon(window, *g_program_icon);
  if (!hidden) {
    plat_window_show(window, true);
    if (style & kWsMaximize)
      plat_window_maximize(window);
    else if (style & kWsMinimize)
      plat_window_minimize(window);
  }
  record->minimised_or_maximised = (style & (kWsMaximize | kWsMinimize)) ? 1 : 0;
  add_accelerators(record);
  return number == -1 ? id : record->window;
}

void win_close(WinHandle number) {
  ObjectTable* table = win_table();
  auto* record = static_cast<WindowObject*>(rt_object_get(table, number));
  if (!record) return;
  plat_window_destroy(reinterpret_cast<PlatWindow*>(record->window));
  rt_heap_free(rt_heap_main(), record->accel_entries);
  win_events_remove(number);
  rt_object_release(table, number);
}

WinHandle win_handle(WinHandle number) {
  auto* record = static_cast<WindowObject*>(rt_object_get(win_table(), number));
  return record ? record->window : 0;
}

int win_x(WinHandle number) {
  int x = 0, y = 0;
  if (WinHandle handle = win_handle(number))
    plat_window_outer_position(reinterpret_cast<PlatWindow*>(handle), &x, &y);
  return x;
}

int win_y(WinHandle number) {
  int x = 0, y = 0;
  if (WinHandle handle = win_handle(number))
    plat_window_outer_position(reinterpret_cast<PlatWindow*>(handle), &x, &y);
  return y;
}

PlatWindow* win_plat_window(WinHandle handle) {
  return parent_window(handle);
}

WinHandle win_number_of(PlatWindow* window) {
  ObjectTable* table = win_table();
  if (!window || !table) return -1;
  rt_objects_enum_start(table);
  WinHandle id = 0;
  while (auto* record = static_cast<WindowObject*>(rt_objects_enum_next(table, &id)))
    if (record->window == reinterpret_cast<std::intptr_t>(window)) return id;
  return -1;
}
