// The gl device's textures. The caller's thread keeps each texture's size
// and state under its handle; the render thread keeps the GL names, so
// creating, filling and destroying a texture only queue work for it. A
// texture gets its storage with its first upload when that covers it whole,
// so a picture uploaded right after creation is written once, never
// zero-filled first. A large picture's first upload waits for the render
// thread's idle time, or for the texture's first use if that comes first.
#include <malloc.h>

#include <algorithm>
#include <new>

#include "platform/video_gl_internal.h"

namespace {

constexpr std::size_t kDeferBytes = 1024 * 1024;

std::size_t slot_of(PlatTexture handle) {
  return static_cast<std::size_t>(handle - 1);
}

// On the render thread: a texture name with its sampling set, no storage.
GLuint create_name() {
  GLuint id = 0;
  glGenTextures(1, &id);
  glBindTexture(GL_TEXTURE_RECTANGLE, id);
  glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  return id;
}

// On the render thread: storage for the bound texture, filled from texels
// (rows of pitch texels) or, without them, transparent black.
void storage_now(int width, int height, const std::uint32_t* texels, int pitch) {
  std::vector<std::uint32_t> zeros;
  if (texels == nullptr) {
    try {
      zeros.assign(static_cast<std::size_t>(width) * height, 0u);
    } catch (const std::bad_alloc&) {
      return;  // no memory: the texture stays without storage
    }
    texels = zeros.data();
    pitch = width;
  }
  glPixelStorei(GL_UNPACK_ROW_LENGTH, pitch);
  // Unsized, so the driver may keep the texels in the order they come in
  // (8 bits a channel, as sized): Mesa then copies rows instead of
  // reordering every texel, which made uploads twice as slow.
  glTexImage2D(GL_TEXTURE_RECTANGLE, 0, GL_RGBA, width, height, 0, GL_BGRA,
               GL_UNSIGNED_INT_8_8_8_8_REV, texels);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}

void bind(GlVideo* g, PlatTexture handle) {
  glBindTexture(GL_TEXTURE_RECTANGLE, gl_texture_name(g, handle));
}

// On the render thread: the rectangle (x0, y0)-(x1, y1) of the bound
// texture from first (rows of pitch texels); `whole` makes its storage.
void upload_now(bool whole, int x0, int y0, int x1, int y1, const std::uint32_t* first, int pitch) {
  if (whole) return storage_now(x1, y1, first, pitch);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, pitch);
  glTexSubImage2D(GL_TEXTURE_RECTANGLE, 0, x0, y0, x1 - x0, y1 - y0, GL_BGRA,
                  GL_UNSIGNED_INT_8_8_8_8_REV, first);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}

// The job of an upload (see post_upload); `make` makes the storage.
GlWorker::Job upload_job(GlVideo* g, PlatTexture handle, bool make, int x0, int y0, int x1, int y1,
                         const std::uint32_t* first, int pitch,
                         std::shared_ptr<GlKeptSource> kept) {
  return [=, kept = std::move(kept)] {
    bind(g, handle);
    if (!kept) return upload_now(make, x0, y0, x1, y1, first, pitch);
    std::lock_guard lock(kept->mutex);
    kept->started = true;
    if (kept->texels != nullptr) upload_now(make, x0, y0, x1, y1, kept->texels, pitch);
    kept->copy = {};
  };
}

// Queues an upload of the rectangle (x0, y0)-(x1, y1) from first (rows of
// pitch texels), or, for a kept upload, of the whole texture from where
// `kept` points when the job runs; returns its job number.
std::uint64_t post_upload(GlVideo* g, PlatTexture handle, GlTexture* t, int x0, int y0, int x1,
                          int y1, const std::uint32_t* first, int pitch,
                          std::shared_ptr<GlKeptSource> kept = nullptr) {
  gl_submit(g);  // quads recorded before the upload show the old texels
  if (t->deferred != 0) gl_texture_give_storage(g, t);  // older texels go first
  const bool whole = x0 == 0 && y0 == 0 && x1 == t->width && y1 == t->height;
  const bool make = whole && !t->stored;
  if (!make) gl_texture_give_storage(g, t);
  t->stored = true;
  return g->worker.post(upload_job(g, handle, make, x0, y0, x1, y1, first, pitch, std::move(kept)));
}

// Gives the caller its kept texels back without waiting for the render
// thread: an upload that has not started reads a copy instead, or nothing
// when the texture goes anyway. Only when no copy can be made does it wait.
void release_kept(GlVideo* g, GlTexture* t, bool going) {
  std::shared_ptr<GlKeptSource> kept = std::move(t->kept);
  if (!kept) return;
  std::unique_lock lock(kept->mutex);
  if (kept->started) return;  // it has read them: the job holds the lock meanwhile
  if (going) {
    kept->texels = nullptr;
    return;
  }
  try {
    kept->copy.assign(kept->texels, kept->texels + static_cast<std::size_t>(t->width) * t->height);
    kept->texels = kept->copy.data();
  } catch (const std::bad_alloc&) {
    lock.unlock();
    g->worker.call([] {});  // runs after the upload
  }
}

}  // namespace

GlTexture* gl_texture_find(GlVideo* g, PlatTexture handle) {
  if (handle <= 0 || handle > static_cast<PlatTexture>(g->textures.size())) return nullptr;
  GlTexture* t = &g->textures[slot_of(handle)];
  return t->live ? t : nullptr;
}

GLuint gl_texture_name(GlVideo* g, PlatTexture handle) {
  const std::size_t slot = slot_of(handle);
  return handle > 0 && slot < g->names.size() ? g->names[slot] : 0;
}

