// The gl device against the soft one: every conformance scene must match
// within 2 levels per channel on at least 99.9 % of its pixels (the two
// round filter weights and blends differently), and the exact cases (one
// to one texels, raw overlay, hidden depth) must match exactly. Skips when
// there is no display or no OpenGL 3.3 core context.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <map>
#include <thread>
#include <utility>
#include <vector>

#include "platform/video.h"
#include "platform/video_gl_internal.h"
#include "tests/platform/video_scenes.h"

using namespace video_test;

namespace {

constexpr int kTolerance = 2;
constexpr double kShare = 0.999;

struct Comparison {
  int max_diff = 0;
  std::size_t over_tolerance = 0, pixels = 0;
};

Comparison compare(const Pixels& a, const Pixels& b) {
  Comparison c;
  c.pixels = a.size();
  for (std::size_t i = 0; i < a.size(); ++i) {
    int worst = 0;
    for (int sh = 0; sh < 24; sh += 8) {
      worst = std::max(worst, std::abs(int((a[i] >> sh) & 255) - int((b[i] >> sh) & 255)));
    }
    c.max_diff = std::max(c.max_diff, worst);
    if (worst > kTolerance) ++c.over_tolerance;
  }
  return c;
}

class VideoGlTest : public ::testing::Test {
 protected:
  // Making a context costs much more than a frame: one device pair per
  // buffer size serves every scene of that size.
  struct Pair {
    PlatVideo* gl;
    PlatVideo* soft;
  };
  static inline std::map<std::pair<int, int>, Pair> devices_;

  static void TearDownTestSuite() {
    for (auto& [size, pair] : devices_) {
      plat_video_destroy(pair.gl);
      plat_video_destroy(pair.soft);
    }
    devices_.clear();
  }

  // The pair for a size, or null gl (with the reason printed) when there is
  // no display or no OpenGL 3.3 core context.
  static Pair devices(int w, int h) {
    auto it = devices_.find({w, h});
    if (it != devices_.end()) return it->second;
    Pair p{plat_video_create(PlatVideoBackend::GL, nullptr, w, h), nullptr};
    if (p.gl == nullptr) {
      std::printf("no gl device: %s\n", plat_video_last_error());
      return p;
    }
    p.soft = plat_video_create(PlatVideoBackend::Soft, nullptr, w, h);
    devices_[{w, h}] = p;
    return p;
  }

  PlatVideo* gl = nullptr;
  PlatVideo* soft = nullptr;

