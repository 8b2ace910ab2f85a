// Internal to platform/: the operation table every video back end fills in,
// the device record the free functions dispatch through, and the pieces
// both back ends share (blend-factor resolution, the quad frame, present
// pacing).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/video.h"

struct SDL_Window;

// Every entry is filled in but those marked optional: a back end without
// such a thing leaves them null and video.cpp gives the default.
struct PlatVideoOps {
  void (*destroy)(PlatVideo* video);
  PlatTexture (*texture_create)(PlatVideo* video, int width, int height);
  void (*texture_destroy)(PlatVideo* video, PlatTexture texture);
  void (*texture_upload)(PlatVideo* video, PlatTexture texture, int x, int y, int width, int height,
                         const std::uint32_t* texels, int pitch_texels);
  // Optional (null: an upload at once): the whole texture from texels the
  // caller keeps, read later (see plat_texture_upload_kept).
  void (*texture_upload_kept)(PlatVideo* video, PlatTexture texture, const std::uint32_t* texels);
  // Optional (null: nothing to wait for): the kept upload's texels are read.
  void (*texture_wait)(PlatVideo* video, PlatTexture texture);
  // Optional (null: always done): texture_wait would return at once.
  bool (*texture_upload_done)(PlatVideo* video, PlatTexture texture);
  void (*texture_read)(PlatVideo* video, PlatTexture texture, std::uint32_t* out);
  bool (*texture_size)(PlatVideo* video, PlatTexture texture, int* width, int* height);
  void (*begin_frame)(PlatVideo* video);
  void (*draw_quad)(PlatVideo* video, const PlatQuad& quad);
  // Draws what is queued, then the overlay kept for the frame's end.
  void (*end_frame)(PlatVideo* video);
  void (*overlay_pixel)(PlatVideo* video, int x, int y, std::uint32_t value);
  void (*overlay_fill)(PlatVideo* video, int left, int top, int right, int bottom,
                       std::uint32_t value);
  void (*read_back)(PlatVideo* video, std::uint32_t* out);
  void (*finish)(PlatVideo* video);
  int (*present)(PlatVideo* video);
  // Also starts the present pacing anew, on whichever thread paces.
  void (*set_vsync)(PlatVideo* video, bool on);
  // Optional (null: nothing to end): at the process's end, before the
  // display closes, a device's own threads finish and its context goes;
  // the device then draws nothing and fails its presents.
  void (*end_at_exit)(PlatVideo* video);
  // Optional (null: 0): CPU seconds the device's own render thread has used.
  double (*render_thread_seconds)(PlatVideo* video);
  // Optional (null: the allocator gives memory back by itself): see
  // plat_video_release_memory.
  void (*release_memory)(PlatVideo* video);
};

// Sleeps presents to a refresh rate where the swap cannot wait for the
// retrace itself. Deadlines follow each other by one period; a present that
// comes more than a period late starts the schedule again instead of
// rushing to catch up.
struct PlatPacer {
  std::uint64_t next_100ns = 0;
  void wait(int refresh_hz);
  void reset() { next_100ns = 0; }
};

struct PlatVideo {
  const PlatVideoOps* ops = nullptr;
  PlatVideoBackend backend = PlatVideoBackend::Soft;
  int width = 0;
  int height = 0;
  PlatWindow* window = nullptr;  // null: headless (soft) or hidden window (gl)
  bool in_frame = false;
  bool vsync = false;
  PlatPacer pacer;
};

// A blend pair after the D3D rules (see PlatBlend): only these factors remain.
enum class BlendFactor : std::uint8_t {
  Zero,
  One,
  SrcColor,
  InvSrcColor,
  SrcAlpha,
  InvSrcAlpha,
  DstColor,
  InvDstColor,
};
struct BlendPair {
  BlendFactor src, dst;
  bool operator==(const BlendPair&) const = default;
};
BlendPair plat_blend_resolve(int src_blend, int dst_blend);

// A quad on the screen: the corner (ox, oy) where the source's top left
// lands and the edges e1 along the source's width sw and e2 along its
// height sh; det is the edges' cross product.
struct PlatQuadFrame {
  double sw, sh;
  double ox, oy;
  double e1x, e1y, e2x, e2y;
  double det;
};
// False when the source rectangle reaches beyond 2^24 texels (where float
// sources lose whole texels) or the quad is degenerate.
bool plat_quad_frame(const PlatQuad& quad, PlatQuadFrame* out);

// False for a quad that draws nothing whatever the texture: depth outside
// 0 … 1 (or not a number), alpha 0, or a non-finite transform.
bool plat_quad_drawable(const PlatQuad& quad);

void plat_video_set_error(const std::string& message);
// The SDL window of a device's PlatWindow; null for none.
SDL_Window* plat_video_sdl_window(PlatWindow* window);
// Refresh rate for pacing: the window's display, 60 when unknown.
int plat_video_refresh_hz(PlatWindow* window);

// Back-end constructors; null (with the error set) when they cannot run.
PlatVideo* plat_video_soft_create(PlatWindow* window, int width, int height);
PlatVideo* plat_video_gl_create(PlatWindow* window, int width, int height);
// At the process's end, before the display closes: every live device's
// end_at_exit runs (the gl devices' render threads finish and end, their
// contexts go). The devices stay as they are for anything that still calls
// them, and draw nothing.
void plat_video_end_all();

// CPU seconds a device's own render thread has used; 0 for none.
double plat_video_render_thread_seconds(PlatVideo* video);
