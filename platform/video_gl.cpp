// The gl device's frames (its textures are in video_gl_texture.cpp). The
// caller's thread records quads into a frame: consecutive quads with the
// same texture, blend and primitive form a batch. At the frame's end the
// render thread uploads the frame once and issues one draw call per batch,
// then the overlay as scissored clears and a pass of points. Calls that
// return GL results wait for the render thread; the others only queue work
// for it. The warm-up runs each kind of draw once before the first frame.
#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/video_gl_internal.h"

namespace {

GLenum gl_factor(BlendFactor f) {
  switch (f) {
    case BlendFactor::Zero:
      return GL_ZERO;
    case BlendFactor::One:
      return GL_ONE;
    case BlendFactor::SrcColor:
      return GL_SRC_COLOR;
    case BlendFactor::InvSrcColor:
      return GL_ONE_MINUS_SRC_COLOR;
    case BlendFactor::SrcAlpha:
      return GL_SRC_ALPHA;
    case BlendFactor::InvSrcAlpha:
      return GL_ONE_MINUS_SRC_ALPHA;
    case BlendFactor::DstColor:
      return GL_DST_COLOR;
    case BlendFactor::InvDstColor:
      return GL_ONE_MINUS_DST_COLOR;
  }
  return GL_ONE;
}

// Indices 0 1 2, 2 1 3 for each box's four corners.
void ensure_indices(GlVideo* g, int boxes) {
  if (boxes <= g->index_capacity) return;
  const int capacity = std::max({boxes, g->index_capacity * 2, 256});
  std::vector<GLuint> idx(static_cast<std::size_t>(capacity) * 6);
  for (int q = 0; q < capacity; ++q) {
    const GLuint b = static_cast<GLuint>(q) * 4;
    const GLuint six[6] = {b, b + 1, b + 2, b + 2, b + 1, b + 3};
    std::copy(six, six + 6, idx.begin() + static_cast<std::ptrdiff_t>(q) * 6);
  }
  glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(idx.size() * sizeof(GLuint)),
               idx.data(), GL_STATIC_DRAW);
  g->index_capacity = capacity;
}

void upload(GLuint vao, GLuint vbo, const std::vector<GlSprite>& data) {
  glBindVertexArray(vao);
  glBindBuffer(GL_ARRAY_BUFFER, vbo);
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(data.size() * sizeof(GlSprite)),
               data.data(), GL_STREAM_DRAW);
}

// Draws a frame's quads into the back buffer: one upload per primitive
// kind, then one draw call per batch.
void draw_quads(GlVideo* g, const GlFrame& f) {
  if (f.batches.empty()) return;
  gl_bind_back_buffer(g);
  glUseProgram(g->sprite_program);
  if (!f.boxes.empty()) {
    upload(g->box_vao, g->box_vbo, f.boxes);
    ensure_indices(g, static_cast<int>(f.boxes.size() / 4));
  }
  if (!f.points.empty()) upload(g->point_vao, g->point_vbo, f.points);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glDepthMask(GL_TRUE);
  glEnable(GL_BLEND);
  glActiveTexture(GL_TEXTURE0);
  PlatTexture bound = 0;
  int kind = -1;
  BlendPair blend{};
  bool blend_set = false;
  bool nearest = false;
  for (const GlBatch& b : f.batches) {
    if (b.texture != bound)
      glBindTexture(GL_TEXTURE_RECTANGLE, gl_texture_name(g, bound = b.texture));
    if (b.nearest != nearest) glBindSampler(0, (nearest = b.nearest) ? g->nearest_sampler : 0);
    if (!blend_set || !(b.blend == blend)) {
      blend = b.blend;
      blend_set = true;
      glBlendFunc(gl_factor(blend.src), gl_factor(blend.dst));
    }
    if (kind != int(b.points)) {
      kind = int(b.points);
      glBindVertexArray(b.points ? g->point_vao : g->box_vao);
    }
    if (b.points) {
      glDrawArrays(GL_POINTS, b.first, b.count);
    } else {
      const auto offset = static_cast<std::uintptr_t>(b.first) * 6 * sizeof(GLuint);
      glDrawElements(GL_TRIANGLES, b.count * 6, GL_UNSIGNED_INT, reinterpret_cast<void*>(offset));
    }
  }
  if (nearest) glBindSampler(0, 0);
  glBindVertexArray(0);
}