  void open(int w, int h) {
    const Pair p = devices(w, h);
    gl = p.gl;
    soft = p.soft;
  }
};

#define OPEN_OR_SKIP(w, h) \
  open(w, h);              \
  if (gl == nullptr) GTEST_SKIP() << "no gl device: " << plat_video_last_error()

TEST_F(VideoGlTest, ConformanceScenesMatchSoftWithinTolerance) {
  std::size_t total = 0, over = 0;
  int worst = 0;
  for (const Scene& scene : conformance_scenes()) {
    OPEN_OR_SKIP(scene.width, scene.height);
    const Comparison c = compare(render(gl, scene), render(soft, scene));
    EXPECT_GE(double(c.pixels - c.over_tolerance) / double(c.pixels), kShare) << scene.name;
    std::printf("%-16s max difference %d, %zu of %zu pixels over %d\n", scene.name.c_str(),
                c.max_diff, c.over_tolerance, c.pixels, kTolerance);
    total += c.pixels;
    over += c.over_tolerance;
    worst = std::max(worst, c.max_diff);
  }
  std::printf("all scenes: max difference %d, %zu of %zu pixels over %d levels\n", worst, over,
              total, kTolerance);
}

TEST_F(VideoGlTest, ExactCasesMatchExactly) {
  for (const char* name : {"one_to_one", "overlay", "depth_layers", "alpha_holes"}) {
    for (const Scene& scene : conformance_scenes()) {
      if (scene.name != name) continue;
      OPEN_OR_SKIP(scene.width, scene.height);
      EXPECT_EQ(render(gl, scene), render(soft, scene)) << name;
    }
  }
}

// Quads whose pixel centres all land on texel centres (placed at whole
// pixels, mirrored, turned a quarter, a source rectangle moved by whole
// texels) are sampled nearest, which gives the pixels linear filtering does;
// half a pixel off, or scaled, they stay linear and show the blend.
TEST_F(VideoGlTest, QuadsOnTexelCentresAreSampledNearestWithTheSamePixels) {
  OPEN_OR_SKIP(48, 40);
  auto checker = [](int x, int y) {
    return (x + y) % 2 ? argb(255, 250, 10, 0) : argb(255, 0, 20, 240);
  };
  auto quarter_turn = [](PlatQuad q, float x, float y) {
    q.m[0] = 0, q.m[1] = 1, q.m[2] = -1, q.m[3] = 0;
    q.m[4] = x, q.m[5] = y;
    return q;
  };
  auto on_centres = [&](PlatTexture t) {
    PlatQuad mirrored = sprite_quad(t, 8, 8, 12, 2);
    mirrored.m[0] = -1;
    PlatQuad moved = sprite_quad(t, 6, 6, 2, 14);
    moved.src_left = 2, moved.src_top = 1, moved.src_right = 8, moved.src_bottom = 7;
    return std::vector<PlatQuad>{sprite_quad(t, 8, 8, 2, 2), mirrored,
                                 quarter_turn(sprite_quad(t, 8, 8, 0, 0), 28, 6), moved};
  };
  auto between = [&](PlatTexture t) {
    return std::vector<PlatQuad>{sprite_quad(t, 8, 8, 12.5f, 20), sprite_quad(t, 8, 8, 24, 20.5f),
                                 sprite_quad(t, 8, 8, 34, 22, 1.5f, 1.5f),
                                 sprite_quad(t, 8, 8, 2, 30, 0.5f, 0.5f)};
  };
  std::vector<bool> nearest;
  const Scene scene{"centres", 48, 40, [&](PlatVideo* v) {
                      PlatTexture t = make_texture(v, 8, 8, checker);
                      plat_video_begin_frame(v);
                      for (const PlatQuad& q : on_centres(t)) plat_video_draw_quad(v, q);
                      for (const PlatQuad& q : between(t)) plat_video_draw_quad(v, q);
                      if (v == gl)
                        for (const GlBatch& b : gl_video(gl)->frame->batches)
                          nearest.insert(nearest.end(), b.count, b.nearest);
                      plat_video_end_frame(v);
                    }};
  const Pixels g = render(gl, scene), s = render(soft, scene);
  EXPECT_EQ(nearest, (std::vector<bool>{true, true, true, true, false, false, false, false}));
  auto region = [](const Pixels& p, int x0, int y0, int x1, int y1) {
    Pixels out;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) out.push_back(p[static_cast<std::size_t>(y) * 48 + x]);
    return out;
  };
  EXPECT_EQ(region(g, 0, 0, 48, 20), region(s, 0, 0, 48, 20)) << "texel centres: exact";
  const Comparison c = compare(g, s);
  EXPECT_LE(c.max_diff, kTolerance);
  // Half a texel off, linear mixes the two checker colours.
  const std::uint32_t mixed = g[21 * 48 + 16];
  EXPECT_GT(mixed >> 16 & 255, 60u);
  EXPECT_GT(mixed & 255, 60u);
}

// Fills and pixels over each other keep their call order, with every edge
// where the soft device puts it, at the buffer's borders too.
TEST_F(VideoGlTest, OverlayFillsAndPixelsOverlapInCallOrder) {
  OPEN_OR_SKIP(17, 13);
  const Scene scene{"overlap", 17, 13, [](PlatVideo* v) {
                      plat_video_begin_frame(v);
                      plat_video_overlay_fill(v, 1, 1, 9, 8, 0x112233u);
                      plat_video_overlay_pixel(v, 4, 4, 0x445566u);
                      plat_video_overlay_pixel(v, 8, 7, 0x778899u);
                      plat_video_overlay_fill(v, 3, 3, 5, 5, 0xAABBCCu);
                      plat_video_overlay_pixel(v, 3, 3, 0xDDEEFFu);
                      plat_video_overlay_fill(v, 12, -3, 30, 20, 0x010203u);
                      plat_video_overlay_fill(v, 0, 12, 1, 13, 0x040506u);
                      plat_video_end_frame(v);
                    }};
  const Pixels p = render(gl, scene);
  EXPECT_EQ(p, render(soft, scene));
  EXPECT_EQ(p[3 * 17 + 3], 0xDDEEFFu);
  EXPECT_EQ(p[4 * 17 + 4], 0xAABBCCu) << "the later fill covers the pixel";
  EXPECT_EQ(p[7 * 17 + 8], 0x778899u);
  EXPECT_EQ(p[12 * 17 + 0], 0x040506u);
}

