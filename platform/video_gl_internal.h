// Internal to platform/: the gl device's record, shared by its frame code
// (video_gl.cpp) and its set-up and present code (video_gl_setup.cpp).
#pragma once
#include <SDL2/SDL.h>
#include <epoxy/gl.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/video_device_internal.h"
#include "platform/video_gl_worker_internal.h"

// Where a kept upload reads its texels when the render thread gets to it:
// the caller's, or a copy taken when the caller wanted them back first. The
// upload holds the mutex while it reads.
struct GlKeptSource {
  std::mutex mutex;
  const std::uint32_t* texels = nullptr;
  std::vector<std::uint32_t> copy;
  bool started = false;
};

// A texture as the caller's thread knows it; its GL name lives on the
// render thread (GlVideo::names, same slot).
struct GlTexture {
  bool live = false;
  int width = 0, height = 0;
  bool stored = false;                 // its storage is made or queued
  std::shared_ptr<GlKeptSource> kept;  // the last upload from kept texels
  // A large first upload queued for the render thread's idle time (its
  // idle job number), until the texture is first used: start-up uploads
  // many pictures and the first frame must not wait for those it does not
  // show.
  std::uint64_t deferred = 0;
};

// One quad as the shader sees it, sent as a single point (its bounding
// square) or, when too large for a point, as the four corners of its
// bounding box with the same values. The fragment shader finds each pixel
// centre's texel coordinate from the mapping and keeps only centres inside
// the quad, the soft device's coverage rule. Few shader inputs keep the
// driver's per-primitive set-up small.
struct GlSprite {
  float x, y, z, size;  // point centre (or a bounding-box corner), depth, point side
  // texel u = a[0]·fx + a[1]·fy + a[2], v = a[3]·fx + b[0]·fy + b[1] from
  // the window position (fx, fy) of a pixel centre; b[2], b[3]: source left
  // and top; c: 1 / source width and height, alpha, unused.
  float a[4], b[4], c[4];
};

// Consecutive quads with the same texture, blend and primitive: one draw
// call. `first` counts points, or quads of four corners.
struct GlBatch {
  PlatTexture texture;
  BlendPair blend;
  bool points;
  // Every pixel centre of its quads samples a texel centre, where linear
  // filtering gives that texel alone: sampled nearest, the same pixels for
  // less work on a CPU driver.
  bool nearest;
  int first, count;
};

struct GlOverlayOp {
  int left, top, right, bottom;
  std::uint32_t value;
};

// What a frame records on the caller's thread and hands to the render
// thread at its end: the quads in batches, then the overlay.
struct GlFrame {
  std::vector<GlSprite> points;
  std::vector<GlSprite> boxes;  // four corners each
  std::vector<GlBatch> batches;
  std::vector<GlOverlayOp> overlay;
  void clear() {
    points.clear();
    boxes.clear();
    batches.clear();
    overlay.clear();
  }
};

struct GlVideo : PlatVideo {
  SDL_Window* sdl = nullptr;
  SDL_GLContext context = nullptr;
  bool own_window = false;  // hidden window for off-screen use
  bool video_started = false;
  bool cpu_renderer = false;        // the driver draws on the CPU (llvmpipe and the like)
  std::atomic<bool> failed{false};  // the render thread could not set up
  // Known to the caller's thread: texture sizes, limits, the frame being
  // recorded and frames kept for reuse.
  int max_texture = 0;
  float max_point = 1;              // largest point side the driver draws
  std::vector<GlTexture> textures;  // handle = index + 1
  std::unique_ptr<GlFrame> frame;   // being recorded
  std::mutex spare_mutex;
  std::vector<std::unique_ptr<GlFrame>> spare;  // returned by the render thread
  std::uint64_t last_present = 0;               // job number of the previous present
  GlWorker worker;
  // Used on the render thread only.
  std::vector<GLuint> names;  // texture names by slot; 0: none
  bool paced = false;         // vsync asked for but the swap does not wait
  // The back buffer: colour without alpha (destination alpha reads as 1),
  // a texture so the present can sample it, and a depth buffer, kept across
  // presents for read-back.
  GLuint fbo = 0, color_texture = 0, depth_rb = 0;
  GLuint sprite_program = 0, point_vao = 0, point_vbo = 0;
  GLuint box_vao = 0, box_vbo = 0, box_ebo = 0;
  GLuint overlay_program = 0, overlay_vao = 0, overlay_vbo = 0;
  GLuint present_program = 0, present_vao = 0;
  GLuint nearest_sampler = 0;   // bound over the textures' own linear filter
  GLint present_map = -1;       // the present's window-to-texel mapping
  bool present_linear = false;  // the colour texture's filter is linear
  int index_capacity = 0;       // boxes the index buffer covers
  std::vector<std::uint32_t> scratch;
};

