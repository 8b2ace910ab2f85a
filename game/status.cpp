// Score, credit line, logo, energy panel, frame and bar.
#include "engine/engine.h"
#include "game/state.h"
#include "runtime/strings.h"

void game_logo_draw() {
  eng_sprite_set_blend(g_assets.logo_sprite, kEngBlendSrcAlpha, kEngBlendInvSrcAlpha);
  eng_sprite_draw(g_assets.logo_sprite, 416, 30, 255);
}

void game_score_draw() {
  // The text is built in the temporary string buffer and handed over from there.
  std::int32_t start = rt_str_position();
  rt_str_from_long(start, g_game.score);
  rt_str_set_position(rt_str_position() + 1);
  const char* text = rt_str_temp_ptr(start + 1);
  int half = rt_str_len(text) / 2;
  int x = 512 - 16 * half;
  std::intptr_t font = g_assets.font_sprite;
  eng_sprite_set_blend(font, kEngBlendSrcAlpha, kEngBlendInvSrcAlpha);
  eng_text_draw(font, x, 100, text, 255, 32, -16);
  eng_sprite_set_blend(font, kEngBlendSrcAlpha,
                       kEngBlendDestAlpha);  // the additive copy brightens the digits
  eng_text_draw(font, x, 100, text, 255, 32, -16);
  rt_str_set_position(start);
}

void game_status_draw() {
  const GameVariant& v = *g_game.variant;
  // No blend is set for the credit line: the font keeps the score's second one.
  eng_text_draw(g_assets.font_sprite, 300, 10, "CREATED WITH KORVALINE AND", 255, 32, -16);
  eng_sprite_draw(g_assets.panel_sprite, 412, 663, 255);
  eng_box_draw(411, 662, 200, 20, 0xFFFFFF, 0);
  int n = game_round(g_game.energy);
  for (int i = 0; i <= n; ++i) {
    eng_sprite_set_blend(g_assets.bar_sprite, v.bar_src_blend, v.bar_dst_blend);
    eng_sprite_draw(g_assets.bar_sprite, 412 + i, 663, v.bar_alpha);
  }
}