TEST_F(VideoGlTest, BatchesKeepDrawOrderAcrossTexturesAndBlends) {
  OPEN_OR_SKIP(64, 16);
  // Interleaved textures and blends over the same pixels: the picture
  // depends on every quad landing in call order.
  PlatTexture a = solid_texture(gl, 8, 8, 0x80FF0000u), b = solid_texture(gl, 8, 8, 0xFF00FF00u);
  PlatTexture sa = solid_texture(soft, 8, 8, 0x80FF0000u),
              sb = solid_texture(soft, 8, 8, 0xFF00FF00u);
  for (PlatVideo* v : {gl, soft}) {
    const bool is_gl = v == gl;
    plat_video_begin_frame(v);
    for (int i = 0; i < 60; ++i) {
      const PlatTexture t = (i % 3 == 0) ? (is_gl ? b : sb) : (is_gl ? a : sa);
      const int blends[3][2] = {{5, 6}, {5, 7}, {1, 3}};
      plat_video_draw_quad(v, with(sprite_quad(t, 8, 8, float(i % 7) * 8, float(i % 2) * 8),
                                   blends[i % 3][0], blends[i % 3][1], std::uint8_t(100 + i)));
    }
    plat_video_end_frame(v);
  }
  Pixels pg(64 * 16), ps(64 * 16);
  plat_video_read_back(gl, pg.data());
  plat_video_read_back(soft, ps.data());
  EXPECT_LE(compare(pg, ps).max_diff, kTolerance);
}

TEST_F(VideoGlTest, TexturesRoundTripAndUploadsAfterQueuedQuads) {
  OPEN_OR_SKIP(8, 8);
  PlatTexture t = plat_texture_create(gl, 3, 2);
  ASSERT_NE(t, 0);
  const std::uint32_t texels[6] = {0x01020304u, 0xFF000000u, 0x80FFFFFFu,
                                   0x00000000u, 0x12345678u, 0xFFFFFFFFu};
  plat_texture_upload(gl, t, 0, 0, 3, 2, texels, 3);
  std::uint32_t out[6] = {};
  plat_texture_read(gl, t, out);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(out[i], texels[i]) << i;
  // A quad queued before an upload shows the old texels.
  PlatTexture red = solid_texture(gl, 2, 2, 0xFFFF0000u);
  plat_video_begin_frame(gl);
  plat_video_draw_quad(gl, with(sprite_quad(red, 2, 2, 0, 0), 2, 1));
  const std::uint32_t blue[4] = {0xFF0000FFu, 0xFF0000FFu, 0xFF0000FFu, 0xFF0000FFu};
  plat_texture_upload(gl, red, 0, 0, 2, 2, blue, 2);
  plat_video_draw_quad(gl, with(sprite_quad(red, 2, 2, 4, 4), 2, 1));
  plat_video_end_frame(gl);
  Pixels px(64);
  plat_video_read_back(gl, px.data());
  EXPECT_EQ(px[0], 0xFF0000u);
  EXPECT_EQ(px[4 * 8 + 4], 0x0000FFu);
  EXPECT_EQ(plat_video_backend(gl), PlatVideoBackend::GL);
  EXPECT_EQ(plat_video_present(gl), 0);
  plat_video_read_back(gl, px.data());
  EXPECT_EQ(px[0], 0xFF0000u);  // still there after the present
}

