// Bitmap-font text drawn as frames of an animated sprite sheet, and the font
// records of the engine's TrueType fonts, which nothing ever draws with.
#include <cstring>

#include "engine/objects_internal.h"
#include "engine/state_internal.h"
#include "runtime/lists.h"

namespace {
constexpr std::int32_t kWeightNormal = 600;
constexpr std::int32_t kWeightBold = 1000;
constexpr std::int32_t kDefaultHeight = 12;
constexpr std::uint8_t kDefaultCharset = 1;
constexpr std::uint8_t kOutTrueTypePrecision = 4;

FontRecord* add_font(const char* face, int height, int weight, int italic) {
  if (!g_engine.fonts.header) return nullptr;
  auto* font = static_cast<FontRecord*>(rt_list_add(g_engine.fonts.header));
  if (!font) return nullptr;
  font->desc.height = height;
  font->desc.weight = weight;
  font->desc.italic = italic;
  font->desc.charset = kDefaultCharset;
  font->desc.output_precision = kOutTrueTypePrecision;
  if (face) {
    const std::size_t length = std::min(std::strlen(face), sizeof font->desc.face - 1);
    std::memcpy(font->desc.face, face, length);
  }
  return font;
}
}  // namespace

EngHandle eng_font_load(const char* face, int height, int bold, int italic) {
  if (!face || !*face) return 0;
  FontRecord* font = add_font(face, height > 0 ? height : kDefaultHeight,
                              static_cast<std::int8_t>(bold) > 0 ? kWeightBold : kWeightNormal,
                              static_cast<std::int8_t>(italic));
  if (!font) return 0;
  g_engine.current_font = reinterpret_cast<EngHandle>(font);
  return g_engine.current_font;
}

EngHandle eng_font_add_default() {
  return reinterpret_cast<EngHandle>(add_font("", 16, kWeightNormal, 0));
}

int eng_text_draw(EngHandle sheet, int x, int y, const char* text, int /*reserved*/, int first,
                  int spacing) {
  SpriteRecord* sprite = eng_find_sprite(sheet);
  if (!sprite || !g_engine.draw_queue.header) return 0;
  if (!text) return 1;
  const int frames = sprite->last_frame + 1;
  const int advance = sprite->frame_width + spacing;
  for (const char* c = text; *c; ++c) {
    const int frame = static_cast<signed char>(*c) - first;
    if (frame >= 0 && frame < frames)
      eng_sprite_queue(sprite, static_cast<float>(x), static_cast<float>(y), 255, frame);
    x = static_cast<int>(static_cast<unsigned>(x) + static_cast<unsigned>(advance));
  }
  return 1;
}

void eng_text_pass() {
  // Fonts draw nothing on this platform; queued font texts are dropped once
  // per frame as the pass would consume them.
  if (g_engine.text_queue.header) rt_list_clear(g_engine.text_queue.header);
}
