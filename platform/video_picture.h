// A quad drawn on the CPU into the caller's memory, pixel for pixel as the
// soft device draws it, for pictures that must match the screen without a
// device (the engine's collision pictures).
#pragma once
#include <cstdint>

#include "platform/video.h"

// Draws `quad` (its texture field unused; texels come from `texels`,
// 0xAARRGGBB rows top-down, texels_width × texels_height) once onto
// `out`, width × height 0xAARRGGBB pixels, rows top-down, which is cleared
// to transparent black first. Colour is what the quad's blend leaves on the
// black back buffer; the top byte is what the same blend leaves in an alpha
// channel starting at 0. A quad that plat_video_draw_quad would not draw
// (non-finite, alpha 0, depth outside 0 … 1) leaves `out` clear.
void plat_video_picture_draw(std::uint32_t* out, int width, int height, const PlatQuad& quad,
                             const std::uint32_t* texels, int texels_width, int texels_height);
