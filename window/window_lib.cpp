// The window library's start-up and end, its event queue fed by the display's
// window events, and the theme and gadget steps that keep the start-up order.
#include <cstring>

#include "platform/display.h"
#include "runtime/heap.h"
#include "runtime/lists.h"
#include "window/window.h"
#include "window/window_internal.h"

namespace {

constexpr std::int32_t kInitialSlots = 16;

struct WinEvent {
  WinEvent* link;
  std::int32_t type;
  std::int32_t item;
  WinHandle window;
  std::intptr_t data;
  std::int32_t extra[2];
};

struct EventQueue {
  MemPool* pool;
  WinEvent* head;
  WinEvent* tail;
  WinEvent* spare;  // the node taken at start-up
};

ObjectTable* g_table = nullptr;
WinState* g_state = nullptr;
void* g_sizing = nullptr;  // state of the sizing and moving handler
EventQueue* g_events = nullptr;
int g_visual_styles = 0;

void on_display_event(PlatWindow* window, PlatWindowEvent event, int a, int b) {
  const WinHandle number = win_number_of(window);
  if (number < 0) return;
  switch (event) {
    case PlatWindowEvent::Close:
      win_event_push(kWinEventClose, number, 0, 0);
      break;
    case PlatWindowEvent::FocusGained:
      win_event_push(kWinEventActivate, number, 0, 0);
      break;
    case PlatWindowEvent::FocusLost:
      win_event_push(kWinEventDeactivate, number, 0, 0);
      break;
    case PlatWindowEvent::Moved:
      win_event_push(kWinEventMove, number, 0,
                     (static_cast<std::intptr_t>(b) << 16) | (a & 0xFFFF));
      break;
    case PlatWindowEvent::Resized:
      win_event_push(kWinEventSize, number, 0,
                     (static_cast<std::intptr_t>(b) << 16) | (a & 0xFFFF));
      break;
  }
}

bool same_event(const WinEvent* e, std::int32_t type, WinHandle window, std::int32_t item,
                std::intptr_t data) {
  return e && e->type == type && e->window == window && e->item == item && e->data == data;
}

}  // namespace

ObjectTable* win_table() {
  return g_table;
}

void win_init() {
  g_table = rt_objects_create(sizeof(WindowObject), kInitialSlots, win_close);
  g_state = static_cast<WinState*>(rt_heap_alloc(rt_heap_main(), sizeof(WinState)));
  g_sizing = rt_heap_alloc(rt_heap_main(), 92);
  plat_display_set_event_hook(on_display_event);
}

void win_end() {
  plat_display_set_event_hook(nullptr);
  rt_objects_free_all(g_table);
  if (g_state && g_state->aux) {
    rt_heap_free(rt_heap_main(), *static_cast<void**>(g_state->aux));
    rt_heap_free(rt_heap_main(), g_state->aux);
    g_state->aux = nullptr;
  }
}

void win_theme_init() {
  // No visual-styles library and no alpha-blend entry to look up here.
  g_visual_styles = 0;
}
void win_theme_end() {}
int win_visual_styles() {
  return g_visual_styles;
}

void win_events_init() {
  g_events = static_cast<EventQueue*>(rt_heap_alloc(rt_heap_main(), sizeof(EventQueue)));
  if (!g_events) return;
  g_events->pool = rt_pool_create(sizeof(WinEvent), 16, 256, 0);
  if (g_events->pool) g_events->spare = static_cast<WinEvent*>(rt_pool_alloc(g_events->pool));
}

void win_event_push(std::int32_t type, WinHandle window, std::int32_t item, std::intptr_t data) {
  if (!g_events || !g_events->pool) return;
  if (same_event(g_events->tail, type, window, item, data)) return;
  auto* e = static_cast<WinEvent*>(rt_pool_alloc(g_events->pool));
  if (!e) return;
  std::memset(e, 0, sizeof *e);
  e->type = type;
  e->item = item;
  e->window = window;
  e->data = data;
  if (g_events->tail)
    g_events->tail->link = e;
  else
    g_events->head = e;
  g_events->tail = e;
  if (g_state) {
    g_state->last_type = type;
    g_state->last_window = window;
    g_state->last_item = item;
    g_state->last_data = data;
  }
}

void win_events_remove(WinHandle window) {
  if (!g_events) return;
  WinEvent* previous = nullptr;
  WinEvent* e = g_events->head;
  while (e) {
    WinEvent* next = e->link;
    if (e->window == window) {
      if (previous)
        previous->link = next;
      else
        g_events->head = next;
      if (g_events->tail == e) g_events->tail = previous;
      rt_pool_free(g_events->pool, e);
    } else {
      previous = e;
    }
    e = next;
  }
}

int win_events_pending(WinHandle window, std::int32_t type) {
  int count = 0;
  for (WinEvent* e = g_events ? g_events->head : nullptr; e; e = e->link)
    if (e->window == window && e->type == type) ++count;
  return count;
}
