// The gl device's set-up and teardown: the OpenGL 3.3 core context on the
// display's window (or a hidden one of its own), shaders, buffers, the
// off-screen back buffer; and present, which scales the back buffer into
// the window (letterboxed when sizes differ), swaps and paces.
#include <algorithm>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/display.h"
#include "platform/heap_tuning.h"
#include "platform/video_gl_internal.h"

namespace {

// One vertex per quad (a point covering its bounding box) or per corner of
// that box; positions in pixels, y down, to clip space; depth 0 … 1.
constexpr const char* kSpriteVertex = R"(#version 330 core
layout(location = 0) in vec4 a_pos;
layout(location = 1) in vec4 a_a;
layout(location = 2) in vec4 a_b;
layout(location = 3) in vec4 a_c;
uniform vec2 u_scale;
flat out vec4 v_a;
flat out vec4 v_b;
flat out vec4 v_c;
void main() {
  gl_Position = vec4(a_pos.x * u_scale.x - 1.0, 1.0 - a_pos.y * u_scale.y, a_pos.z * 2.0 - 1.0, 1.0);
  gl_PointSize = a_pos.w;
  v_a = a_a;
  v_b = a_b;
  v_c = a_c;
})";

// The texel coordinate of the pixel centre; centres outside the quad are
// dropped. Colour is modulated by alpha only, and what would blend in with
// alpha 0 (after rounding to 8 bits) is discarded and writes no depth.
constexpr const char* kSpriteFragment = R"(#version 330 core
flat in vec4 v_a;
flat in vec4 v_b;
flat in vec4 v_c;
uniform sampler2DRect u_tex;
out vec4 o_color;
void main() {
  vec2 f = gl_FragCoord.xy;
  vec2 tc = vec2(v_a.x * f.x + v_a.y * f.y + v_a.z, v_a.w * f.x + v_b.x * f.y + v_b.y);
  vec2 st = (tc - v_b.zw) * v_c.xy;
  if (st.x < 0.0 || st.x >= 1.0 || st.y < 0.0 || st.y >= 1.0) discard;
  vec4 t = texture(u_tex, tc);
  float a = t.a * v_c.z;
  if (a < 0.5 / 255.0) discard;
  o_color = vec4(t.rgb, a);
})";

constexpr const char* kOverlayVertex = R"(#version 330 core
layout(location = 0) in vec2 a_pos;
layout(location = 1) in vec4 a_color;
uniform vec2 u_scale;
out vec4 v_color;
void main() {
  gl_Position = vec4((a_pos.x + 0.5) * u_scale.x - 1.0, 1.0 - (a_pos.y + 0.5) * u_scale.y, 0.0, 1.0);
  v_color = a_color;
})";

constexpr const char* kOverlayFragment = R"(#version 330 core
in vec4 v_color;
out vec4 o_color;
void main() { o_color = v_color; })";

// The present: one triangle over the viewport, each window pixel sampling
// the back buffer where the viewport maps it. A driver's own blit would do
// the same, but on a CPU driver its shaders are compiled anew at every
// start, while a program of ours comes from the driver's shader cache.
constexpr const char* kPresentVertex = R"(#version 330 core
void main() {
  gl_Position = vec4(float((gl_VertexID & 1) * 4 - 1), float((gl_VertexID & 2) * 2 - 1), 0.0, 1.0);
})";

constexpr const char* kPresentFragment = R"(#version 330 core
uniform sampler2DRect u_tex;
uniform vec4 u_map;
out vec4 o_color;
void main() { o_color = vec4(texture(u_tex, (gl_FragCoord.xy - u_map.xy) * u_map.zw).rgb, 1.0); })";

// True when a shader or program built (get_iv and get_log are the shader's
// or the program's queries); otherwise its log goes to *log.
template <typename GetIv, typename GetLog>
bool built(GLuint object, GLenum status, GetIv get_iv, GetLog get_log, std::string* log) {
  GLint ok = 0;
  get_iv(object, status, &ok);
  if (ok) return true;
  char buf[1024] = {};
  get_log(object, sizeof buf, nullptr, buf);
  *log = buf;
  return false;
}

GLuint compile(GLenum kind, const char* source, std::string* log) {
  GLuint s = glCreateShader(kind);
  glShaderSource(s, 1, &source, nullptr);
  glCompileShader(s);
  if (!built(s, GL_COMPILE_STATUS, glGetShaderiv, glGetShaderInfoLog, log)) {
    glDeleteShader(s);
    return 0;
  }
  return s;
}

