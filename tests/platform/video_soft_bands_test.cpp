// The soft device drawn in bands by several threads must give the pixels of
// drawing every quad one after the other on one thread: the conformance
// scenes and a crowded random frame, for 1, 2 and 3 bands and more, with
// every span path; and the pool under the device runs every piece once.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <vector>

#include "platform/video.h"
#include "platform/video_soft_pool_internal.h"
#include "platform/video_soft_raster_internal.h"
#include "tests/platform/video_scenes.h"

using namespace video_test;

namespace {

struct Banding {
  int threads, bands;
};
constexpr Banding kBandings[] = {{1, 1}, {2, 2}, {3, 3}, {1, 3}, {2, 7}, {3, 40}};

// Devices created in its scope draw with the given banding.
struct BandingScope {
  explicit BandingScope(Banding b) { soft_force_banding(b.threads, b.bands); }
  ~BandingScope() { soft_force_banding(0, 0); }
};

Pixels render_banded(const Scene& scene, Banding b) {
  BandingScope scope(b);
  PlatVideo* v = plat_video_create(PlatVideoBackend::Soft, nullptr, scene.width, scene.height);
  EXPECT_EQ(soft_threads(v), b.bands > 1 ? b.threads : 1);
  Pixels out = render(v, scene);
  plat_video_destroy(v);
  return out;
}

std::vector<SoftPath> fast_and_plain_paths() {
  std::vector<SoftPath> out{SoftPath::Scalar};
  for (SoftPath p : {SoftPath::Avx2, SoftPath::Avx512}) {
    if (soft_path_available(p)) out.push_back(p);
  }
  return out;
}

TEST(VideoSoftBandsTest, EveryBandingRendersTheConformanceScenesAlike) {
  const SoftPath saved = soft_selected_path();
  for (SoftPath path : fast_and_plain_paths()) {
    ASSERT_TRUE(soft_select_path(path));
    for (const Scene& scene : conformance_scenes()) {
      const Pixels one = render_banded(scene, {1, 1});
      for (Banding b : kBandings) {
        EXPECT_EQ(render_banded(scene, b), one) << scene.name << " path " << int(path) << " "
                                                << b.threads << " threads, " << b.bands << " bands";
      }
    }
  }
  soft_select_path(saved);
}

// A frame of many overlapping quads, rotated, scaled and at random depths,
// each blend pair kind, additive quads drawn twice running, the overlay,
// and a texture changed and the picture read in mid-frame. The reference
// draws each quad at once with the rasterizer onto its own buffers.
struct RandomFrame {
  static constexpr int kWidth = 120, kHeight = 97;
  std::vector<PlatQuad> quads;  // texture = index into images + 1
  std::vector<Pixels> images, changed;
  std::vector<int> sizes;

  explicit RandomFrame(unsigned seed) {
    std::mt19937 rng(seed);
    const auto pick = [&rng](int n) { return static_cast<int>(rng() % unsigned(n)); };
    for (int i = 0; i < 4; ++i) {
      const int size = 4 + 9 * i;
      sizes.push_back(size);
      Pixels img(static_cast<std::size_t>(size) * size), img2 = img;
      for (auto& t : img) t = argb(pick(4) == 0 ? 0 : pick(256), pick(256), pick(256), pick(256));
      for (auto& t : img2) t = argb(255, pick(256), pick(256), pick(256));
      images.push_back(img);
      changed.push_back(img2);
    }
    const int pairs[][2] = {{5, 6}, {5, 2}, {2, 1}, {9, 1}, {3, 4}};
    for (int i = 0; i < 160; ++i) {
      const int t = pick(4), size = sizes[t];
      const auto& pair = pairs[pick(5)];
      const float scale = 0.5f + pick(300) / 100.0f;
      PlatQuad q = sprite_quad(t + 1, size, size, pick(kWidth + 20) - 20, pick(kHeight + 20) - 20,
                               scale, scale * (0.7f + pick(60) / 100.0f), pick(4) ? pick(360) : 0);
      q = with(q, pair[0], pair[1], static_cast<std::uint8_t>(1 + pick(255)), pick(100) / 99.0f);
      quads.push_back(q);
      if (pair[1] == 2 && pick(2)) quads.push_back(q);  // the same additive quad again
    }
  }

