// The device's free functions: back-end selection from one list, dispatch
// through the operation table (a null device does nothing, a null optional
// entry gives its default), and the rules both back ends share:
// blend-factor resolution, quad corners, present pacing.
#include <time.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/display.h"
#include "platform/display_sdl_internal.h"
#include "platform/log.h"
#include "platform/tape_seam_internal.h"
#include "platform/video_device_internal.h"

namespace {
thread_local std::string g_error;

// Devices made and not yet destroyed, for the process's end.
std::mutex g_live_mutex;
std::vector<PlatVideo*> g_live;

// A back end: its SHOOTER_VIDEO name, whether the automatic choice tries it
// for a window (null: headless), its constructor, and what it draws with,
// for the diagnostic when the automatic choice passes over it.
struct VideoBootstrap {
  const char* name;
  PlatVideoBackend backend;
  bool (*available)(PlatWindow* window);
  PlatVideo* (*create)(PlatWindow* window, int width, int height);
  const char* title;  // in the fallback's diagnostic
};

bool with_window(PlatWindow* window) {
  return window != nullptr;
}
bool always(PlatWindow*) {
  return true;
}

// The automatic choice walks this in order; the last entry can always run.
constexpr VideoBootstrap kBootstraps[] = {
    {.name = "gl",
     .backend = PlatVideoBackend::GL,
     .available = with_window,
     .create = plat_video_gl_create,
     .title = "OpenGL"},
    {.name = "soft",
     .backend = PlatVideoBackend::Soft,
     .available = always,
     .create = plat_video_soft_create,
     .title = "the CPU"},
};

const VideoBootstrap* bootstrap_of(PlatVideoBackend backend) {
  for (const VideoBootstrap& b : kBootstraps) {
    if (b.backend == backend) return &b;
  }
  return nullptr;
}

// SHOOTER_VIDEO forces a back end for Auto; anything else leaves Auto.
PlatVideoBackend env_backend() {
  const char* v = std::getenv("SHOOTER_VIDEO");
  if (v == nullptr) return PlatVideoBackend::Auto;
  for (const VideoBootstrap& b : kBootstraps) {
    if (std::strcmp(v, b.name) == 0) return b.backend;
  }
  return PlatVideoBackend::Auto;
}

// The first entry that is available and can be made; each one refused on
// the way is said once, with its reason.
PlatVideo* create_first(PlatWindow* window, int width, int height) {
  const VideoBootstrap* refused = nullptr;
  for (const VideoBootstrap& b : kBootstraps) {
    if (!b.available(window)) continue;
    if (refused != nullptr) {
      plat_log(PlatLogLevel::Info, "video", "%s unavailable (%s): drawing on %s instead",
               refused->title, g_error.empty() ? "no reason given" : g_error.c_str(), b.title);
    }
    if (PlatVideo* video = b.create(window, width, height)) return video;
    refused = &b;
  }
  return nullptr;
}

BlendFactor src_factor(int f) {
  switch (f) {
    case kBlendZero:
      return BlendFactor::Zero;
    case kBlendSrcColor:
      return BlendFactor::SrcColor;
    case kBlendInvSrcColor:
      return BlendFactor::InvSrcColor;
    case kBlendSrcAlpha:
      return BlendFactor::SrcAlpha;
    case kBlendInvSrcAlpha:
      return BlendFactor::InvSrcAlpha;
    case kBlendDestAlpha:
      return BlendFactor::One;  // destination alpha is 1
    case kBlendInvDestAlpha:
      return BlendFactor::Zero;
    case kBlendDestColor:
      return BlendFactor::DstColor;
    case kBlendInvDestColor:
      return BlendFactor::InvDstColor;
    case kBlendSrcAlphaSat:
      return BlendFactor::Zero;  // min(As, 1 - 1)
    case kBlendBothSrcAlpha:
      return BlendFactor::SrcAlpha;
    case kBlendBothInvSrcAlpha:
      return BlendFactor::InvSrcAlpha;
    default:
      return BlendFactor::One;  // kBlendOne and strays
  }
}

BlendFactor dst_factor(int f) {
  switch (f) {
    case kBlendOne:
      return BlendFactor::One;
    case kBlendBothSrcAlpha:
      return BlendFactor::InvSrcAlpha;
    case kBlendBothInvSrcAlpha:
      return BlendFactor::SrcAlpha;
    case kBlendZero:
      return BlendFactor::Zero;
    default:
      if (f < kBlendZero || f > kBlendBothInvSrcAlpha) return BlendFactor::Zero;
      return src_factor(f);
  }
}
}  // namespace

