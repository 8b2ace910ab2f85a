// Plots and spans of every drawing mode on 24- and 32-bit targets. Each mode
// is one pixel rule; the plots, the horizontal and the vertical spans are
// built from it so they cannot disagree. Spans are clipped by their callers;
// plots clip themselves.
#include <cstring>

#include "image/raster_internal.h"

namespace {

// A colour ready for the pixel rules: raw channels, the channels
// premultiplied by alpha, and alpha.
struct Ink {
  std::int32_t red, green, blue;
  std::int32_t pre_red, pre_green, pre_blue;
  std::int32_t alpha;
};

Ink ink_of_colour(std::uint32_t colour) {
  Ink k{};
  k.red = static_cast<std::int32_t>(colour & 0xFF);
  k.green = static_cast<std::int32_t>((colour >> 8) & 0xFF);
  k.blue = static_cast<std::int32_t>((colour >> 16) & 0xFF);
  k.alpha = static_cast<std::int32_t>(colour >> 24);
  k.pre_red = k.red * k.alpha;
  k.pre_green = k.green * k.alpha;
  k.pre_blue = k.blue * k.alpha;
  return k;
}

Ink ink_of_front(const DrawContext* c) {
  const DrawComponents& f = c->front;
  Ink k{};
  k.alpha = f.alpha;
  if (c->premultiply) {
    k.pre_red = f.red;
    k.pre_green = f.green;
    k.pre_blue = f.blue;
    if (f.alpha) {
      k.red = f.red / f.alpha;
      k.green = f.green / f.alpha;
      k.blue = f.blue / f.alpha;
    }
  } else {
    k.red = f.red;
    k.green = f.green;
    k.blue = f.blue;
    k.pre_red = f.red * f.alpha;
    k.pre_green = f.green * f.alpha;
    k.pre_blue = f.blue * f.alpha;
  }
  return k;
}

// Pixel bytes are blue, green, red (, alpha).
struct RuleDefault {
  static void apply(std::uint8_t* p, const Ink& k) {
    p[0] = static_cast<std::uint8_t>(k.blue);
    p[1] = static_cast<std::uint8_t>(k.green);
    p[2] = static_cast<std::uint8_t>(k.red);
  }
};

struct RuleXor {
  static void apply(std::uint8_t* p, const Ink& k) {
    p[0] = static_cast<std::uint8_t>(p[0] ^ k.blue);
    p[1] = static_cast<std::uint8_t>(p[1] ^ k.green);
    p[2] = static_cast<std::uint8_t>(p[2] ^ k.red);
  }
};

struct RuleAllChannels {
  static void apply(std::uint8_t* p, const Ink& k) {
    RuleDefault::apply(p, k);
    p[3] = static_cast<std::uint8_t>(k.alpha);
  }
};

struct RuleAlphaOnly {
  static void apply(std::uint8_t* p, const Ink& k) { p[3] = static_cast<std::uint8_t>(k.alpha); }
};

struct RuleNothing {
  static void apply(std::uint8_t*, const Ink&) {}
};

struct RuleBlend24 {
  static std::uint8_t mix(std::int32_t d, std::int32_t pre, std::int32_t a) {
    return static_cast<std::uint8_t>((d * (255 - a) + pre) / 255);
  }
  static void apply(std::uint8_t* p, const Ink& k) {
    p[2] = mix(p[2], k.pre_red, k.alpha);
    p[1] = mix(p[1], k.pre_green, k.alpha);
    p[0] = mix(p[0], k.pre_blue, k.alpha);
  }
};

// 32-bit blend: the destination alpha weighs the old colour. With
// update_alpha false the destination alpha stays as it was (alpha clip).
template <bool update_alpha>
struct RuleBlend32 {
  static std::uint8_t mix(std::int32_t d, std::int32_t raw, std::int32_t pre, std::int32_t a,
                          std::int32_t da) {
    if (da == 0) return static_cast<std::uint8_t>(raw);
    return static_cast<std::uint8_t>(((255 - a) * d * da + pre * 255) / (a * 255 + da * (255 - a)));
  }
  static void apply(std::uint8_t* p, const Ink& k) {
    if (k.alpha == 0) return;
    const std::int32_t da = p[3];
    p[2] = mix(p[2], k.red, k.pre_red, k.alpha, da);
    p[1] = mix(p[1], k.green, k.pre_green, k.alpha, da);
    p[0] = mix(p[0], k.blue, k.pre_blue, k.alpha, da);
    if (update_alpha)
      p[3] = static_cast<std::uint8_t>((da * (255 - k.alpha) + k.alpha * 255) / 255);
  }
};

bool in_target(const DrawContext* c, std::int32_t x, std::int32_t y) {
  return x >= 0 && y >= 0 && x < c->width && y < c->height;
}

template <class Rule>
void plot(DrawContext* c, std::int32_t x, std::int32_t y) {
  if (in_target(c, x, y)) Rule::apply(draw_pixel_at(c, x, y), ink_of_front(c));
}

template <class Rule>
void plot_colour(DrawContext* c, std::int32_t x, std::int32_t y, std::uint32_t colour) {
  if (in_target(c, x, y)) Rule::apply(draw_pixel_at(c, x, y), ink_of_colour(colour));
}

template <class Rule, int bytes>
void span_h(DrawContext* c, std::int32_t x, std::int32_t y, std::int32_t length) {
  const Ink k = ink_of_front(c);
  std::uint8_t* p = draw_pixel_at(c, x, y);
  for (std::int32_t i = 0; i < length; ++i, p += bytes) Rule::apply(p, k);
}

template <class Rule>
void span_v(DrawContext* c, std::int32_t x, std::int32_t y, std::int32_t length) {
  const Ink k = ink_of_front(c);
  std::uint8_t* p = draw_pixel_at(c, x, y);
  for (std::int32_t i = 0; i < length; ++i, p -= c->pitch) Rule::apply(p, k);
}

// The default span runs without per-pixel tests: one pattern of 3 bytes.
template <int bytes>
void span_h_default(DrawContext* c, std::int32_t x, std::int32_t y, std::int32_t length) {
  const Ink k = ink_of_front(c);
  const std::uint8_t bgr[3] = {static_cast<std::uint8_t>(k.blue),
                               static_cast<std::uint8_t>(k.green),
                               static_cast<std::uint8_t>(k.red)};
  std::uint8_t* p = draw_pixel_at(c, x, y);
  for (std::int32_t i = 0; i < length; ++i, p += bytes) std::memcpy(p, bgr, 3);
}

// Gradient and custom modes: each pixel's colour comes from the context's
// functions, then it is written as in the default mode.
std::uint32_t shaded_colour(DrawContext* c, std::int32_t x, std::int32_t y, std::uint32_t colour) {
  if (c->gradient_flag && c->gradient) {
    const float g = c->gradient(c, x, y);
    std::uint32_t mixed = 0;
    for (int shift = 0; shift < 32; shift += 8) {
      const float from = static_cast<float>((c->gradient_back >> shift) & 0xFF);
      const float to = static_cast<float>((c->gradient_front >> shift) & 0xFF);
      float v = from + (to - from) * g;
      v = v < 0.0f ? 0.0f : (v > 255.0f ? 255.0f : v);
      mixed |= static_cast<std::uint32_t>(v) << shift;
    }
    colour = mixed;
  }
  if (c->custom_flag && c->custom) colour = c->custom(c, colour);
  return colour;
}

void plot_shaded_colour(DrawContext* c, std::int32_t x, std::int32_t y, std::uint32_t colour) {
  if (!in_target(c, x, y)) return;
  RuleDefault::apply(draw_pixel_at(c, x, y), ink_of_colour(shaded_colour(c, x, y, colour)));
}

void plot_shaded(DrawContext* c, std::int32_t x, std::int32_t y) {
  plot_shaded_colour(c, x, y, c->front_colour);
}

void span_h_shaded(DrawContext* c, std::int32_t x, std::int32_t y, std::int32_t length) {
  for (std::int32_t i = 0; i < length; ++i) plot_shaded(c, x + i, y);
}

void span_v_shaded(DrawContext* c, std::int32_t x, std::int32_t y, std::int32_t length) {
  for (std::int32_t i = 0; i < length; ++i) plot_shaded(c, x, y + i);
}

template <class Rule, int bytes>
void use_rule(DrawContext* c) {
  c->ops.plot = plot<Rule>;
  c->ops.plot_colour = plot_colour<Rule>;
  c->span_h = span_h<Rule, bytes>;
  c->span_v = span_v<Rule>;
}

template <int bytes>
void use_default(DrawContext* c) {
  use_rule<RuleDefault, bytes>(c);
  c->span_h = span_h_default<bytes>;
}

}  // namespace