GLuint link(const char* vs_source, const char* fs_source, std::string* log) {
  GLuint vs = compile(GL_VERTEX_SHADER, vs_source, log);
  GLuint fs = vs ? compile(GL_FRAGMENT_SHADER, fs_source, log) : 0;
  if (!fs) {
    glDeleteShader(vs);
    return 0;
  }
  GLuint p = glCreateProgram();
  glAttachShader(p, vs);
  glAttachShader(p, fs);
  glLinkProgram(p);
  glDeleteShader(vs);
  glDeleteShader(fs);
  if (!built(p, GL_LINK_STATUS, glGetProgramiv, glGetProgramInfoLog, log)) {
    glDeleteProgram(p);
    return 0;
  }
  return p;
}

void set_scale(GLuint program, int width, int height) {
  glUseProgram(program);
  glUniform2f(glGetUniformLocation(program, "u_scale"), 2.0f / width, 2.0f / height);
}

bool create_back_buffer(GlVideo* g) {
  glGenTextures(1, &g->color_texture);
  glBindTexture(GL_TEXTURE_RECTANGLE, g->color_texture);
  glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glTexImage2D(GL_TEXTURE_RECTANGLE, 0, GL_RGB8, g->width, g->height, 0, GL_RGB, GL_UNSIGNED_BYTE,
               nullptr);
  glBindTexture(GL_TEXTURE_RECTANGLE, 0);
  g->present_linear = false;
  glGenRenderbuffers(1, &g->depth_rb);
  glBindRenderbuffer(GL_RENDERBUFFER, g->depth_rb);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, g->width, g->height);
  glGenFramebuffers(1, &g->fbo);
  glBindFramebuffer(GL_FRAMEBUFFER, g->fbo);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_RECTANGLE,
                         g->color_texture, 0);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, g->depth_rb);
  return glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

// The sprite layout (GlSprite) on the bound array buffer.
void sprite_attributes() {
  for (GLuint i = 0; i < 4; ++i) {
    glEnableVertexAttribArray(i);
    glVertexAttribPointer(i, 4, GL_FLOAT, GL_FALSE, sizeof(GlSprite),
                          reinterpret_cast<void*>(i * 4 * sizeof(float)));
  }
}

void create_buffers(GlVideo* g) {
  glGenVertexArrays(1, &g->point_vao);
  glBindVertexArray(g->point_vao);
  glGenBuffers(1, &g->point_vbo);
  glBindBuffer(GL_ARRAY_BUFFER, g->point_vbo);
  sprite_attributes();

  glGenVertexArrays(1, &g->box_vao);
  glBindVertexArray(g->box_vao);
  glGenBuffers(1, &g->box_vbo);
  glGenBuffers(1, &g->box_ebo);
  glBindBuffer(GL_ARRAY_BUFFER, g->box_vbo);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, g->box_ebo);
  sprite_attributes();

  glGenVertexArrays(1, &g->overlay_vao);
  glBindVertexArray(g->overlay_vao);
  glGenBuffers(1, &g->overlay_vbo);
  glBindBuffer(GL_ARRAY_BUFFER, g->overlay_vbo);
  // Each point: x, y as floats, then the raw value, whose bytes are B, G, R.
  glEnableVertexAttribArray(0);
  glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 12, reinterpret_cast<void*>(0));
  glEnableVertexAttribArray(1);
  glVertexAttribPointer(1, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, 12, reinterpret_cast<void*>(8));
  // The present reads no attributes, but a core context draws only with
  // some vertex array bound.
  glGenVertexArrays(1, &g->present_vao);
  glBindVertexArray(0);
}

SDL_Window* hidden_window(GlVideo* g) {
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    plat_video_set_error(std::string("no video: ") + SDL_GetError());
    return nullptr;
  }
  g->video_started = true;
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_Window* w = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (w == nullptr) plat_video_set_error(std::string("no hidden window: ") + SDL_GetError());
  g->own_window = w != nullptr;
  return w;
}

// Test hook: context creation fails as on a machine without OpenGL 3.3.
bool g_refuse_contexts = false;

bool create_context(GlVideo* g) {
  if (g_refuse_contexts) {
    plat_video_set_error("no OpenGL context: refused by a test");
    return false;
  }
  if ((SDL_GetWindowFlags(g->sdl) & SDL_WINDOW_OPENGL) == 0) {
    // The display's reason, when it tried and had to make the window without.
    const char* why = plat_window_gl_problem(g->window);
    plat_video_set_error(*why != 0 ? why : "the window was made without OpenGL");
    return false;
  }
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  g->context = SDL_GL_CreateContext(g->sdl);
  if (g->context == nullptr) {
    plat_video_set_error(std::string("no OpenGL 3.3 core context: ") + SDL_GetError());
    return false;
  }
  SDL_GL_MakeCurrent(g->sdl, g->context);
  if (!epoxy_is_desktop_gl() || epoxy_gl_version() < 33) {
    plat_video_set_error("the OpenGL context is older than 3.3");
    return false;
  }
  const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  const std::string name = renderer != nullptr ? renderer : "";
  g->cpu_renderer = name.find("llvmpipe") != std::string::npos ||
                    name.find("softpipe") != std::string::npos ||
                    name.find("swrast") != std::string::npos;
  return true;
}

}  // namespace

