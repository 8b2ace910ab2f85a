// The display: SDL windows with client size, decorations, centring and full
// screen, the event pump (close requests, focus), the cursor and the global
// mouse. Everything works without a display too: creating a window then
// fails and the callers fall back (headless runs, tests).
#pragma once
#include <cstdint>

struct PlatWindow;

// Window flags.
enum PlatWindowFlag : unsigned {
  kPlatWindowDecorated = 1u << 0,  // title bar and frame
  kPlatWindowHidden = 1u << 1,
  kPlatWindowCentred = 1u << 2,  // on the parent, or on the screen without one
  kPlatWindowResizable = 1u << 3,
  kPlatWindowDefaultPos = 1u << 4,  // let the system place it; x and y are ignored
  kPlatWindowUtility = 1u << 5,     // a tool window (no taskbar entry)
};

// Starts SDL's video subsystem if it is not running; false without a display.
// Once it runs on X11, losing the connection to the X server ends the
// program at once with kPlatExitDisplayLost and a line on standard error.
bool plat_display_init();
inline constexpr int kPlatExitDisplayLost = 3;
// Why the last plat_display_init found no display ("DISPLAY is not set",
// the X display that could not be opened, or the driver asked for by
// SDL_VIDEODRIVER that failed); empty while none failed.
const char* plat_display_problem();
bool plat_display_available();

// A window whose client area is width × height at (x, y) on the desktop (or
// centred, see the flags). Null on failure.
PlatWindow* plat_window_create(const char* title, int x, int y, int width, int height,
                               unsigned flags, PlatWindow* parent);
void plat_window_destroy(PlatWindow* window);
// SDL's reason when the window could not be made with OpenGL and was made
// without it; empty otherwise.
const char* plat_window_gl_problem(PlatWindow* window);
// A device drawing into a window is told before the window is destroyed, so
// that nothing it has queued reaches a window that is gone. One per window.
using PlatWindowDestroyHook = void (*)(void* context);
void plat_window_set_destroy_hook(PlatWindow* window, PlatWindowDestroyHook hook, void* context);
void plat_window_show(PlatWindow* window, bool shown);
bool plat_window_visible(PlatWindow* window);
// Whether the window has a title bar and frame.
bool plat_window_decorated(PlatWindow* window);
// A window's icon: width × height pixels of RGBA bytes, rows top down. The
// pixels must outlive the windows that show them.
struct PlatIcon {
  int width, height;
  const std::uint8_t* rgba;
};
// False (and no change) for an empty or missing picture.
bool plat_window_set_icon(PlatWindow* window, const PlatIcon& icon);
// The icon last set on the window; all zero when none.
PlatIcon plat_window_icon(PlatWindow* window);
void plat_window_maximize(PlatWindow* window);
void plat_window_minimize(PlatWindow* window);
// Top-left corner of the client area on the desktop.
void plat_window_position(PlatWindow* window, int* x, int* y);
// Top-left corner of the whole window, frame included (the client corner
// when there is no frame or no window manager).
void plat_window_outer_position(PlatWindow* window, int* x, int* y);
void plat_window_move(PlatWindow* window, int x, int y);
void plat_window_size(PlatWindow* window, int* width, int* height);
// Size in pixels of what a device draws into (differs from the client size
// when a desktop full screen scales the picture).
void plat_window_drawable_size(PlatWindow* window, int* width, int* height);
// A stable number for the window (its SDL window id); 0 for none.
std::uint32_t plat_window_id(PlatWindow* window);

// Full screen of width × height. Takes a real mode of that size at 60 Hz
// where the display has one (an unreported refresh rate counts as 60),
// else desktop full screen with the picture scaled and letterboxed.
enum class PlatFullscreen { Off, Exclusive, Desktop };
// Whether full screen of this size can be shown at all (real mode or fallback).
bool plat_fullscreen_possible(int width, int height);
// Whether the display offers a real mode of that size at 60 Hz.
bool plat_display_has_mode(int width, int height, int refresh_hz);
PlatFullscreen plat_window_set_fullscreen(PlatWindow* window, bool on, int width, int height);
PlatFullscreen plat_window_fullscreen(PlatWindow* window);
// Refresh rate of the display the window is on; 60 when unknown.
int plat_window_refresh_hz(PlatWindow* window);

// Where a picture of src_w × src_h goes in a drawable of dst_w × dst_h:
// scaled to fit with its aspect kept, centred, the rest left black. Devices
// present through it whenever the drawable is not the picture's size.
struct PlatRect {
  int x, y, width, height;
};
PlatRect plat_letterbox(int src_w, int src_h, int dst_w, int dst_h);

// Pumps the event queue: records close requests and focus changes, feeds
// keyboard and mouse into the input layer. The one place that takes events
// off SDL's queue: other platform code must not poll events itself.
void plat_events_pump();
// A loop that shows no frames (a paused game) would poll a whole core away:
// when the previous pump found nothing and no frame has been presented for
// 50 ms, the pump waits up to kPlatIdleWaitMs for the next event instead.
inline constexpr int kPlatIdleWaitMs = 2;
void plat_events_note_present();
// Asks to close the window the way the window manager's close button does
// (the request arrives through the event queue).
void plat_window_post_close(PlatWindow* window);
// True once a quit was asked for outside any window (a signal such as Ctrl-C).
bool plat_quit_requested();

// Window events as the layers above see them, reported during the pump.
enum class PlatWindowEvent { Close, FocusGained, FocusLost, Moved, Resized };
using PlatWindowEventHook = void (*)(PlatWindow* window, PlatWindowEvent event, int a, int b);
void plat_display_set_event_hook(PlatWindowEventHook hook);
// True once the user asked to close this window (close button, window manager).
bool plat_window_close_requested(PlatWindow* window);
void plat_window_clear_close_request(PlatWindow* window);
bool plat_window_has_focus(PlatWindow* window);
// Keeps the pointer grabbed in relative mode while the window has focus.
void plat_window_set_mouse_grab(PlatWindow* window, bool grab);
// Whether the pointer is grabbed in relative mode now.
bool plat_mouse_grabbed();
// Raises the window and gives it the keyboard focus (when it is shown).
void plat_window_focus(PlatWindow* window);

// Cursor shapes (system cursors).
enum class PlatCursor {
  Arrow,
  IBeam,
  Wait,
  Crosshair,
  UpArrow,
  SizeNWSE,
  SizeNESW,
  SizeWE,
  SizeNS,
  SizeAll,
  No,
  Hand,
  AppStarting,
  Help
};
void plat_cursor_show(bool shown);
bool plat_cursor_shown();
bool plat_cursor_set(PlatCursor shape);

// Desktop-wide pointer. Without a display, or while the input is scripted,
// the pointer is a virtual one that only these two calls move.
bool plat_mouse_warp_global(int x, int y);
void plat_mouse_global(int* x, int* y);
void plat_desktop_size(int* width, int* height);
