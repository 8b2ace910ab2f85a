// Screen boxes: outlines and filled rectangles queued during the frame and
// written raw over the finished picture.
#include <algorithm>

#include "engine/objects_internal.h"
#include "engine/state_internal.h"
#include "runtime/lists.h"

namespace {
constexpr int kModeFilled = 1;

int wrap_add(int a, int b) {
  return static_cast<int>(static_cast<unsigned>(a) + static_cast<unsigned>(b));
}

// An edge with both ends included, each pixel clipped on its own. Box edges
// are horizontal or vertical, so the clipped span is exactly the pixels an
// integer line between the two ends would write on screen.
void draw_edge(PlatVideo* video, int width, int height, int x1, int y1, int x2, int y2,
               std::uint32_t colour) {
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  const int left = std::max(x1, 0), right = std::min(x2, width - 1);
  const int top = std::max(y1, 0), bottom = std::min(y2, height - 1);
  for (int y = top; y <= bottom; ++y)
    for (int x = left; x <= right; ++x) plat_video_overlay_pixel(video, x, y, colour);
}

void draw_outline(PlatVideo* video, const BoxEntry& box) {
  const int w = plat_video_width(video), h = plat_video_height(video);
  draw_edge(video, w, h, box.left, box.top, box.right, box.top, box.colour);
  draw_edge(video, w, h, box.left, box.top, box.left, box.bottom, box.colour);
  draw_edge(video, w, h, box.left, box.bottom, box.right, box.bottom, box.colour);
  draw_edge(video, w, h, box.right, box.top, box.right, box.bottom, box.colour);
}
}  // namespace

int eng_box_draw(int x, int y, int width, int height, int colour, int mode) {
  if (!g_engine.boxes.header) return 0;
  auto* box = static_cast<BoxEntry*>(rt_list_add(g_engine.boxes.header));
  if (!box) return 0;
  box->left = x;
  box->top = y;
  box->right = wrap_add(x, width);
  box->bottom = wrap_add(y, height);
  box->kind = mode == kModeFilled ? kBoxFilled : kBoxOutline;
  box->colour = static_cast<std::uint32_t>(colour);
  return 0;
}

void eng_box_pass() {
  ListHeader* boxes = g_engine.boxes.header;
  PlatVideo* video = g_engine.screen.video;
  if (!boxes || !video || rt_list_size(boxes) == 0) return;
  rt_list_reset(boxes);
  while (auto* box = static_cast<BoxEntry*>(rt_list_next(boxes))) {
    if (box->kind == kBoxFilled)
      plat_video_overlay_fill(video, box->left, box->top, box->right, box->bottom, box->colour);
    else
      draw_outline(video, *box);
  }
  rt_list_clear(boxes);
}