void draw_choose_pixel_ops(DrawContext* c) {
  const std::uint32_t m = c->mode;
  if (c->gradient_flag || c->custom_flag) {
    c->ops.plot = plot_shaded;
    c->ops.plot_colour = plot_shaded_colour;
    c->span_h = span_h_shaded;
    c->span_v = span_v_shaded;
  } else if (c->bytes_per_pixel == 4) {
    if (m & kDrawModeXor)
      use_rule<RuleXor, 4>(c);
    else if (m & kDrawModeAllChannels)
      use_rule<RuleAllChannels, 4>(c);
    else if (m & kDrawModeAlphaOnly)
      use_rule<RuleAlphaOnly, 4>(c);
    else if (m & kDrawModeAlphaBlend)
      use_rule<RuleBlend32<true>, 4>(c);
    else if (m & kDrawModeAlphaClip)
      use_rule<RuleBlend32<false>, 4>(c);
    else
      use_default<4>(c);
  } else {
    if (m & kDrawModeXor)
      use_rule<RuleXor, 3>(c);
    else if (m & kDrawModeAlphaOnly)
      use_rule<RuleNothing, 3>(c);
    else if (m & (kDrawModeAlphaBlend | kDrawModeAlphaClip))
      use_rule<RuleBlend24, 3>(c);
    else
      use_default<3>(c);
  }
}