// True when linear filtering would give every pixel of the quad one texel
// alone: its texel coordinates at pixel centres (x + ½, y + ½) are all
// texel centres (k + ½). That holds when the coefficients of x and y are
// whole numbers and the value at the centre (½, ½) is a texel centre. The
// shader's float arithmetic is exact on such values.
bool samples_texel_centres(const GlSprite& s) {
  constexpr double kExactBelow = 1 << 20;  // texel coordinates stay exact in float
  auto whole = [](double v) { return std::floor(v) == v; };
  auto centre = [&](double a, double b, double c) {
    return whole(a) && whole(b) && std::abs(c) < kExactBelow && std::abs(a) < 1024 &&
           std::abs(b) < 1024 && whole((a + b) * 0.5 + c - 0.5);
  };
  return centre(s.a[0], s.a[1], s.a[2]) && centre(s.a[3], s.b[0], s.b[1]);
}

// The shader's view of a quad: its bounding box and the mapping from pixel
// centres to texel coordinates, taken about the box centre for precision.
// False for quads that cannot show (degenerate, or wholly off the buffer).
bool sprite_for(const GlVideo* g, const PlatQuad& q, GlSprite* s, double box[4]) {
  PlatQuadFrame f;
  if (!plat_quad_frame(q, &f)) return false;
  const double sw = f.sw, sh = f.sh, ox = f.ox, oy = f.oy, det = f.det;
  const double e1x = f.e1x, e1y = f.e1y, e2x = f.e2x, e2y = f.e2y;
  const double xs[4] = {ox, ox + e1x, ox + e2x, ox + e1x + e2x};
  const double ys[4] = {oy, oy + e1y, oy + e2y, oy + e1y + e2y};
  box[0] = *std::min_element(xs, xs + 4), box[2] = *std::max_element(xs, xs + 4);
  box[1] = *std::min_element(ys, ys + 4), box[3] = *std::max_element(ys, ys + 4);
  if (box[2] < 0 || box[3] < 0 || box[0] > g->width || box[1] > g->height) return false;
  const double rx = (box[0] + box[2]) / 2, ry = (box[1] + box[3]) / 2;
  // Texel coordinates as functions of the window position (y up).
  const double ua = e2y / det * sw, ub = -e2x / det * sw, va = -e1y / det * sh, vb = e1x / det * sh;
  const double h = g->height;
  const double uc = q.src_left - ua * ox - ub * (oy - h), vc = q.src_top - va * ox - vb * (oy - h);
  *s = GlSprite{float(rx),
                float(ry),
                q.depth,
                float(std::max(box[2] - box[0], box[3] - box[1]) + 2.0),
                {float(ua), float(-ub), float(uc), float(va)},
                {float(-vb), float(vc), q.src_left, q.src_top},
                {float(1.0 / sw), float(1.0 / sh), q.alpha / 255.0f, 0.0f}};
  return true;
}

// Raw values over the picture, in call order, unblended and without depth:
// single pixels as points, fills as two triangles whose edges lie on pixel
// edges, so they cover exactly the pixels whose centres are inside. (A
// scissored clear would do the same, but on a CPU driver it goes through
// the driver's own shaders, compiled anew at every start.)
void apply_overlay(GlVideo* g, const std::vector<GlOverlayOp>& ops) {
  if (ops.empty()) return;
  gl_bind_back_buffer(g);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  glUseProgram(g->overlay_program);
  glBindVertexArray(g->overlay_vao);
  glBindBuffer(GL_ARRAY_BUFFER, g->overlay_vbo);
  struct Vertex {
    float x, y;           // the shader adds half a pixel
    std::uint32_t value;  // bytes B, G, R: read as a normalised BGRA colour
  };
  std::vector<Vertex> vertices;
  GLenum kind = GL_POINTS;
  auto draw = [&] {
    if (vertices.empty()) return;
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(Vertex)),
                 vertices.data(), GL_STREAM_DRAW);
    glDrawArrays(kind, 0, static_cast<GLsizei>(vertices.size()));
    vertices.clear();
  };
  for (const GlOverlayOp& op : ops) {
    const bool point = op.right - op.left == 1 && op.bottom - op.top == 1;
    if ((kind == GL_POINTS) != point) {
      draw();
      kind = point ? GL_POINTS : GL_TRIANGLES;
    }
    if (point) {
      vertices.push_back({float(op.left), float(op.top), op.value});
      continue;
    }
    const float x0 = float(op.left) - 0.5f, x1 = float(op.right) - 0.5f;
    const float y0 = float(op.top) - 0.5f, y1 = float(op.bottom) - 0.5f;
    for (auto [x, y] : {std::pair{x0, y0}, {x1, y0}, {x0, y1}, {x0, y1}, {x1, y0}, {x1, y1}})
      vertices.push_back({x, y, op.value});
  }
  draw();
  glBindVertexArray(0);
}