void gl_texture_give_storage(GlVideo* g, GlTexture* t) {
  const PlatTexture handle = static_cast<PlatTexture>(t - g->textures.data()) + 1;
  if (t->deferred != 0) {
    // Behind what is queued so far, so ahead of the frame being recorded.
    g->worker.promote(t->deferred);
    t->deferred = 0;
    return;
  }
  if (t->stored) return;
  t->stored = true;
  const int w = t->width, h = t->height;
  g->worker.post([g, handle, w, h] {
    bind(g, handle);
    storage_now(w, h, nullptr, 0);
  });
}

PlatTexture gl_texture_create(PlatVideo* v, int width, int height) {
  GlVideo* g = gl_video(v);
  if (width > g->max_texture || height > g->max_texture) return 0;
  std::size_t slot = 0;
  while (slot < g->textures.size() && g->textures[slot].live) ++slot;
  if (slot == g->textures.size()) g->textures.emplace_back();
  g->textures[slot] = GlTexture{true, width, height, false, nullptr};
  g->worker.post([g, slot] {
    if (g->names.size() <= slot) g->names.resize(slot + 1, 0);
    g->names[slot] = create_name();
  });
  return static_cast<PlatTexture>(slot + 1);
}

void gl_texture_destroy(PlatVideo* v, PlatTexture handle) {
  GlVideo* g = gl_video(v);
  GlTexture* t = gl_texture_find(g, handle);
  if (t == nullptr) return;
  gl_submit(g);  // quads recorded so far still use it
  g->worker.post([g, handle] {
    GLuint& name = g->names[slot_of(handle)];
    glDeleteTextures(1, &name);
    name = 0;
  });
  release_kept(g, t, true);  // the caller frees the texels of a kept upload after this
  *t = GlTexture{};
}

void gl_texture_upload(PlatVideo* v, PlatTexture handle, int x, int y, int width, int height,
                       const std::uint32_t* texels, int pitch) {
  GlVideo* g = gl_video(v);
  GlTexture* t = gl_texture_find(g, handle);
  if (t == nullptr) return;
  const int x0 = std::max(x, 0), y0 = std::max(y, 0);
  const int x1 = std::min(x + width, t->width), y1 = std::min(y + height, t->height);
  if (x0 >= x1 || y0 >= y1) return;
  const std::uint32_t* first = texels + static_cast<std::size_t>(y0 - y) * pitch + (x0 - x);
  // The texels are the caller's only until this returns.
  g->worker.wait(post_upload(g, handle, t, x0, y0, x1, y1, first, pitch));
}

void gl_texture_upload_kept(PlatVideo* v, PlatTexture handle, const std::uint32_t* texels) {
  GlVideo* g = gl_video(v);
  GlTexture* t = gl_texture_find(g, handle);
  if (t == nullptr) return;
  if (t->deferred != 0) gl_texture_give_storage(g, t);  // older texels go first
  release_kept(g, t, false);
  t->kept = std::make_shared<GlKeptSource>();
  t->kept->texels = texels;
  const auto bytes = static_cast<std::size_t>(t->width) * t->height * 4;
  if (t->stored || bytes < kDeferBytes) {
    post_upload(g, handle, t, 0, 0, t->width, t->height, nullptr, t->width, t->kept);
    return;
  }
  // Not submitting the frame being recorded: none of its quads shows this
  // texture, as its first draw queues the upload ahead of them.
  t->stored = true;
  t->deferred = g->worker.post_idle(
      upload_job(g, handle, true, 0, 0, t->width, t->height, nullptr, t->width, t->kept));
}

void gl_texture_wait(PlatVideo* v, PlatTexture handle) {
  GlVideo* g = gl_video(v);
  GlTexture* t = gl_texture_find(g, handle);
  if (t != nullptr) release_kept(g, t, false);
}

bool gl_texture_upload_done(PlatVideo* v, PlatTexture handle) {
  GlTexture* t = gl_texture_find(gl_video(v), handle);
  if (t == nullptr || !t->kept) return true;
  {
    // A lock held means the upload is reading right now.
    std::unique_lock lock(t->kept->mutex, std::try_to_lock);
    if (!lock.owns_lock() || !t->kept->started) return false;
  }
  t->kept.reset();
  return true;
}

void gl_release_memory(PlatVideo*) {
  malloc_trim(0);
}

void gl_texture_read(PlatVideo* v, PlatTexture handle, std::uint32_t* out) {
  GlVideo* g = gl_video(v);
  GlTexture* t = gl_texture_find(g, handle);
  if (t == nullptr) return;
  gl_texture_give_storage(g, t);
  g->worker.call([&] {
    bind(g, handle);
    glGetTexImage(GL_TEXTURE_RECTANGLE, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, out);
  });
}

bool gl_texture_size(PlatVideo* v, PlatTexture handle, int* width, int* height) {
  GlTexture* t = gl_texture_find(gl_video(v), handle);
  if (t == nullptr) return false;
  *width = t->width;
  *height = t->height;
  return true;
}

PlatTexture gl_texture_scratch(GlVideo* g) {
  const GLuint id = create_name();
  const std::uint32_t texel = 0x80FFFFFFu;
  storage_now(1, 1, &texel, 1);
  g->names.push_back(id);
  return static_cast<PlatTexture>(g->names.size());
}

void gl_texture_scratch_end(GlVideo* g) {
  glDeleteTextures(1, &g->names.back());
  g->names.pop_back();
}

void gl_texture_delete_all(GlVideo* g) {
  for (GLuint& name : g->names) {
    if (name != 0) glDeleteTextures(1, &name);
    name = 0;
  }
}