bool gl_create_programs(GlVideo* g) {
  std::string log;
  g->sprite_program = link(kSpriteVertex, kSpriteFragment, &log);
  g->overlay_program = g->sprite_program ? link(kOverlayVertex, kOverlayFragment, &log) : 0;
  g->present_program = g->overlay_program ? link(kPresentVertex, kPresentFragment, &log) : 0;
  if (g->present_program == 0) {
    plat_video_set_error("shader: " + log);
    return false;
  }
  set_scale(g->sprite_program, g->width, g->height);
  glUniform1i(glGetUniformLocation(g->sprite_program, "u_tex"), 0);
  set_scale(g->overlay_program, g->width, g->height);
  glUseProgram(g->present_program);
  glUniform1i(glGetUniformLocation(g->present_program, "u_tex"), 0);
  g->present_map = glGetUniformLocation(g->present_program, "u_map");
  glGetIntegerv(GL_MAX_RECTANGLE_TEXTURE_SIZE, &g->max_texture);
  GLfloat points[2] = {1, 1};
  glGetFloatv(GL_POINT_SIZE_RANGE, points);
  g->max_point = std::min(points[1], 256.0f);
  return glGetError() == GL_NO_ERROR;
}

bool gl_create_targets(GlVideo* g) {
  if (!create_back_buffer(g)) return false;
  create_buffers(g);
  // For quads that sample texel centres (see GlBatch::nearest).
  glGenSamplers(1, &g->nearest_sampler);
  glSamplerParameteri(g->nearest_sampler, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glSamplerParameteri(g->nearest_sampler, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glSamplerParameteri(g->nearest_sampler, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glSamplerParameteri(g->nearest_sampler, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glEnable(GL_PROGRAM_POINT_SIZE);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  gl_bind_back_buffer(g);
  glClearColor(0, 0, 0, 1);
  glClearDepth(1.0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  return glGetError() == GL_NO_ERROR;
}

void gl_bind_back_buffer(GlVideo* g) {
  glBindFramebuffer(GL_FRAMEBUFFER, g->fbo);
  glViewport(0, 0, g->width, g->height);
}

void gl_delete_objects(GlVideo* g) {
  gl_texture_delete_all(g);
  glDeleteProgram(g->sprite_program);
  glDeleteProgram(g->overlay_program);
  glDeleteProgram(g->present_program);
  const GLuint buffers[] = {g->point_vbo, g->box_vbo, g->box_ebo, g->overlay_vbo};
  glDeleteBuffers(4, buffers);
  const GLuint arrays[] = {g->point_vao, g->box_vao, g->overlay_vao, g->present_vao};
  glDeleteVertexArrays(4, arrays);
  glDeleteSamplers(1, &g->nearest_sampler);
  glDeleteFramebuffers(1, &g->fbo);
  glDeleteTextures(1, &g->color_texture);
  glDeleteRenderbuffers(1, &g->depth_rb);
}

void gl_destroy(PlatVideo* v) {
  GlVideo* g = gl_video(v);
  if (g->window != nullptr) plat_window_set_destroy_hook(g->window, nullptr, nullptr);
  auto leave = [g] {
    gl_delete_objects(g);
    SDL_GL_MakeCurrent(g->sdl, nullptr);
  };
  if (g->worker.running()) {
    g->worker.stop(leave);
  } else if (g->context != nullptr) {
    leave();  // set-up failed on this thread
  }
  if (g->context != nullptr) SDL_GL_DeleteContext(g->context);
  if (g->own_window) SDL_DestroyWindow(g->sdl);
  if (g->video_started) SDL_QuitSubSystem(SDL_INIT_VIDEO);
  delete g;
}

void gl_present_draw(GlVideo* g, int x, int y, int width, int height, bool linear) {
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glViewport(x, y, width, height);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  glUseProgram(g->present_program);
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_RECTANGLE, g->color_texture);
  if (linear != g->present_linear) {
    const GLint filter = linear ? GL_LINEAR : GL_NEAREST;
    glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MAG_FILTER, filter);
    g->present_linear = linear;
  }
  glUniform4f(g->present_map, float(x), float(y), float(g->width) / float(width),
              float(g->height) / float(height));
  glBindVertexArray(g->present_vao);
  glDrawArrays(GL_TRIANGLES, 0, 3);
  glBindVertexArray(0);
  glBindTexture(GL_TEXTURE_RECTANGLE, 0);
}

void gl_present_now(GlVideo* g, int dw, int dh, int refresh_hz) {
  if (dw == g->width && dh == g->height) {
    gl_present_draw(g, 0, 0, dw, dh, false);
  } else {
    const PlatRect r = plat_letterbox(g->width, g->height, dw, dh);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, dw, dh);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    const int y = dh - r.y - r.height;  // GL rows count from the bottom
    gl_present_draw(g, r.x, y, r.width, r.height, true);
  }
  SDL_GL_SwapWindow(g->sdl);
  gl_bind_back_buffer(g);
  if (g->paced) g->pacer.wait(refresh_hz);
}

// One frame may be in flight: the present is queued, and the call returns
// once the previous present has been shown. So the caller's next frame
// overlaps this one's drawing, and vsync still paces the caller.
int gl_present(PlatVideo* v) {
  GlVideo* g = gl_video(v);
  if (g->failed) return -1;
  if (g->own_window || g->window == nullptr) return 0;  // nothing (left) to show
  // Window state is read here, on the thread that changes it.
  const int hz = plat_video_refresh_hz(g->window);
  int dw = 0, dh = 0;
  SDL_GL_GetDrawableSize(g->sdl, &dw, &dh);
  const std::uint64_t previous = g->last_present;
  g->last_present = g->worker.post([g, dw, dh, hz] { gl_present_now(g, dw, dh, hz); });
  if (previous != 0) g->worker.wait(previous);
  return 0;
}

// Where the swap interval cannot be set (Xvfb among others) the present is
// paced instead, so a vsync frame never runs faster than the display.
// The pacer belongs to the render thread, so it starts its schedule anew there.
void gl_set_vsync_now(GlVideo* g, bool on) {
  const int rc = SDL_GL_SetSwapInterval(on ? 1 : 0);
  g->paced = on && (rc != 0 || SDL_GL_GetSwapInterval() == 0);
  g->pacer.reset();
}

// Queued: nothing waits for the render thread to take it.
void gl_set_vsync(PlatVideo* v, bool on) {
  GlVideo* g = gl_video(v);
  g->worker.post([g, on] { gl_set_vsync_now(g, on); });
}

// What is queued runs first; later presents fail instead of queueing.
// glFinish: the driver's own threads are idle when the context goes.
void gl_end_at_exit(PlatVideo* v) {
  GlVideo* g = gl_video(v);
  g->failed = true;
  g->worker.stop([g] {
    glFinish();
    SDL_GL_MakeCurrent(g->sdl, nullptr);
  });
  if (g->context != nullptr) SDL_GL_DeleteContext(g->context);
  g->context = nullptr;
}

double gl_render_thread_seconds(PlatVideo* v) {
  return gl_video(v)->worker.cpu_seconds();
}

namespace {
// The window is going: the device ends as at the process's end. The
// context goes with it: Wayland's EGL is unloaded with the last GL window,
// and a context used after that takes the process down.
void window_gone(void* context) {
  GlVideo* g = static_cast<GlVideo*>(context);
  gl_end_at_exit(g);
  g->window = nullptr;
}
}  // namespace

PlatVideo* plat_video_gl_create(PlatWindow* window, int width, int height) {
  auto* g = new GlVideo;
  g->backend = PlatVideoBackend::GL;
  g->width = width;
  g->height = height;
  g->window = window;
  g->sdl = window != nullptr ? plat_video_sdl_window(window) : hidden_window(g);
  if (g->sdl == nullptr && window != nullptr) plat_video_set_error("the window has no SDL window");
  // The programs are built here: a driver that cannot build them leaves the
  // choice of another device to the caller.
  if (g->sdl == nullptr || !create_context(g) || !gl_create_programs(g)) {
    gl_destroy(g);
    return nullptr;
  }
  plat_heap_tune_allocator();
  g->ops = &kGlOps;
  g->frame = std::make_unique<GlFrame>();
  gl_set_vsync_now(g, false);
  // From here on only the render thread touches the context. It makes the
  // back buffer and runs every kind of draw once so the driver has compiled
  // them before the first frame. The caller goes on meanwhile (opening the
  // screen waits on the display server) and only waits for it at its first
  // call that needs an answer.
  SDL_GL_MakeCurrent(g->sdl, nullptr);
  plat_window_set_destroy_hook(window, window_gone, g);
  g->worker.start([g] {
    SDL_GL_MakeCurrent(g->sdl, g->context);
    // A back buffer that cannot be made shows as presents that fail.
    if (gl_create_targets(g))
      gl_warm_up(g);
    else
      g->failed = true;
  });
  return g;
}

void plat_video_gl_refuse_contexts(bool refuse) {
  g_refuse_contexts = refuse;
}