  // The overlay, the reference's and the device's.
  static void overlay(const std::function<void(int, int, int, int, std::uint32_t)>& fill) {
    fill(3, 5, 60, 9, 0x123456u);
    fill(100, 0, 120, 97, 0xABCDEFu);
    fill(7, 60, 8, 61, 0x00FF00u);
  }

  Pixels reference() const {
    Pixels color(kWidth * kHeight, 0u);
    std::vector<std::uint16_t> depth(color.size(), 0xFFFF);
    const SoftSurface target{color.data(), depth.data(), kWidth, kHeight};
    Pixels mid;
    for (std::size_t i = 0; i < quads.size(); ++i) {
      if (i == quads.size() / 2) mid = color;
      const int t = quads[i].texture - 1;
      const Pixels& texels = i < quads.size() / 2 ? images[t] : changed[t];
      soft_raster_quad(target, SoftImage{texels.data(), sizes[t], sizes[t]}, quads[i]);
    }
    overlay([&](int l, int t, int r, int b, std::uint32_t value) {
      for (int y = t; y < b; ++y) {
        for (int x = l; x < r; ++x) color[static_cast<std::size_t>(y) * kWidth + x] = value;
      }
    });
    mid.insert(mid.end(), color.begin(), color.end());
    return mid;
  }

  Pixels device(Banding b) const {
    BandingScope scope(b);
    PlatVideo* v = plat_video_create(PlatVideoBackend::Soft, nullptr, kWidth, kHeight);
    for (std::size_t t = 0; t < images.size(); ++t) {
      EXPECT_EQ(plat_texture_create(v, sizes[t], sizes[t]), static_cast<PlatTexture>(t + 1));
      plat_texture_upload(v, t + 1, 0, 0, sizes[t], sizes[t], images[t].data(), sizes[t]);
    }
    plat_video_begin_frame(v);
    overlay([&](int l, int t, int r, int bottom, std::uint32_t value) {
      plat_video_overlay_fill(v, l, t, r, bottom, value);
    });
    Pixels mid(kWidth * kHeight);
    for (std::size_t i = 0; i < quads.size(); ++i) {
      if (i == quads.size() / 2) {
        plat_video_read_back(v, mid.data());
        for (std::size_t t = 0; t < images.size(); ++t)
          plat_texture_upload(v, t + 1, 0, 0, sizes[t], sizes[t], changed[t].data(), sizes[t]);
      }
      plat_video_draw_quad(v, quads[i]);
    }
    plat_video_end_frame(v);
    Pixels out(kWidth * kHeight);
    plat_video_read_back(v, out.data());
    plat_video_destroy(v);
    mid.insert(mid.end(), out.begin(), out.end());
    return mid;
  }
};

TEST(VideoSoftBandsTest, CrowdedFrameInBandsEqualsQuadsDrawnOneByOne) {
  const SoftPath saved = soft_selected_path();
  for (unsigned seed : {1u, 2u, 3u}) {
    const RandomFrame frame(seed);
    for (SoftPath path : fast_and_plain_paths()) {
      ASSERT_TRUE(soft_select_path(path));
      const Pixels expected = frame.reference();
      for (Banding b : kBandings) {
        EXPECT_EQ(frame.device(b), expected) << "seed " << seed << " path " << int(path) << " "
                                             << b.threads << " threads, " << b.bands << " bands";
      }
    }
  }
  soft_select_path(saved);
}

TEST(VideoSoftBandsTest, PoolRunsEveryPieceOnceAndAgainAfterwards) {
  for (int threads : {1, 2, 5}) {
    SoftPool pool(threads);
    EXPECT_EQ(pool.threads(), threads);
    for (int pieces : {0, 1, 3, 64}) {
      std::vector<std::atomic<int>> runs(static_cast<std::size_t>(pieces));
      for (int round = 0; round < 20; ++round) {
        pool.run(
            pieces,
            [](void* context, int piece) {
              (*static_cast<std::vector<std::atomic<int>>*>(context))[piece].fetch_add(1);
            },
            &runs);
      }
      for (int i = 0; i < pieces; ++i) EXPECT_EQ(runs[i].load(), 20) << threads << " " << i;
    }
  }
}

}  // namespace
