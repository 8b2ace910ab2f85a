// Software drawing into the pixel memory of images: the drawing context with
// its operation table, the current drawing phase, and the front-end
// operations (lines, boxes, images) that act on it.
#pragma once
#include <cstdint>

struct DrawContext;
struct ImgBitmap;

// Drawing mode flags (draw_set_mode).
inline constexpr std::uint32_t kDrawModeXor = 0x02;
inline constexpr std::uint32_t kDrawModeOutline = 0x04;
inline constexpr std::uint32_t kDrawModeAlphaOnly = 0x08;
inline constexpr std::uint32_t kDrawModeAlphaBlend = 0x10;
inline constexpr std::uint32_t kDrawModeAlphaClip = 0x20;
inline constexpr std::uint32_t kDrawModeGradient = 0x40;
inline constexpr std::uint32_t kDrawModeCustom = 0x80;
inline constexpr std::uint32_t kDrawModeAllChannels = 0x100;

// Format flags of a context.
inline constexpr std::uint32_t kDrawFormat24 = 0x10;
inline constexpr std::uint32_t kDrawFormat32Alt = 0x20;
inline constexpr std::uint32_t kDrawFormat32 = 0x40;
inline constexpr std::uint32_t kDrawFormatDirect = 0x8000;

// The operation table, in slot order. Slots nothing in this program calls
// (rounded box, fonts, text, ellipse, flood fill, grab) stay null.
struct DrawOps {
  void (*set_back_colour)(DrawContext* c, std::uint32_t colour);
  void (*box)(DrawContext* c, std::int32_t x, std::int32_t y, std::int32_t width,
              std::int32_t height);
  void (*rounded_box)(DrawContext* c, std::int32_t x, std::int32_t y, std::int32_t width,
                      std::int32_t height, std::int32_t radius_x, std::int32_t radius_y);
  void (*unused_slot)();
  void (*select_font)(DrawContext* c, std::intptr_t font);
  std::uint8_t* (*pixels)(DrawContext* c);
  std::int32_t (*pitch)(DrawContext* c);
  std::uint32_t (*format)(DrawContext* c);
  void (*set_mode)(DrawContext* c, std::uint32_t mode);
  void (*draw_image)(DrawContext* c, std::intptr_t image, std::int32_t x, std::int32_t y);
  void (*draw_image_size)(DrawContext* c, std::intptr_t image, std::int32_t x, std::int32_t y,
                          std::int32_t width, std::int32_t height);
  void (*draw_image_alpha)(DrawContext* c, std::intptr_t image, std::int32_t x, std::int32_t y,
                           std::int32_t alpha);
  void (*text)(DrawContext* c, std::int32_t x, std::int32_t y, const char* text);
  void (*rotated_text)(DrawContext* c, std::int32_t x, std::int32_t y, const char* text,
                       float angle);
  void (*ellipse)(DrawContext* c, std::int32_t x, std::int32_t y, std::int32_t radius_x,
                  std::int32_t radius_y);
  void (*flood_fill)(DrawContext* c, std::int32_t x, std::int32_t y, std::int32_t border);
  void (*set_colour)(DrawContext* c, std::uint32_t colour);
  std::intptr_t (*grab_image)(DrawContext* c, std::int32_t x, std::int32_t y, std::int32_t width,
                              std::int32_t height);
  void (*line)(DrawContext* c, std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2);
  void (*plot)(DrawContext* c, std::int32_t x, std::int32_t y);
  void (*plot_colour)(DrawContext* c, std::int32_t x, std::int32_t y, std::uint32_t colour);
  std::uint32_t (*read_pixel)(DrawContext* c, std::int32_t x, std::int32_t y);
  std::intptr_t (*start)(DrawContext* c);
  void (*stop)(DrawContext* c);
  std::int32_t (*text_height)(DrawContext* c, const char* text);
  std::int32_t (*text_width)(DrawContext* c, const char* text);
  void (*release)(DrawContext* c, std::int32_t write_back);
};

