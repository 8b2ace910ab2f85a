// The drawing mode and the colour components derived from it: which plot,
// span and read-pixel operations a context uses, and whether its colours are
// premultiplied by their alpha.
#include "image/raster_internal.h"

namespace {

DrawComponents components(std::uint32_t colour, bool premultiply) {
  DrawComponents k{};
  k.alpha = static_cast<std::int32_t>(colour >> 24);
  k.inverse_alpha = 255 - k.alpha;
  k.red = static_cast<std::int32_t>(colour & 0xFF);
  k.green = static_cast<std::int32_t>((colour >> 8) & 0xFF);
  k.blue = static_cast<std::int32_t>((colour >> 16) & 0xFF);
  if (premultiply) {
    k.red *= k.alpha;
    k.green *= k.alpha;
    k.blue *= k.alpha;
  }
  return k;
}

bool in_target(const DrawContext* c, std::int32_t x, std::int32_t y) {
  return x >= 0 && y >= 0 && x < c->width && y < c->height;
}

}  // namespace

void draw_set_colour(DrawContext* c, std::uint32_t colour) {
  c->front_colour = colour;
  c->front = components(colour, c->premultiply != 0);
}

void draw_set_back_colour(DrawContext* c, std::uint32_t colour) {
  c->back_colour = colour;
  c->back = components(colour, c->premultiply != 0);
}

void draw_set_mode(DrawContext* c, std::uint32_t mode) {
  if (mode & kDrawModeAllChannels) {
    mode &= ~(kDrawModeAlphaOnly | kDrawModeAlphaBlend | kDrawModeAlphaClip);
    if (c->bytes_per_pixel == 3) mode &= ~kDrawModeAllChannels;
  }
  c->mode = mode;
  const bool blends = (mode & (kDrawModeAlphaBlend | kDrawModeAlphaClip)) != 0;
  const bool excluded =
      (mode & (kDrawModeXor | kDrawModeGradient | kDrawModeCustom | kDrawModeAllChannels)) != 0;
  c->premultiply = blends && !excluded ? 1 : 0;
  c->gradient_flag = (mode & kDrawModeGradient) ? 1 : 0;
  c->custom_flag = (mode & kDrawModeCustom) ? 1 : 0;
  draw_choose_pixel_ops(c);
  const std::uint32_t alpha_modes = kDrawModeAlphaOnly | kDrawModeAlphaBlend | kDrawModeAlphaClip |
                                    kDrawModeCustom | kDrawModeAllChannels;
  c->ops.read_pixel = (c->bytes_per_pixel == 4 && (mode & alpha_modes)) ? draw_read_pixel_rgba
                                                                        : draw_read_pixel_rgb;
  draw_set_colour(c, c->front_colour);
  draw_set_back_colour(c, c->back_colour);
}

std::uint32_t draw_read_pixel_rgb(DrawContext* c, std::int32_t x, std::int32_t y) {
  if (!in_target(c, x, y)) return 0;
  const std::uint8_t* p = draw_pixel_at(c, x, y);
  return p[2] | (static_cast<std::uint32_t>(p[1]) << 8) | (static_cast<std::uint32_t>(p[0]) << 16);
}

std::uint32_t draw_read_pixel_rgba(DrawContext* c, std::int32_t x, std::int32_t y) {
  if (!in_target(c, x, y)) return 0;
  return draw_read_pixel_rgb(c, x, y) |
         (static_cast<std::uint32_t>(draw_pixel_at(c, x, y)[3]) << 24);
}

float draw_default_gradient(DrawContext*, std::int32_t, std::int32_t) {
  return 1.0f;
}

std::uint32_t draw_default_custom(DrawContext*, std::uint32_t colour) {
  return colour;
}