// A frame to record into: one the render thread has finished with, or new.
std::unique_ptr<GlFrame> take_frame(GlVideo* g) {
  std::lock_guard lock(g->spare_mutex);
  if (g->spare.empty()) return std::make_unique<GlFrame>();
  std::unique_ptr<GlFrame> f = std::move(g->spare.back());
  g->spare.pop_back();
  return f;
}

}  // namespace

// Hands the recorded quads (and overlay) to the render thread, keeping the
// order with every later call.
void gl_submit(GlVideo* g) {
  if (g->frame == nullptr || (g->frame->batches.empty() && g->frame->overlay.empty())) return;
  GlFrame* f = g->frame.release();
  g->worker.post([g, f] {
    gl_draw_frame(g, *f);
    f->clear();
    std::lock_guard lock(g->spare_mutex);
    g->spare.emplace_back(f);
  });
  g->frame = take_frame(g);
}

namespace {

void begin_frame(PlatVideo* v) {
  GlVideo* g = gl_video(v);
  g->frame->clear();
  g->worker.post([g] {
    gl_bind_back_buffer(g);
    glDepthMask(GL_TRUE);
    glClearColor(0, 0, 0, 1);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  });
}

// Adds a quad to a frame as a point or as its bounding box (clamped to the
// buffer), extending the last batch when texture, blend and kind match.
void record(const GlVideo* g, GlFrame& f, PlatTexture texture, GlSprite sprite, const double box[4],
            BlendPair blend, bool point, bool nearest) {
  int first;
  if (point) {
    first = static_cast<int>(f.points.size());
    f.points.push_back(sprite);
  } else {
    first = static_cast<int>(f.boxes.size() / 4);
    const float x0 = float(std::max(box[0] - 1, -1.0));
    const float x1 = float(std::min(box[2] + 1, g->width + 1.0));
    const float y0 = float(std::max(box[1] - 1, -1.0));
    const float y1 = float(std::min(box[3] + 1, g->height + 1.0));
    const float cx[4] = {x0, x1, x0, x1}, cy[4] = {y0, y0, y1, y1};
    for (int i = 0; i < 4; ++i) {
      sprite.x = cx[i];
      sprite.y = cy[i];
      f.boxes.push_back(sprite);
    }
  }
  if (!f.batches.empty()) {
    GlBatch& last = f.batches.back();
    if (last.texture == texture && last.blend == blend && last.points == point &&
        last.nearest == nearest && last.first + last.count == first) {
      ++last.count;
      return;
    }
  }
  f.batches.push_back({texture, blend, point, nearest, first, 1});
}

void draw_quad(PlatVideo* v, const PlatQuad& q) {
  GlVideo* g = gl_video(v);
  GlTexture* t = gl_texture_find(g, q.texture);
  GlSprite sprite;
  double box[4];
  if (t == nullptr || !sprite_for(g, q, &sprite, box)) return;
  gl_texture_give_storage(g, t);  // queued ahead of the frame that draws it
  // A point is clipped by its centre, so only quads centred on the buffer
  // and small enough go as points; the others as their bounding box.
  const bool point = sprite.size <= g->max_point && sprite.x > 0 && sprite.x < g->width &&
                     sprite.y > 0 && sprite.y < g->height;
  record(g, *g->frame, q.texture, sprite, box, plat_blend_resolve(q.src_blend, q.dst_blend), point,
         samples_texel_centres(sprite));
}

void end_frame(PlatVideo* v) {
  gl_submit(gl_video(v));
}

void overlay_fill(PlatVideo* v, int left, int top, int right, int bottom, std::uint32_t value) {
  GlVideo* g = gl_video(v);
  g->frame->overlay.push_back({left, top, right, bottom, value});
  if (!g->in_frame) gl_submit(g);  // outside a frame: at once
}

void overlay_pixel(PlatVideo* v, int x, int y, std::uint32_t value) {
  overlay_fill(v, x, y, x + 1, y + 1, value);
}

// GL rows count from the bottom: read, then turn top-down.
void read_back(PlatVideo* v, std::uint32_t* out) {
  GlVideo* g = gl_video(v);
  gl_submit(g);
  g->worker.call([g, out] {
    g->scratch.resize(static_cast<std::size_t>(g->width) * g->height);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, g->fbo);
    glReadPixels(0, 0, g->width, g->height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                 g->scratch.data());
    const auto w = static_cast<std::size_t>(g->width);
    for (int y = 0; y < g->height; ++y) {
      const std::uint32_t* src = g->scratch.data() + (g->height - 1 - y) * w;
      std::uint32_t* dst = out + y * w;
      for (std::size_t x = 0; x < w; ++x) dst[x] = src[x] & 0xFFFFFFu;
    }
  });
}