BlendPair plat_blend_resolve(int src_blend, int dst_blend) {
  if (src_blend == kBlendBothSrcAlpha) return {BlendFactor::SrcAlpha, BlendFactor::InvSrcAlpha};
  if (src_blend == kBlendBothInvSrcAlpha) {
    return {BlendFactor::InvSrcAlpha, BlendFactor::SrcAlpha};
  }
  return {src_factor(src_blend), dst_factor(dst_blend)};
}

bool plat_quad_drawable(const PlatQuad& q) {
  if (!(q.depth >= 0.0f && q.depth <= 1.0f) || q.alpha == 0) return false;
  for (float v : q.m) {
    if (!std::isfinite(v)) return false;
  }
  return std::isfinite(q.src_left) && std::isfinite(q.src_top) && std::isfinite(q.src_right) &&
         std::isfinite(q.src_bottom) && std::isfinite(q.centre_x) && std::isfinite(q.centre_y);
}

bool plat_quad_frame(const PlatQuad& q, PlatQuadFrame* out) {
  constexpr double kMaxSource = 16777216.0;
  const double lims[4] = {q.src_left, q.src_right, q.src_top, q.src_bottom};
  for (double l : lims) {
    if (std::fabs(l) > kMaxSource) return false;
  }
  PlatQuadFrame& f = *out;
  f.sw = double(q.src_right) - q.src_left;
  f.sh = double(q.src_bottom) - q.src_top;
  f.ox = -double(q.m[0]) * q.centre_x - double(q.m[2]) * q.centre_y + q.m[4];
  f.oy = -double(q.m[1]) * q.centre_x - double(q.m[3]) * q.centre_y + q.m[5];
  f.e1x = double(q.m[0]) * f.sw;
  f.e1y = double(q.m[1]) * f.sw;
  f.e2x = double(q.m[2]) * f.sh;
  f.e2y = double(q.m[3]) * f.sh;
  f.det = f.e1x * f.e2y - f.e1y * f.e2x;
  return std::fabs(f.det) > 1e-9;
}

void PlatPacer::wait(int refresh_hz) {
  // Tests step time themselves; a timed playback runs unpaced.
  if (plat_clock_is_virtual() || tape_seam_unpaced()) return;
  const std::uint64_t period =
      10'000'000ull / static_cast<unsigned>(refresh_hz > 0 ? refresh_hz : 60);
  std::uint64_t now = plat_time_untaped_100ns();
  if (next_100ns == 0 || now > next_100ns + period) {
    next_100ns = now + period;
    return;
  }
  if (now < next_100ns) {
    const std::uint64_t d = next_100ns - now;
    timespec ts{static_cast<time_t>(d / 10'000'000ull), static_cast<long>(d % 10'000'000ull) * 100};
    while (nanosleep(&ts, &ts) != 0) {
    }
  }
  next_100ns += period;
}

void plat_video_set_error(const std::string& message) {
  g_error = message;
}
const char* plat_video_last_error() {
  return g_error.c_str();
}

SDL_Window* plat_video_sdl_window(PlatWindow* window) {
  return window != nullptr ? plat_window_sdl(window) : nullptr;
}

int plat_video_refresh_hz(PlatWindow* window) {
  const int hz = window != nullptr ? plat_window_refresh_hz(window) : 0;
  return hz > 0 ? hz : 60;
}

bool plat_video_gl_wanted() {
  return env_backend() != PlatVideoBackend::Soft;
}

PlatVideo* plat_video_create(PlatVideoBackend backend, PlatWindow* window, int width, int height) {
  g_error.clear();
  if (width <= 0 || height <= 0 || width > 16384 || height > 16384) {
    plat_video_set_error("back buffer size out of range");
    return nullptr;
  }
  if (backend == PlatVideoBackend::Auto) backend = env_backend();
  const VideoBootstrap* forced = bootstrap_of(backend);
  PlatVideo* video = forced != nullptr ? forced->create(window, width, height)
                                       : create_first(window, width, height);
  if (video != nullptr) {
    std::lock_guard lock(g_live_mutex);
    g_live.push_back(video);
  }
  return video;
}

void plat_video_destroy(PlatVideo* video) {
  if (video == nullptr) return;
  {
    std::lock_guard lock(g_live_mutex);
    std::erase(g_live, video);
  }
  video->ops->destroy(video);
}

void plat_video_end_all() {
  std::lock_guard lock(g_live_mutex);
  for (PlatVideo* video : g_live) {
    if (video->ops->end_at_exit != nullptr) video->ops->end_at_exit(video);
  }
}

double plat_video_render_thread_seconds(PlatVideo* video) {
  if (video == nullptr || video->ops->render_thread_seconds == nullptr) return 0;
  return video->ops->render_thread_seconds(video);
}

PlatVideoBackend plat_video_backend(const PlatVideo* video) {
  return video != nullptr ? video->backend : PlatVideoBackend::Auto;
}

