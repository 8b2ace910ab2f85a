/* A Weston module that gives the compositor one seat with a pointer and a
 * keyboard: its headless back end has none, and SDL 2.26 cannot start Wayland
 * without a wl_seat. Loaded with weston --modules=/path/weston_seat.so. */
#include <stdlib.h>

#include <libweston/libweston.h>

/* Weston's back ends make their seats with these; they are exported by
 * libweston but declared only in its private back-end header. */
void weston_seat_init(struct weston_seat* seat, struct weston_compositor* ec,
                      const char* seat_name);
void weston_seat_release(struct weston_seat* seat);
void weston_seat_init_pointer(struct weston_seat* seat);
int weston_seat_init_keyboard(struct weston_seat* seat, struct xkb_keymap* keymap);

struct fake_seat {
  struct weston_seat seat;
  struct wl_listener destroy;
};

static void fake_seat_destroy(struct wl_listener* listener, void* data) {
  (void)data;
  struct fake_seat* fake = wl_container_of(listener, fake, destroy);
  weston_seat_release(&fake->seat);
  free(fake);
}

WL_EXPORT int wet_module_init(struct weston_compositor* compositor, int* argc, char* argv[]) {
  (void)argc;
  (void)argv;
  struct fake_seat* fake = calloc(1, sizeof *fake);
  if (!fake) return -1;
  if (!weston_compositor_add_destroy_listener_once(compositor, &fake->destroy, fake_seat_destroy)) {
    free(fake);
    return 0; /* loaded twice: the first seat serves */
  }
  weston_seat_init(&fake->seat, compositor, "seat0");
  weston_seat_init_pointer(&fake->seat);
  if (weston_seat_init_keyboard(&fake->seat, NULL) < 0) return -1;
  return 0;
}
