// The soft device: CPU colour and D16 depth buffers, textures in memory,
// and a present that copies (or scales and letterboxes) into the SDL
// window's surface. Without a window it runs headless. Quads are queued and
// drawn together in horizontal bands, one band at a time per thread; a band
// draws every quad touching it in queue order, so the pixels are those of
// drawing the quads one after the other. The same additive quad queued again
// right away (as the game draws its glowing particles twice) is one quad
// drawn twice over, each pixel's source found once.
#include <SDL2/SDL.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "platform/display.h"
#include "platform/video_device_internal.h"
#include "platform/video_soft_pool_internal.h"
#include "platform/video_soft_present_internal.h"
#include "platform/video_soft_raster_internal.h"

namespace {

struct SoftTexture {
  bool live = false;
  int width = 0, height = 0;
  std::vector<std::uint32_t> texels;
};

struct OverlayOp {
  int left, top, right, bottom;
  std::uint32_t value;
};

struct RowRange {
  int begin, end;
};

struct QueuedQuad {
  SoftQuadSetup setup;
  SoftSpanParams params;
};

// Rows per band at least, so that a quad's set-up is not repeated in many
// thin bands; and bands per thread, so that a thread through its share
// takes over work of one whose bands are busier.
constexpr int kLeastBandRows = 32;
constexpr int kBandsPerThread = 4;
constexpr int kMostRepeats = 16;
constexpr int kScalePieces = 8;  // of a scaled present's rows, shared by the threads

int g_forced_threads = 0, g_forced_bands = 0;  // 0: the defaults

struct SoftVideo : PlatVideo {
  std::vector<std::uint32_t> color;
  std::vector<std::uint16_t> depth;
  std::vector<SoftTexture> textures;  // handle = index + 1
  std::vector<OverlayOp> overlay;     // kept until the frame ends
  // Drawn when anything but a quad comes: the clear, the quads, and at the
  // frame's end its overlay.
  bool clear_queued = false;
  std::vector<QueuedQuad> queue;
  // Each queued quad's rows, apart from it: a band reads these for every
  // quad, and the quads it draws only.
  std::vector<RowRange> queue_rows;
  PlatQuad last{};  // the last queued quad, while the next could repeat it
  bool last_additive = false;
  bool overlay_queued = false;
  int bands = 1;
  std::unique_ptr<SoftPool> pool;  // null: one thread
  SoftScale scale;                 // the last scaled present's, its column table kept
};

SoftVideo* soft(PlatVideo* v) {
  return static_cast<SoftVideo*>(v);
}

SoftTexture* find(PlatVideo* v, PlatTexture handle) {
  auto& list = soft(v)->textures;
  if (handle <= 0 || handle > static_cast<PlatTexture>(list.size())) return nullptr;
  SoftTexture* t = &list[static_cast<std::size_t>(handle - 1)];
  return t->live ? t : nullptr;
}

void fill_rows(SoftVideo* s, const OverlayOp& op, int top, int bottom) {
  for (int y = std::max(op.top, top); y < std::min(op.bottom, bottom); ++y) {
    std::uint32_t* row = s->color.data() + static_cast<std::size_t>(y) * s->width;
    std::fill(row + op.left, row + op.right, op.value);
  }
}

void draw_band(void* context, int band) {
  SoftVideo* s = static_cast<SoftVideo*>(context);
  const int top = s->height * band / s->bands, bottom = s->height * (band + 1) / s->bands;
  const std::size_t first = static_cast<std::size_t>(top) * s->width;
  const std::size_t last = static_cast<std::size_t>(bottom) * s->width;
  if (s->clear_queued) {
    std::fill(s->color.begin() + first, s->color.begin() + last, 0u);
    std::fill(s->depth.begin() + first, s->depth.begin() + last, std::uint16_t{0xFFFF});
  }
  const SoftSurface target{s->color.data(), s->depth.data(), s->width, s->height};
  for (std::size_t i = 0; i < s->queue.size(); ++i) {
    const RowRange r = s->queue_rows[i];
    if (r.begin >= bottom || r.end <= top) continue;
    soft_raster_rows(target, s->queue[i].setup, s->queue[i].params, top, bottom);
  }
  if (s->overlay_queued) {
    for (const OverlayOp& op : s->overlay) fill_rows(s, op, top, bottom);
  }
}

// Every operation but queueing a quad first draws what is queued.
SoftVideo* settled(PlatVideo* v) {
  SoftVideo* s = soft(v);
  if (!s->clear_queued && s->queue.empty() && !s->overlay_queued) return s;
  if (s->pool) {
    s->pool->run(s->bands, draw_band, s);
  } else {
    for (int band = 0; band < s->bands; ++band) draw_band(s, band);
  }
  s->clear_queued = false;
  s->queue.clear();
  s->queue_rows.clear();
  s->last_additive = false;
  if (s->overlay_queued) s->overlay.clear();
  s->overlay_queued = false;
  return s;
}

bool same_quad(const PlatQuad& a, const PlatQuad& b) {
  return a.texture == b.texture && a.src_left == b.src_left && a.src_top == b.src_top &&
         a.src_right == b.src_right && a.src_bottom == b.src_bottom && a.centre_x == b.centre_x &&
         a.centre_y == b.centre_y && std::equal(a.m, a.m + 6, b.m) && a.depth == b.depth &&
         a.alpha == b.alpha && a.src_blend == b.src_blend && a.dst_blend == b.dst_blend;
}

void destroy(PlatVideo* v) {
  delete soft(v);
}

PlatTexture texture_create(PlatVideo* v, int width, int height) {
  auto& list = settled(v)->textures;
  std::size_t slot = 0;
  while (slot < list.size() && list[slot].live) ++slot;
  if (slot == list.size()) list.emplace_back();
  SoftTexture& t = list[slot];
  try {
    t.texels.assign(static_cast<std::size_t>(width) * height, 0u);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  t.live = true;
  t.width = width;
  t.height = height;
  return static_cast<PlatTexture>(slot + 1);
}

void texture_destroy(PlatVideo* v, PlatTexture handle) {
  if (SoftTexture* t = find(settled(v), handle)) {
    t->live = false;
    t->texels = {};
  }
}

void texture_upload(PlatVideo* v, PlatTexture handle, int x, int y, int width, int height,
                    const std::uint32_t* texels, int pitch) {
  SoftTexture* t = find(settled(v), handle);
  if (t == nullptr) return;
  const int x0 = std::max(x, 0), y0 = std::max(y, 0);
  const int x1 = std::min(x + width, t->width), y1 = std::min(y + height, t->height);
  for (int row = y0; row < y1; ++row) {
    const std::uint32_t* src = texels + static_cast<std::size_t>(row - y) * pitch + (x0 - x);
    std::copy(src, src + (x1 - x0),
              t->texels.data() + static_cast<std::size_t>(row) * t->width + x0);
  }
}

void texture_read(PlatVideo* v, PlatTexture handle, std::uint32_t* out) {
  if (SoftTexture* t = find(v, handle)) std::copy(t->texels.begin(), t->texels.end(), out);
}

bool texture_size(PlatVideo* v, PlatTexture handle, int* width, int* height) {
  SoftTexture* t = find(v, handle);
  if (t == nullptr) return false;
  *width = t->width;
  *height = t->height;
  return true;
}

void begin_frame(PlatVideo* v) {
  SoftVideo* s = settled(v);
  s->clear_queued = true;
  s->overlay.clear();
}

void draw_quad(PlatVideo* v, const PlatQuad& quad) {
  SoftVideo* s = soft(v);
  if (s->last_additive && s->queue.back().params.repeat < kMostRepeats &&
      same_quad(s->last, quad)) {
    ++s->queue.back().params.repeat;
    return;
  }
  SoftTexture* t = find(v, quad.texture);
  if (t == nullptr) return;
  QueuedQuad q{};
  if (!soft_quad_prepare(quad, s->height, &q.setup)) {
    s->last_additive = false;
    return;
  }
  q.params = soft_quad_params(SoftImage{t->texels.data(), t->width, t->height}, quad, 1);
  s->queue.push_back(q);
  s->queue_rows.push_back({q.setup.y_begin, q.setup.y_end});
  s->last = quad;
  s->last_additive = q.params.blend == BlendPair{BlendFactor::SrcAlpha, BlendFactor::One};
}

void end_frame(PlatVideo* v) {
  SoftVideo* s = soft(v);
  s->overlay_queued = !s->overlay.empty();
  settled(v);
}

void overlay_fill(PlatVideo* v, int left, int top, int right, int bottom, std::uint32_t value) {
  const OverlayOp op{left, top, right, bottom, value};
  if (v->in_frame) {  // kept for the frame's end: nothing to draw before
    soft(v)->overlay.push_back(op);
  } else {
    fill_rows(settled(v), op, top, bottom);
  }
}

void overlay_pixel(PlatVideo* v, int x, int y, std::uint32_t value) {
  overlay_fill(v, x, y, x + 1, y + 1, value);
}

void read_back(PlatVideo* v, std::uint32_t* out) {
  const SoftVideo* s = settled(v);
  std::copy(s->color.begin(), s->color.end(), out);
}

void finish(PlatVideo* v) {
  settled(v);
}

void scale_piece(void* context, int piece) {
  const SoftVideo* s = static_cast<const SoftVideo*>(context);
  const int rows = s->scale.dst_h;
  soft_scale_rows(s->scale, rows * piece / kScalePieces, rows * (piece + 1) / kScalePieces);
}

// Scaled into a surface of our own format: by the device's threads, rather
// than by SDL's one-thread stretch and a clear of the whole surface.
int present_scaled(SoftVideo* s, SDL_Surface* surface, SDL_Window* window) {
  if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return -1;
  const PlatRect r = plat_letterbox(s->width, s->height, surface->w, surface->h);
  const bool fits = soft_scale_prepare(&s->scale, s->color.data(), s->width, s->height,
                                       static_cast<std::uint32_t*>(surface->pixels),
                                       surface->pitch / 4, surface->w, surface->h, r);
  if (fits && s->pool) {
    s->pool->run(kScalePieces, scale_piece, s);
  } else if (fits) {
    soft_scale_rows(s->scale, 0, surface->h);
  }
  if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
  return fits ? SDL_UpdateWindowSurface(window) : -1;
}

int present_to(SoftVideo* s, SDL_Window* window) {
  SDL_Surface* surface = SDL_GetWindowSurface(window);
  if (surface == nullptr) {
    plat_video_set_error(std::string("no window surface: ") + SDL_GetError());
    return -1;
  }
  if (surface->format->format == SDL_PIXELFORMAT_RGB888 &&
      (surface->w != s->width || surface->h != s->height)) {
    return present_scaled(s, surface, window);
  }
  SDL_Surface* picture = SDL_CreateRGBSurfaceWithFormatFrom(
      s->color.data(), s->width, s->height, 32, s->width * 4, SDL_PIXELFORMAT_RGB888);
  if (picture == nullptr) return -1;
  int rc = 0;
  if (surface->w == s->width && surface->h == s->height) {
    rc = SDL_BlitSurface(picture, nullptr, surface, nullptr);
  } else {
    const PlatRect r = plat_letterbox(s->width, s->height, surface->w, surface->h);
    SDL_Rect dst{r.x, r.y, r.width, r.height};
    SDL_FillRect(surface, nullptr, 0);
    rc = SDL_BlitScaled(picture, nullptr, surface, &dst);
  }
  SDL_FreeSurface(picture);
  if (rc == 0) rc = SDL_UpdateWindowSurface(window);
  return rc;
}

int present(PlatVideo* v) {
  SoftVideo* s = settled(v);
  SDL_Window* window = plat_video_sdl_window(s->window);
  if (window == nullptr) return 0;  // headless: nothing to show
  const int rc = present_to(s, window);
  if (s->vsync) s->pacer.wait(plat_video_refresh_hz(s->window));
  return rc;
}

// A window surface never waits for the retrace: every vsync present is
// paced, on this thread.
void set_vsync(PlatVideo* v, bool) {
  v->pacer.reset();
}

// No kept uploads (the texels are copied at once), no render thread.
constexpr PlatVideoOps kSoftOps = {
    .destroy = destroy,
    .texture_create = texture_create,
    .texture_destroy = texture_destroy,
    .texture_upload = texture_upload,
    .texture_upload_kept = nullptr,
    .texture_wait = nullptr,
    .texture_upload_done = nullptr,
    .texture_read = texture_read,
    .texture_size = texture_size,
    .begin_frame = begin_frame,
    .draw_quad = draw_quad,
    .end_frame = end_frame,
    .overlay_pixel = overlay_pixel,
    .overlay_fill = overlay_fill,
    .read_back = read_back,
    .finish = finish,
    .present = present,
    .set_vsync = set_vsync,
    .end_at_exit = nullptr,
    .render_thread_seconds = nullptr,
    .release_memory = nullptr,
};

}  // namespace

PlatVideo* plat_video_soft_create(PlatWindow* window, int width, int height) {
  auto* s = new (std::nothrow) SoftVideo;
  if (s == nullptr) return nullptr;
  s->ops = &kSoftOps;
  s->backend = PlatVideoBackend::Soft;
  s->width = width;
  s->height = height;
  s->window = window;
  const int threads = g_forced_threads > 0 ? g_forced_threads : soft_default_threads();
  if (g_forced_bands > 0) {
    s->bands = std::min(g_forced_bands, height);
  } else if (threads > 1) {
    s->bands = std::clamp(height / kLeastBandRows, 1, threads * kBandsPerThread);
  }
  try {
    if (threads > 1 && s->bands > 1) s->pool = std::make_unique<SoftPool>(threads);
    s->color.assign(static_cast<std::size_t>(width) * height, 0u);
    s->depth.assign(static_cast<std::size_t>(width) * height, std::uint16_t{0xFFFF});
  } catch (const std::bad_alloc&) {
    delete s;
    plat_video_set_error("out of memory for the back buffer");
    return nullptr;
  }
  return s;
}

void soft_force_banding(int threads, int bands) {
  g_forced_threads = threads;
  g_forced_bands = bands;
}

int soft_threads(PlatVideo* video) {
  if (video == nullptr || video->backend != PlatVideoBackend::Soft) return 0;
  const SoftVideo* s = soft(video);
  return s->pool ? s->pool->threads() : 1;
}
