// Internal to the window library: the window record, the library state and
// the event queue shared by its files.
#pragma once
#include <cstdint>

#include "runtime/objects.h"
#include "window/window.h"

using WinMessageCallback = std::intptr_t (*)(WinHandle window, int message, std::intptr_t a,
                                             std::intptr_t b);

struct WinAccelEntry {
  std::uint8_t flags;
  std::uint16_t key;
  std::uint16_t command;
};

struct WindowObject {
  std::intptr_t window;          // PlatWindow address; non-zero while live
  WinAccelEntry* accel_entries;  // two entries from the main heap
  std::intptr_t accel_table;
  WinMessageCallback callback;
  std::int32_t accel_count;
  std::int32_t reserved;
  std::intptr_t brush;
  std::intptr_t mdi_client;
  std::int16_t min_width, min_height, max_width, max_height;
  std::int32_t minimised_or_maximised;
};

struct WinState {
  std::int32_t last_type;
  WinHandle last_window;
  std::int32_t last_item;
  std::intptr_t last_data;
  WinMessageCallback global_callback;
  void* aux;  // freed by win_end with the buffer it holds
};

ObjectTable* win_table();

// Appends an event unless it repeats the last queued one.
void win_event_push(std::int32_t type, WinHandle window, std::int32_t item, std::intptr_t data);
// Drops every queued event of a window number.
void win_events_remove(WinHandle window);
// The number of the window whose display window this is, or -1.
WinHandle win_number_of(PlatWindow* window);
