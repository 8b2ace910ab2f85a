// The gadget library's start-up and end. No control is ever created in this
// program; the tables exist so that start-up and end keep their order.
#include <mutex>

#include "runtime/heap.h"
#include "runtime/objects.h"
#include "window/window.h"

namespace {

constexpr std::int32_t kGadgetSize = 32;
constexpr std::int32_t kGadgetSlots = 50;
constexpr std::int32_t kListRoom = 10;

struct GadgetList {
  std::int32_t count;
  std::int32_t capacity;
  std::intptr_t* entries;
};

struct GadgetState {
  WinHandle target_window;  // the window new gadgets go into
  GadgetList* list;
  std::intptr_t default_font;
  WinHandle owned_window;  // destroyed by the end
};

std::mutex g_lock;
ObjectTable* g_gadgets = nullptr;
GadgetState* g_state = nullptr;

}  // namespace

void win_gadgets_init() {
  std::lock_guard<std::mutex> guard(g_lock);
  g_gadgets = rt_objects_create(kGadgetSize, kGadgetSlots, nullptr);
  g_state = static_cast<GadgetState*>(rt_heap_alloc(rt_heap_main(), sizeof(GadgetState)));
  if (!g_state) return;
  g_state->list = static_cast<GadgetList*>(rt_heap_alloc(rt_heap_main(), sizeof(GadgetList)));
  if (g_state->list) {
    g_state->list->capacity = kListRoom;
    g_state->list->entries = static_cast<std::intptr_t*>(
        rt_heap_alloc(rt_heap_main(), sizeof(std::intptr_t) * kListRoom));
  }
}

void win_gadgets_end() {
  std::lock_guard<std::mutex> guard(g_lock);
  if (g_state && g_state->owned_window) {
    win_close(g_state->owned_window);
    g_state->owned_window = 0;
  }
}
