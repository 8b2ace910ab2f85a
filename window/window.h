// Application windows addressed by number, like every runtime object: open
// with a client size, style flags and centring, the handle, the position,
// close. The render engine's screen is window number 0.
#pragma once
#include <cstdint>

struct PlatWindow;
struct PlatIcon;
using WinHandle = std::intptr_t;

// The library's own flag bits of win_open.
enum WinFlag : std::uint32_t {
  kWinCentreScreen = 0x1,
  kWinCentreParent = 0x2,  // on the parent, or on the active window without one
  kWinToolWindow = 0x4,
  kWinNoGadgetTarget = 0x8,
  kWinHidden = 0x10000000,
};
inline constexpr std::uint32_t kWinLibraryBits =
    kWinCentreScreen | kWinCentreParent | kWinToolWindow | kWinNoGadgetTarget | kWinHidden;

// Window styles (the Win32 values the callers pass).
enum WinStyle : std::uint32_t {
  kWsPopup = 0x80000000,
  kWsMinimize = 0x20000000,
  kWsMaximize = 0x01000000,
  kWsCaption = 0x00C00000,  // border and dialogue frame
  kWsBorder = 0x00800000,
  kWsDlgFrame = 0x00400000,
  kWsSysMenu = 0x00080000,
  kWsThickFrame = 0x00040000,
  kWsMinimizeBox = 0x00020000,
  kWsMaximizeBox = 0x00010000,
};

// x or y of this value without a centring flag lets the system place the window.
inline constexpr int kWinDefaultPosition = -65535;

// Opens window `number` (or a dynamic one for -1) with a client area of
// width × height. Returns the window handle for a number, the record address
// for -1, 0 on failure. Opening a live number closes the old window first.
WinHandle win_open(WinHandle number, int x, int y, int width, int height, const char* title,
                   std::uint32_t flags, WinHandle parent = 0);
void win_close(WinHandle number);
// The window handle (0 when there is no such window).
WinHandle win_handle(WinHandle number);
// Left and top edge of the window's outer rectangle on the desktop.
int win_x(WinHandle number);
int win_y(WinHandle number);
// The program's icon, which every window opened afterwards gets (null: none).
// The program sets it once at start; the picture must stay valid.
void win_set_program_icon(const PlatIcon* icon);
// The display window behind a window handle, or null.
PlatWindow* win_plat_window(WinHandle handle);

// Start-up and end (window table, state records, event hook).
void win_init();
void win_end();

// Theme support: no visual styles and no alpha-blend entry on this platform;
// the steps keep their place in the start-up and end order.
void win_theme_init();
void win_theme_end();
int win_visual_styles();

// The library's event queue, fed by the display's window events.
void win_events_init();
// Library event types recorded from the display's window events.
enum WinEventType : std::int32_t {
  kWinEventClose = 0x10001,
  kWinEventActivate = 0x10002,
  kWinEventDeactivate = 0x10003,
  kWinEventMove = 0x10004,
  kWinEventSize = 0x10005,
};
// Queued events of a type for a window number (the program reads none).
int win_events_pending(WinHandle number, std::int32_t type);

// The gadget library: set up and ended, never used for controls here.
void win_gadgets_init();
void win_gadgets_end();