// Red, green, blue (premultiplied by alpha when the mode asks for it), alpha
// and 255 - alpha of a colour.
struct DrawComponents {
  std::int32_t red;
  std::int32_t green;
  std::int32_t blue;
  std::int32_t alpha;
  std::int32_t inverse_alpha;
};

using DrawSpanOp = void (*)(DrawContext* c, std::int32_t x, std::int32_t y, std::int32_t length);

// The stand-in for the memory device context holding an image's bitmap: what
// draw_start returns for image targets and draw_get_bits reads from.
struct DrawDevice {
  std::int32_t kind;  // kDrawDeviceKind
  ImgBitmap* bitmap;
};
inline constexpr std::int32_t kDrawDeviceKind = 0x44524443;

// One drawing phase.
struct DrawContext {
  DrawOps ops;
  std::int32_t text_params[3];
  std::int32_t width;
  std::int32_t height;
  std::int32_t bits_per_pixel;
  std::uint32_t gradient_front;
  std::uint32_t gradient_back;
  std::uint32_t front_colour;
  std::uint32_t back_colour;
  float (*gradient)(DrawContext* c, std::int32_t x, std::int32_t y);
  std::uint32_t (*custom)(DrawContext* c, std::uint32_t colour);
  void* gradient_colours;
  void* fill_stack;
  void* fill_row;
  std::uint8_t* pixels;  // bottom row first
  std::int32_t pitch;
  std::uint32_t format;
  std::int32_t bytes_per_pixel;
  std::uint32_t mode;
  std::int32_t premultiply;
  std::int32_t gradient_flag;
  std::int32_t custom_flag;
  std::int32_t constant;
  DrawComponents front;
  DrawComponents back;
  // Text state (no text is drawn in this program; kept for the layout).
  std::intptr_t font;
  std::intptr_t text_device;
  std::intptr_t text_strip;
  std::int32_t strip_pitch;
  std::int32_t strip_height;
  std::int32_t italic_overhang;
  std::intptr_t rotated_font;
  std::int32_t direct_memory;
  DrawDevice* target_device;
  std::int32_t saved_batch_limit;
  std::intptr_t backup_bitmap;
  ImgBitmap* target_bitmap;
  // Span operations chosen by the mode, beside the two plots of the table.
  DrawSpanOp span_h;
  DrawSpanOp span_v;
};

// Library start: clears the current drawing phase of this thread.
void draw_init();

// A new context for image id, current at once; 0 unless the image is a 24- or
// 32-bit bitmap.
std::intptr_t img_output(std::intptr_t id);
// Starts the phase of a target from img_output: the device (a DrawDevice
// address) on success, 0 on failure (the context is then released).
std::intptr_t draw_start(std::intptr_t target);
// Ends the current phase; does nothing when none is open.
void draw_stop();
// The current phase of this thread, or null.
DrawContext* draw_current();

// Front-end primitives on the current phase; they do nothing when none is open.
void draw_line(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
               std::uint32_t colour);
void draw_box(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
              std::uint32_t colour);
void draw_image(std::intptr_t image, std::int32_t x, std::int32_t y);

// Slot operations that are also called directly.
void draw_set_mode(DrawContext* c, std::uint32_t mode);
void draw_set_colour(DrawContext* c, std::uint32_t colour);
void draw_set_back_colour(DrawContext* c, std::uint32_t colour);

// The GetDIBits stand-in: copies rows of the device's bitmap into bits as
// bits_per_pixel (24 or 32) rows of img_row_pitch bytes, starting at bottom
// row first_row. A positive height asks for bottom-up rows, a negative one for
// top-down. width and |height| must match the bitmap. Returns the number of
// rows copied, 0 on failure.
std::int32_t draw_get_bits(std::intptr_t device, std::int32_t first_row, std::int32_t rows,
                           void* bits, std::int32_t width, std::int32_t height,
                           std::int32_t bits_per_pixel);