void finish(PlatVideo* v) {
  GlVideo* g = gl_video(v);
  gl_submit(g);
  g->worker.call([] { glFinish(); });
}

}  // namespace

void gl_draw_frame(GlVideo* g, GlFrame& frame) {
  draw_quads(g, frame);
  apply_overlay(g, frame.overlay);
}

void gl_warm_up(GlVideo* g) {
  const PlatTexture texture = gl_texture_scratch(g);
  GlFrame f;
  // The sprites' two blends, as points and as boxes, sampled linear and
  // nearest; then the overlay's points and fills.
  const BlendPair blends[] = {plat_blend_resolve(kBlendSrcAlpha, kBlendInvSrcAlpha),
                              plat_blend_resolve(kBlendSrcAlpha, kBlendDestAlpha)};
  const PlatQuad q{texture, 0, 0, 1, 1, 0, 0, {1, 0, 0, 1, 1, 1}, 0.5f, 255, 0, 0};
  GlSprite sprite;
  double box[4];
  if (sprite_for(g, q, &sprite, box)) {
    for (const BlendPair& blend : blends)
      for (bool nearest : {false, true}) {
        record(g, f, texture, sprite, box, blend, true, nearest);
        record(g, f, texture, sprite, box, blend, false, nearest);
      }
  }
  f.overlay = {{0, 0, 1, 1, 0}, {0, 0, 2, 2, 0}};
  gl_draw_frame(g, f);
  // Both kinds of present, into the window's back buffer, which the first
  // present covers again before it is shown.
  gl_present_draw(g, 0, 0, 1, 1, false);
  gl_present_draw(g, 0, 0, 3, 3, true);
  gl_bind_back_buffer(g);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  gl_texture_scratch_end(g);
  glFlush();
}

const PlatVideoOps kGlOps = {
    .destroy = gl_destroy,
    .texture_create = gl_texture_create,
    .texture_destroy = gl_texture_destroy,
    .texture_upload = gl_texture_upload,
    .texture_upload_kept = gl_texture_upload_kept,
    .texture_wait = gl_texture_wait,
    .texture_upload_done = gl_texture_upload_done,
    .texture_read = gl_texture_read,
    .texture_size = gl_texture_size,
    .begin_frame = begin_frame,
    .draw_quad = draw_quad,
    .end_frame = end_frame,
    .overlay_pixel = overlay_pixel,
    .overlay_fill = overlay_fill,
    .read_back = read_back,
    .finish = finish,
    .present = gl_present,
    .set_vsync = gl_set_vsync,
    .end_at_exit = gl_end_at_exit,
    .render_thread_seconds = gl_render_thread_seconds,
    .release_memory = gl_release_memory,
};