TEST_F(VideoGlTest, KeptTexelsComeBackBeforeTheRenderThreadUploadsThem) {
  OPEN_OR_SKIP(4, 4);
  PlatTexture t = plat_texture_create(gl, 2, 2);
  ASSERT_NE(t, 0);
  std::vector<std::uint32_t> texels(4, 0xFFFF0000u);
  // The render thread is held, so the kept upload cannot start yet.
  std::promise<void> gate, waited;
  std::shared_future<void> open = gate.get_future().share();
  gl_video(gl)->worker.post([open] { open.wait(); });
  std::atomic<bool> timed_out{false};
  std::thread opener([&, done = waited.get_future()] {
    if (done.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) timed_out = true;
    gate.set_value();
  });
  plat_texture_upload_kept(gl, t, texels.data());
  plat_video_begin_frame(gl);
  plat_video_draw_quad(gl, with(sprite_quad(t, 2, 2, 0, 0), 2, 1));
  plat_texture_wait(gl, t);
  waited.set_value();
  // The caller owns its texels again: the quad recorded before still shows
  // the first ones, the one after the new upload the changed ones.
  std::fill(texels.begin(), texels.end(), 0xFF0000FFu);
  plat_texture_upload_kept(gl, t, texels.data());
  plat_video_draw_quad(gl, with(sprite_quad(t, 2, 2, 2, 2), 2, 1));
  plat_video_end_frame(gl);
  opener.join();
  EXPECT_FALSE(timed_out) << "the wait waited for the render thread";
  Pixels px(16);
  plat_video_read_back(gl, px.data());
  EXPECT_EQ(px[0], 0xFF0000u);
  EXPECT_EQ(px[2 * 4 + 2], 0x0000FFu);
  plat_texture_destroy(gl, t);
}

