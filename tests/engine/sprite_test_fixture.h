// Shared set-up of the texture, sprite, text, box, collision and screenshot
// tests: the libraries started once, a fresh engine state with its lists on
// a headless device per test, and helpers that build textures, render a
// frame and read pixels back.
#pragma once
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

#include "engine/engine.h"
#include "engine/objects_internal.h"
#include "engine/state_internal.h"
#include "image/image.h"
#include "platform/video.h"
#include "runtime/arrays.h"
#include "runtime/heap.h"
#include "runtime/lists.h"
#include "runtime/strings.h"
#include "tests/engine/screen_test_fixture.h"

namespace sprite_test {

using Pixels = std::vector<std::uint32_t>;

inline std::uint32_t argb(unsigned a, unsigned r, unsigned g, unsigned b) {
  return (a << 24) | (r << 16) | (g << 8) | b;
}

// The libraries start once per test program, shared with the screen tests;
// the PNG decoder is registered after the decoder table exists.
inline void start_libraries() {
  screen_test::start_libraries();
  eng_png_init();
}

// A fresh engine on a device of the given back end; GL needs a display and
// is skipped without one.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override { open_device(PlatVideoBackend::Soft); }

  void open_device(PlatVideoBackend backend) {
    start_libraries();
    video_ = plat_video_create(backend, nullptr, kWidth, kHeight);
    if (!video_) GTEST_SKIP() << "no device of this kind: " << plat_video_last_error();
    ScreenState& screen = g_engine.screen;
    screen.video = video_;
    screen.width = kWidth;
    screen.height = kHeight;
    screen.device_status = 0;
    screen.last_error = 0;
    screen.frame_time = 0.016f;
    eng_object_lists_reset();
  }

  void TearDown() override {
    if (!video_) return;
    eng_object_lists_reset();
    g_engine.screen.video = nullptr;
    plat_video_destroy(video_);
  }

  // Helpers other fixtures and free functions use too.
 public:
  // A texture whose texels are fn(x, y), made the way the game makes empty
  // textures and then filled.
  static EngHandle texture(int w, int h, const std::function<std::uint32_t(int, int)>& fn) {
    const EngHandle handle = eng_texture_create(w, h);
    auto* record = reinterpret_cast<TextureRecord*>(handle);
    if (!record) return 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) record->texels[y * w + x] = fn(x, y);
    eng_texture_upload(record);
    return handle;
  }

  static EngHandle solid_texture(int w, int h, std::uint32_t texel) {
    return texture(w, h, [texel](int, int) { return texel; });
  }

  // A sprite on a texture of its own: eng_sprite_create keys black, so the
  // texels given are what the sprite shows unless they are opaque black.
  static EngHandle sprite(int w, int h, const std::function<std::uint32_t(int, int)>& fn) {
    return eng_sprite_create(texture(w, h, fn));
  }

  static EngHandle solid_sprite(int w, int h, std::uint32_t texel) {
    return eng_sprite_create(solid_texture(w, h, texel));
  }

  static SpriteRecord& record(EngHandle sprite) { return *reinterpret_cast<SpriteRecord*>(sprite); }

 protected:
  // One frame as eng_render draws it.
  void render() { eng_render(); }

  Pixels screen() const {
    Pixels out(static_cast<std::size_t>(kWidth) * kHeight);
    plat_video_read_back(video_, out.data());
    return out;
  }

  std::uint32_t pixel(int x, int y) const { return screen()[y * kWidth + x]; }

  // Screen pixels that must be exactly these colours, each checked on its own.
  struct At {
    int x, y;
    std::uint32_t rgb;
  };
  void expect_screen(std::initializer_list<At> points) const {
    const Pixels p = screen();
    for (const At& a : points)
      EXPECT_EQ(p[a.y * kWidth + a.x], a.rgb) << "pixel (" << a.x << ", " << a.y << ")";
  }

  static std::vector<EngHandle> sprite_order() {
    std::vector<EngHandle> order;
    ListHeader* list = g_engine.sprites.header;
    for (ListNode* node = list->first; node; node = node->next)
      order.push_back(reinterpret_cast<EngHandle>(rt_node_element(node)));
    return order;
  }

  static constexpr int kWidth = 1024;
  static constexpr int kHeight = 768;
  PlatVideo* video_ = nullptr;
};

// The same cases on each back end, gl skipped under the sanitizers:
// llvmpipe's compiled shaders allocate memory that no one frees at exit,
// which the leak checker would report against the test program.
class BackendTest : public EngineTest, public ::testing::WithParamInterface<PlatVideoBackend> {
 protected:
  void SetUp() override {
#if defined(__SANITIZE_ADDRESS__)
    if (GetParam() == PlatVideoBackend::GL) GTEST_SKIP() << "gl is not run under the sanitizers";
#endif
    open_device(GetParam());
  }
};

// A unique scratch directory for files a test writes.
inline std::string scratch_dir(const std::string& name) {
  std::string dir = ::testing::TempDir() + "engine_" + name + "_" + std::to_string(::getpid());
  std::string command = "mkdir -p '" + dir + "'";
  if (std::system(command.c_str()) != 0) return ::testing::TempDir();
  return dir;
}

}  // namespace sprite_test