PlatTexture plat_texture_create(PlatVideo* video, int width, int height) {
  if (video == nullptr || width <= 0 || height <= 0 || width > 16384 || height > 16384) return 0;
  return video->ops->texture_create(video, width, height);
}

void plat_texture_destroy(PlatVideo* video, PlatTexture texture) {
  if (video != nullptr) video->ops->texture_destroy(video, texture);
}

void plat_texture_upload(PlatVideo* video, PlatTexture texture, int x, int y, int width, int height,
                         const std::uint32_t* texels, int pitch_texels) {
  if (video == nullptr || texels == nullptr || width <= 0 || height <= 0) return;
  if (pitch_texels < width) return;
  video->ops->texture_upload(video, texture, x, y, width, height, texels, pitch_texels);
}

void plat_texture_upload_kept(PlatVideo* video, PlatTexture texture, const std::uint32_t* texels) {
  if (video == nullptr || texels == nullptr) return;
  if (video->ops->texture_upload_kept != nullptr) {
    video->ops->texture_upload_kept(video, texture, texels);
    return;
  }
  const int w = plat_texture_width(video, texture), h = plat_texture_height(video, texture);
  plat_texture_upload(video, texture, 0, 0, w, h, texels, w);
}

void plat_texture_wait(PlatVideo* video, PlatTexture texture) {
  if (video != nullptr && video->ops->texture_wait != nullptr) {
    video->ops->texture_wait(video, texture);
  }
}

bool plat_texture_upload_done(PlatVideo* video, PlatTexture texture) {
  if (video == nullptr || video->ops->texture_upload_done == nullptr) return true;
  return video->ops->texture_upload_done(video, texture);
}

void plat_video_release_memory(PlatVideo* video) {
  if (video != nullptr && video->ops->release_memory != nullptr) video->ops->release_memory(video);
}

void plat_texture_read(PlatVideo* video, PlatTexture texture, std::uint32_t* out) {
  if (video != nullptr && out != nullptr) video->ops->texture_read(video, texture, out);
}

int plat_texture_width(PlatVideo* video, PlatTexture texture) {
  int w = 0, h = 0;
  if (video == nullptr || !video->ops->texture_size(video, texture, &w, &h)) return 0;
  return w;
}

int plat_texture_height(PlatVideo* video, PlatTexture texture) {
  int w = 0, h = 0;
  if (video == nullptr || !video->ops->texture_size(video, texture, &w, &h)) return 0;
  return h;
}

void plat_video_begin_frame(PlatVideo* video) {
  if (video == nullptr) return;
  if (video->in_frame) video->ops->end_frame(video);
  video->in_frame = true;
  video->ops->begin_frame(video);
}

void plat_video_draw_quad(PlatVideo* video, const PlatQuad& quad) {
  if (video != nullptr && video->in_frame && plat_quad_drawable(quad)) {
    video->ops->draw_quad(video, quad);
  }
}

void plat_video_end_frame(PlatVideo* video) {
  if (video == nullptr || !video->in_frame) return;
  video->ops->end_frame(video);
  video->in_frame = false;
}

void plat_video_overlay_pixel(PlatVideo* video, int x, int y, std::uint32_t value) {
  if (video == nullptr || x < 0 || y < 0 || x >= video->width || y >= video->height) return;
  video->ops->overlay_pixel(video, x, y, value & 0xFFFFFFu);
}

void plat_video_overlay_fill(PlatVideo* video, int left, int top, int right, int bottom,
                             std::uint32_t value) {
  if (video == nullptr) return;
  left = left < 0 ? 0 : left;
  top = top < 0 ? 0 : top;
  right = right > video->width ? video->width : right;
  bottom = bottom > video->height ? video->height : bottom;
  if (left >= right || top >= bottom) return;
  video->ops->overlay_fill(video, left, top, right, bottom, value & 0xFFFFFFu);
}

void plat_video_read_back(PlatVideo* video, std::uint32_t* out) {
  if (video != nullptr && out != nullptr) video->ops->read_back(video, out);
}

void plat_video_finish(PlatVideo* video) {
  if (video != nullptr) video->ops->finish(video);
}

int plat_video_present(PlatVideo* video) {
  if (video == nullptr) return -1;
  if (video->in_frame) plat_video_end_frame(video);
  plat_events_note_present();
  return video->ops->present(video);
}

void plat_video_set_vsync(PlatVideo* video, bool on) {
  if (video == nullptr) return;
  on = on && !tape_seam_unpaced();
  video->ops->set_vsync(video, on);
  video->vsync = on;
}

int plat_video_width(const PlatVideo* video) {
  return video != nullptr ? video->width : 0;
}
int plat_video_height(const PlatVideo* video) {
  return video != nullptr ? video->height : 0;
}
