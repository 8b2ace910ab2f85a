// The render engine's public operations (eng_): screen and frame, sprites,
// textures, screenshots, input and cursor, text and boxes, collision.
// Handles are record addresses; 0 is no object.
#pragma once
#include <cstdint>

using EngHandle = std::intptr_t;

// Screen set-up result codes.
enum EngResult : int {
  kEngOk = 1,
  kEngNoDirect3D = 2,
  kEngNoInput = 3,
  kEngBadFormat = 4,
  kEngNoDisplayMode = 5,
  kEngNoDevice = 6,
  kEngModeNotOffered = 7,
  kEngBadDepth = 8,
  kEngSoundLevel = 9,
  kEngNoFont = 10,
  kEngNoCaps = 11,
  kEngAlreadyOpen = 12,
  kEngNoSound = 13,
  kEngTextureFailed = 18,
};

// Blend factors of eng_sprite_set_blend (D3DBLEND values, passed to the
// device unchanged): the ones the game uses.
enum EngBlend : int {
  kEngBlendSrcAlpha = 5,
  kEngBlendInvSrcAlpha = 6,
  kEngBlendDestAlpha = 7,  // the back buffer has no alpha: this adds
};

// Start-up.
void eng_strings_init();
void eng_png_init();
int eng_init();
// Null when a display can be opened (or a driver that shows nothing was
// asked for by name), else why not, in words for the user.
const char* eng_display_missing();
// "gl" or "soft" for the device the screen draws with, "no" before it opens.
const char* eng_device_name();
int eng_random_range(int low, int high);

// Screen and frame.
int eng_screen_open(int width, int height, int depth, int mode);
int eng_set_fullscreen(int flag);
int eng_set_vsync(int flag);
int eng_render();
int eng_flip();
float eng_frame_time();
int eng_ticks();
int eng_last_error();

// Sprites.
EngHandle eng_sprite_load(const char* file);
EngHandle eng_sprite_create(EngHandle texture);
int eng_sprite_mask_colour(EngHandle sprite, int colour);
int eng_sprite_set_depth(EngHandle sprite, int level);
int eng_sprite_set_scale(EngHandle sprite, float x_percent, float y_percent);
int eng_sprite_set_frames(EngHandle sprite, int count, int speed, int frame_width,
                          int frame_height);
int eng_sprite_move_hotspot_x(EngHandle sprite, float dx);
int eng_sprite_move_hotspot_y(EngHandle sprite, float dy);
int eng_sprite_set_blend(EngHandle sprite, int source, int destination);
int eng_sprite_set_angle(EngHandle sprite, float degrees);
int eng_sprite_turn(EngHandle sprite, float degrees_per_tick);
int eng_sprite_draw(EngHandle sprite, int x, int y, int alpha);
int eng_sprite_collide(EngHandle a, int xa, int ya, EngHandle b, int xb, int yb, int mode);

// Textures and screenshots.
EngHandle eng_texture_load(const char* file);
EngHandle eng_texture_from_image(std::intptr_t image_id);
EngHandle eng_texture_create(int width, int height);
EngHandle eng_texture_grab(EngHandle texture, int x, int y, int width, int height);
int eng_screenshot(const char* file);

// Input and cursor.
int eng_key_down(int key);
int eng_key_hit(int key);
int eng_mouse_dx();
int eng_mouse_dy();
int eng_mouse_button(int button);
int eng_mouse_set_pos(int x, int y);
int eng_desktop_mouse_x();
int eng_desktop_mouse_y();
int eng_cursor_set(int shape);
// 1 once the user asked to close the screen window (close button, window manager).
int eng_close_requested();

// Text, fonts and boxes.
EngHandle eng_font_load(const char* face, int height, int bold, int italic);
int eng_text_draw(EngHandle sheet, int x, int y, const char* text, int reserved, int first,
                  int spacing);
int eng_box_draw(int x, int y, int width, int height, int colour, int mode);
