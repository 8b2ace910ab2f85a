// Drawing phases: allocating a context and its operation table, the current
// phase (per thread, plus the process-wide pointer the primitives read), image
// targets with their start, stop and release hooks, and the front end.
#include <atomic>
#include <cstring>

#include "image/image.h"
#include "image/raster_internal.h"
#include "runtime/heap.h"

namespace {

thread_local DrawContext* t_current = nullptr;
std::atomic<DrawContext*> g_current{nullptr};

void set_current(DrawContext* c) {
  t_current = c;
  g_current.store(c, std::memory_order_relaxed);
}

std::uint8_t* op_pixels(DrawContext* c) {
  return c->pixels;
}
std::int32_t op_pitch(DrawContext* c) {
  return c->pitch;
}
std::uint32_t op_format(DrawContext* c) {
  return c->format;
}

void fill_table(DrawOps& ops) {
  ops.set_back_colour = draw_set_back_colour;
  ops.box = draw_op_box;
  ops.pixels = op_pixels;
  ops.pitch = op_pitch;
  ops.format = op_format;
  ops.set_mode = draw_set_mode;
  ops.draw_image = draw_op_image;
  ops.draw_image_size = draw_op_image_size;
  ops.draw_image_alpha = draw_op_image_alpha;
  ops.set_colour = draw_set_colour;
  ops.line = draw_op_line;
  // plot, plot_colour and read_pixel are chosen by the mode.
}

// Image targets.
std::intptr_t image_start(DrawContext* c) {
  if (!c->pixels) return 0;
  return reinterpret_cast<std::intptr_t>(c->target_device);
}

void image_stop(DrawContext* c) {
  rt_heap_free(rt_main_heap, c->fill_stack);
  rt_heap_free(rt_main_heap, c->fill_row);
  rt_heap_free(rt_main_heap, c->gradient_colours);
  c->fill_stack = c->fill_row = c->gradient_colours = nullptr;
}

void image_release(DrawContext* c, std::int32_t) {
  rt_heap_free(rt_main_heap, c->target_device);
  c->target_device = nullptr;
}

}  // namespace

DrawContext* draw_context_alloc(std::uint32_t format) {
  auto* c = static_cast<DrawContext*>(rt_heap_alloc(rt_main_heap, sizeof(DrawContext)));
  if (!c) return nullptr;
  set_current(c);
  c->format = format | kDrawFormatDirect;
  c->constant = 0x8000;
  c->mode = 0;
  c->bytes_per_pixel = (format & (kDrawFormat32Alt | kDrawFormat32)) ? 4 : 3;
  c->gradient_front = 0xFFFFFFFFu;
  c->gradient_back = 0xFF000000u;
  c->front_colour = 0;
  c->back_colour = 0;
  c->text_params[0] = 2;
  c->text_params[1] = 63;
  c->gradient = draw_default_gradient;
  c->custom = draw_default_custom;
  fill_table(c->ops);
  draw_set_mode(c, 0);
  return c;
}

void draw_context_free(DrawContext* c) {
  rt_heap_free(rt_main_heap, c);
  set_current(nullptr);
}

void draw_init() {
  set_current(nullptr);
}

DrawContext* draw_current() {
  return t_current;
}

std::intptr_t img_output(std::intptr_t id) {
  ImgBitmap* b = img_bitmap(id);
  if (!b || b->kind != kImgKindBitmap || !b->pixels) return 0;
  // Only 24- and 32-bit pixel memory can be drawn into.
  if (b->bits_per_pixel != 24 && b->bits_per_pixel != 32) return 0;
  auto* device = static_cast<DrawDevice*>(rt_heap_alloc(rt_main_heap, sizeof(DrawDevice)));
  if (!device) return 0;
  device->kind = kDrawDeviceKind;
  device->bitmap = b;
  DrawContext* c = draw_context_alloc(b->bits_per_pixel == 32 ? kDrawFormat32 : kDrawFormat24);
  if (!c) {
    rt_heap_free(rt_main_heap, device);
    return 0;
  }
  c->target_bitmap = b;
  c->backup_bitmap = 0;
  c->direct_memory = 0;
  c->saved_batch_limit = 0;
  c->target_device = device;
  c->pixels = b->pixels;
  c->pitch = img_row_pitch(b->width, b->bits_per_pixel);
  c->width = b->width;
  c->height = b->height;
  c->bits_per_pixel = b->bits_per_pixel;
  c->ops.start = image_start;
  c->ops.stop = image_stop;
  c->ops.release = image_release;
  return reinterpret_cast<std::intptr_t>(c);
}

std::intptr_t draw_start(std::intptr_t target) {
  auto* c = reinterpret_cast<DrawContext*>(target);
  if (!c) return 0;
  const std::intptr_t result = c->ops.start ? c->ops.start(c) : 0;
  if (!result) {
    if (c->ops.release) c->ops.release(c, 0);
    draw_context_free(c);
    return 0;
  }
  return result;
}

void draw_stop() {
  DrawContext* c = g_current.load(std::memory_order_relaxed);
  if (!c) return;
  if (c->ops.stop) c->ops.stop(c);
  if (c->ops.release) c->ops.release(c, 1);
  draw_context_free(c);
}

void draw_line(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
               std::uint32_t colour) {
  DrawContext* c = g_current.load(std::memory_order_relaxed);
  if (!c) return;
  if (colour != c->front_colour) c->ops.set_colour(c, colour);
  c->ops.line(c, x1, y1, x2, y2);
}

void draw_box(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
              std::uint32_t colour) {
  DrawContext* c = g_current.load(std::memory_order_relaxed);
  if (!c) return;
  if (colour != c->front_colour) c->ops.set_colour(c, colour);
  c->ops.box(c, x, y, width, height);
}

void draw_image(std::intptr_t image, std::int32_t x, std::int32_t y) {
  DrawContext* c = g_current.load(std::memory_order_relaxed);
  if (!c) return;
  c->ops.draw_image(c, image, x, y);
}
