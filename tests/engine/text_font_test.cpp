// Bitmap-font text over an animated sheet, and the font records.
#include <cstring>

#include "tests/engine/sprite_test_fixture.h"

namespace sprite_test {
namespace {

class TextDraw : public EngineTest {
 protected:
  // A sheet of 58 frames of 4 × 4 (8 a row), frame f filled with grey f + 1.
  EngHandle font_sheet() {
    const EngHandle s = sprite(32, 32, [](int x, int y) {
      const unsigned f = static_cast<unsigned>(y / 4 * 8 + x / 4) + 1;
      return argb(255, f, f, f);
    });
    eng_sprite_set_frames(s, 58, 0, 4, 4);
    return s;
  }

  static std::vector<int> queued_frames() {
    std::vector<int> frames;
    ListHeader* queue = g_engine.draw_queue.header;
    for (ListNode* n = queue->first; n; n = n->next)
      frames.push_back(static_cast<SpriteDrawEntry*>(rt_node_element(n))->frame);
    return frames;
  }
};

TEST_F(TextDraw, CharactersFromFirstCodeOnAreFramesOthersLeaveAGap) {
  const EngHandle sheet = font_sheet();
  ASSERT_EQ(eng_text_draw(sheet, 100, 50, " AY\x1fZ!", 0, 32, 2), 1);
  // Space is frame 0, 'Y' (89) the last of 58; 31 and 'Z' (90) fall outside.
  EXPECT_EQ(queued_frames(), (std::vector<int>{0, 33, 57, 1}));
  render();
  const unsigned expect[] = {1, 34, 58, 0, 0, 2};
  for (int i = 0; i < 6; ++i) {
    const int x = 100 + i * 6;  // frame width 4 + spacing 2
    EXPECT_EQ(pixel(x, 50), expect[i] * 0x010101u) << "character " << i;
    EXPECT_EQ(pixel(x + 3, 53), expect[i] * 0x010101u) << "character " << i;
  }
  EXPECT_EQ(pixel(104, 50), 0u) << "the spacing between glyphs";
}

TEST_F(TextDraw, NegativeCharactersAndEmptyStrings) {
  const EngHandle sheet = font_sheet();
  EXPECT_EQ(eng_text_draw(sheet, 0, 0, "", 255, 32, 0), 1);
  EXPECT_EQ(eng_text_draw(sheet, 0, 0, nullptr, 255, 32, 0), 1);
  EXPECT_EQ(rt_list_size(g_engine.draw_queue.header), 0);
  // Bytes above 127 are negative characters: below any first code of 0.
  EXPECT_EQ(eng_text_draw(sheet, 0, 0, "\xe9\x01", 255, 0, 0), 1);
  EXPECT_EQ(queued_frames(), (std::vector<int>{1}));
}

TEST_F(TextDraw, GlyphsUseTheSheetsScaleButAdvanceByTheUnscaledWidth) {
  // The game's font: 32 × 32 glyphs at 50 % with spacing -16.
  const EngHandle sheet =
      sprite(64, 32, [](int x, int) { return x < 32 ? 0xFFFF0000 : 0xFF00FF00; });
  eng_sprite_set_scale(sheet, 50, 50);
  eng_sprite_set_frames(sheet, 2, 0, 32, 32);
  eng_text_draw(sheet, 200, 300, "!\"!", 255, 33, -16);
  render();
  expect_screen({{200, 300, 0xFF0000u}, {215, 315, 0xFF0000u}, {216, 300, 0x00FF00u}});
  expect_screen({{231, 315, 0x00FF00u}, {232, 300, 0xFF0000u}, {248, 300, 0u}, {200, 316, 0u}});
}

TEST_F(TextDraw, FontLoadDescribesTheFontAndMakesItCurrent) {
  EXPECT_EQ(eng_font_load("", 20, 0, 0), 0);
  EXPECT_EQ(eng_font_load(nullptr, 20, 0, 0), 0);
  const EngHandle fallback = eng_font_add_default();
  ASSERT_NE(fallback, 0);
  EXPECT_EQ(g_engine.current_font, 0) << "the default font is not made current";
  const auto& def = reinterpret_cast<FontRecord*>(fallback)->desc;
  EXPECT_EQ(def.height, 16);
  EXPECT_EQ(def.weight, 600);
  EXPECT_STREQ(def.face, "");

  const EngHandle font = eng_font_load("A face name that is longer than thirty-one", -4, 1, -1);
  ASSERT_NE(font, 0);
  EXPECT_EQ(g_engine.current_font, font);
  const auto& desc = reinterpret_cast<FontRecord*>(font)->desc;
  EXPECT_EQ(desc.height, 12);
  EXPECT_EQ(desc.width, 0);
  EXPECT_EQ(desc.weight, 1000);
  EXPECT_EQ(desc.italic, -1);
  EXPECT_EQ(desc.charset, 1);
  EXPECT_EQ(desc.output_precision, 4);
  EXPECT_EQ(std::strlen(desc.face), 31u);
  EXPECT_EQ(std::string(desc.face), std::string("A face name that is longer than thirty-one", 31));

  // Bold and italic are bytes: 256 is 0, 0x180 is negative.
  const EngHandle plain = eng_font_load("Sans", 30, 256, 0);
  EXPECT_EQ(reinterpret_cast<FontRecord*>(plain)->desc.weight, 600);
  EXPECT_EQ(reinterpret_cast<FontRecord*>(plain)->desc.height, 30);
  EXPECT_EQ(reinterpret_cast<FontRecord*>(eng_font_load("Sans", 1, 0x180, 0))->desc.weight, 600);
}

}  // namespace
}  // namespace sprite_test