extern const PlatVideoOps kGlOps;

inline GlVideo* gl_video(PlatVideo* v) {
  return static_cast<GlVideo*>(v);
}

// Hands the recorded quads and overlay to the render thread.
void gl_submit(GlVideo* g);

// Textures (video_gl_texture.cpp). A live texture of the handle, or null.
GlTexture* gl_texture_find(GlVideo* g, PlatTexture handle);
// On the render thread: the GL name of a handle, 0 for none.
GLuint gl_texture_name(GlVideo* g, PlatTexture handle);
// Queues a texture's deferred upload now, or else transparent black
// storage for a texture that has none yet.
void gl_texture_give_storage(GlVideo* g, GlTexture* t);
PlatTexture gl_texture_create(PlatVideo* v, int width, int height);
void gl_texture_destroy(PlatVideo* v, PlatTexture handle);
void gl_texture_upload(PlatVideo* v, PlatTexture handle, int x, int y, int width, int height,
                       const std::uint32_t* texels, int pitch);
// The kept uploads of plat_texture_upload_kept: queued, waited for on
// plat_texture_wait or when the texture goes.
void gl_texture_upload_kept(PlatVideo* v, PlatTexture handle, const std::uint32_t* texels);
void gl_texture_wait(PlatVideo* v, PlatTexture handle);
bool gl_texture_upload_done(PlatVideo* v, PlatTexture handle);
// The heap tuning keeps freed memory mapped for the driver's frames; this
// gives what is free now back at once.
void gl_release_memory(PlatVideo* v);
void gl_texture_read(PlatVideo* v, PlatTexture handle, std::uint32_t* out);
bool gl_texture_size(PlatVideo* v, PlatTexture handle, int* width, int* height);
// On the render thread: a 1 × 1 texture under a handle of its own for the
// warm-up, and its end; and the deletion of every texture name.
PlatTexture gl_texture_scratch(GlVideo* g);
void gl_texture_scratch_end(GlVideo* g);
void gl_texture_delete_all(GlVideo* g);

// On the render thread: draws a recorded frame's quads, then its overlay.
void gl_draw_frame(GlVideo* g, GlFrame& frame);
// Builds the programs and reads the limits; false with the error set.
bool gl_create_programs(GlVideo* g);
// On the render thread: buffers and the back buffer, cleared; false when
// the back buffer cannot be made.
bool gl_create_targets(GlVideo* g);
// On the render thread: draws each kind of quad, the overlay and both
// kinds of present once, off-picture, so the driver compiles them now
// rather than during the first frame.
void gl_warm_up(GlVideo* g);
void gl_delete_objects(GlVideo* g);
void gl_bind_back_buffer(GlVideo* g);
// On the render thread: draws the back buffer into the rectangle (x, y,
// width, height) of the window's drawable (y from the bottom), sampled
// nearest or linear.
void gl_present_draw(GlVideo* g, int x, int y, int width, int height, bool linear);
// On the render thread: shows the back buffer in a drawable of dw × dh
// and paces to refresh_hz.
void gl_present_now(GlVideo* g, int dw, int dh, int refresh_hz);
void gl_set_vsync_now(GlVideo* g, bool on);
int gl_present(PlatVideo* v);
void gl_set_vsync(PlatVideo* v, bool on);
void gl_destroy(PlatVideo* v);
void gl_end_at_exit(PlatVideo* v);
double gl_render_thread_seconds(PlatVideo* v);
