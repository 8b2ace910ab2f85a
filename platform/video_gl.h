// Internal to platform/: the gl device's record, shared by its frame code
// (video_gl.cpp) and its set-up and present code (video_gl_setup.cpp).
#pragma once
#include <SDL2/SDL.h>
#include <epoxy/gl.h>

#include <cstdint>
#include <vector>

#include "platform/video_device.h"

struct GlTexture {
  GLuint id = 0;
  int width = 0, height = 0;
};

// One vertex of a quad: screen position and depth, texture coordinate,
// alpha (the first byte, normalised).
struct GlVertex {
  float x, y, z, u, v;
  std::uint32_t alpha;
};

// Consecutive quads with the same texture and blend: one draw call.
struct GlBatch {
  GLuint texture;
  BlendPair blend;
  int first_quad, quads;
};

struct GlOverlayOp {
  int left, top, right, bottom;
  std::uint32_t value;
};

struct GlVideo : PlatVideo {
  SDL_Window* sdl = nullptr;
  SDL_GLContext context = nullptr;
  bool own_window = false;  // hidden window for off-screen use
  bool video_started = false;
  bool paced = false;  // vsync asked for but the swap does not wait
  // The back buffer: colour without alpha (destination alpha reads as 1)
  // and a depth buffer, kept across presents for read-back.
  GLuint fbo = 0, color_rb = 0, depth_rb = 0;
  GLuint quad_program = 0, quad_vao = 0, quad_vbo = 0, quad_ebo = 0;
  GLuint point_program = 0, point_vao = 0, point_vbo = 0;
  int index_capacity = 0;  // quads the index buffer covers
  int max_texture = 0;
  std::vector<GlTexture> textures;  // handle = index + 1; id 0 = free slot
  std::vector<GlVertex> vertices;   // the frame's quads not yet drawn
  std::vector<GlBatch> batches;
  std::vector<GlOverlayOp> overlay;
  std::vector<std::uint32_t> scratch;
};

extern const PlatVideoOps kGlOps;

inline GlVideo* gl_video(PlatVideo* v) {
  return static_cast<GlVideo*>(v);
}

void gl_make_current(GlVideo* g);
// Builds programs, buffers and the back buffer; false with the error set.
bool gl_create_objects(GlVideo* g);
void gl_delete_objects(GlVideo* g);
void gl_bind_back_buffer(GlVideo* g);
int gl_present(PlatVideo* v);
void gl_set_vsync(PlatVideo* v, bool on);
void gl_destroy(PlatVideo* v);