TEST_F(VideoGlTest, KeptUploadSaysDoneOnlyOnceItsTexelsAreRead) {
  OPEN_OR_SKIP(8, 8);
  constexpr int kSide = 256;
  PlatTexture t = plat_texture_create(gl, kSide, kSide);
  ASSERT_NE(t, 0);
  EXPECT_TRUE(plat_texture_upload_done(gl, t)) << "no kept upload yet";
  EXPECT_TRUE(plat_texture_upload_done(gl, 9999)) << "no such texture";
  std::vector<std::uint32_t> texels(kSide * kSide);
  for (std::size_t i = 0; i < texels.size(); ++i) texels[i] = 0xFF000000u | std::uint32_t(i * 97);
  const std::vector<std::uint32_t> sent = texels;
  plat_texture_upload_kept(gl, t, texels.data());
  // The query never waits; polled, it turns true once the thread is through.
  bool done = false;
  for (int i = 0; i < 20000 && !done; ++i) {
    done = plat_texture_upload_done(gl, t);
    if (!done) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_TRUE(done);
  // Done means the device no longer reads them: changing them now shows nowhere.
  std::fill(texels.begin(), texels.end(), 0xFFFF00FFu);
  std::vector<std::uint32_t> out(texels.size());
  plat_texture_read(gl, t, out.data());
  EXPECT_EQ(out, sent);
  EXPECT_TRUE(plat_texture_upload_done(gl, t));
  plat_texture_destroy(gl, t);
  EXPECT_TRUE(plat_texture_upload_done(soft, 1)) << "the soft device copies at once";
}

// Frames on a CPU driver can keep the render thread's queue full for good:
// an idle job still runs once it has waited long enough.
TEST(GlWorkerTest, IdleJobRunsBehindAQueueThatNeverEmpties) {
  GlWorker worker;
  worker.start([] {});
  std::atomic<bool> ran{false};
  worker.post_idle([&ran] { ran = true; });
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::uint64_t> posted;
  // Jobs of 5 ms, with three always queued behind the one that runs.
  while (!ran && std::chrono::steady_clock::now() - start < std::chrono::seconds(5)) {
    posted.push_back(
        worker.post([] { std::this_thread::sleep_for(std::chrono::milliseconds(5)); }));
    if (posted.size() > 3) worker.wait(posted[posted.size() - 4]);
  }
  EXPECT_TRUE(ran);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  worker.stop([] {});
}

// A large picture's first upload waits for the render thread to be idle,
// unless the texture is used first: then it goes ahead of that use. The
// texels it shows are the ones given, in order with later changes.
TEST_F(VideoGlTest, LargeFirstUploadsWaitForIdleTimeOrTheirFirstUse) {
  OPEN_OR_SKIP(8, 8);
  constexpr int kSide = 512;  // 1 MiB: large
  std::vector<std::vector<std::uint32_t>> texels(3);
  std::vector<PlatTexture> t(3);
  // The render thread is held until everything is queued; what is then
  // queued runs before any idle upload.
  std::promise<void> gate;
  gl_video(gl)->worker.post([open = gate.get_future().share()] { open.wait(); });
  for (std::size_t k = 0; k < 3; ++k) {
    t[k] = plat_texture_create(gl, kSide, kSide);
    ASSERT_NE(t[k], 0);
    texels[k].resize(kSide * kSide);
    for (std::size_t i = 0; i < texels[k].size(); ++i)
      texels[k][i] = 0xFF000000u | std::uint32_t(i * 97 + k * 0x10101);
    plat_texture_upload_kept(gl, t[k], texels[k].data());
  }
  plat_video_begin_frame(gl);
  plat_video_draw_quad(gl, with(sprite_quad(t[2], kSide, kSide, 0, 0), 2, 1));
  plat_video_end_frame(gl);
  gate.set_value();
  Pixels px(64);
  plat_video_read_back(gl, px.data());
  EXPECT_EQ(px[3 * 8 + 5], texels[2][3 * kSide + 5] & 0xFFFFFFu) << "its draw took it first";
  // Changed in part: the change lands on the texels given.
  const std::uint32_t one = 0xFF123456u;
  plat_texture_upload(gl, t[1], 1, 2, 1, 1, &one, 1);
  std::vector<std::uint32_t> out(texels[1].size());
  plat_texture_read(gl, t[1], out.data());
  std::vector<std::uint32_t> want = texels[1];
  want[2 * kSide + 1] = one;
  EXPECT_EQ(out, want);
  // Never used: it goes in idle time all the same.
  bool done = false;
  for (int i = 0; i < 20000 && !done; ++i) {
    done = plat_texture_upload_done(gl, t[0]);
    if (!done) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_TRUE(done);
  const std::vector<std::uint32_t> sent = texels[0];
  std::fill(texels[0].begin(), texels[0].end(), 0u);  // the device has its own now
  plat_texture_read(gl, t[0], out.data());
  EXPECT_EQ(out, sent);
  for (PlatTexture texture : t) plat_texture_destroy(gl, texture);
}

// Gone before its idle upload ran, it is never uploaded, and its slot
// serves the next texture; a device that ends drops the idle uploads left.
TEST_F(VideoGlTest, LargeTextureGoneBeforeItsUploadLeavesNothingBehind) {
  OPEN_OR_SKIP(8, 8);
  constexpr int kSide = 512;
  std::vector<std::uint32_t> texels(kSide * kSide, 0xFFFF0000u);
  std::promise<void> gate;
  gl_video(gl)->worker.post([open = gate.get_future().share()] { open.wait(); });
  PlatTexture t = plat_texture_create(gl, kSide, kSide);
  plat_texture_upload_kept(gl, t, texels.data());
  plat_texture_destroy(gl, t);
  texels.assign(texels.size(), 0xFF00FF00u);
  PlatTexture next = plat_texture_create(gl, 2, 2);
  ASSERT_EQ(next, t) << "the slot is used again";
  gate.set_value();
  const std::uint32_t blue[4] = {0xFF0000FFu, 0xFF0000FFu, 0xFF0000FFu, 0xFF0000FFu};
  plat_texture_upload(gl, next, 0, 0, 2, 2, blue, 2);
  plat_video_finish(gl);
  std::uint32_t out[4] = {};
  plat_texture_read(gl, next, out);
  EXPECT_EQ(out[3], 0xFF0000FFu);
  plat_texture_destroy(gl, next);

  PlatVideo* own = plat_video_gl_create(nullptr, 8, 8);
  ASSERT_NE(own, nullptr);
  std::promise<void> held;
  gl_video(own)->worker.post([open = held.get_future().share()] { open.wait(); });
  PlatTexture big = plat_texture_create(own, kSide, kSide);
  plat_texture_upload_kept(own, big, texels.data());
  std::atomic<bool> ran{false};
  gl_video(own)->worker.post_idle([&ran] { ran = true; });
  std::thread opener([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    held.set_value();
  });
  plat_video_destroy(own);  // its context goes before an idle job could run
  opener.join();
  EXPECT_FALSE(ran) << "an idle job ran after the device ended";
}

}  // namespace
