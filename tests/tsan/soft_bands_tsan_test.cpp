// The soft device's band threads under ThreadSanitizer: workers write their
// rows of the picture while the calling thread draws its own, then the
// caller reads the whole picture, changes textures and queues again; the
// pool's pieces write their slots and the caller reads them after run.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/video.h"
#include "platform/video_soft_pool_internal.h"

namespace {

PlatQuad quad_of(PlatTexture t, float x, float y, float degrees) {
  PlatQuad q{};
  q.texture = t;
  q.src_right = q.src_bottom = 16;
  q.centre_x = q.centre_y = 8;
  const float a = degrees * 0.0174533f;
  q.m[0] = 2 * __builtin_cosf(a), q.m[1] = 2 * __builtin_sinf(a);
  q.m[2] = -q.m[1], q.m[3] = q.m[0];
  q.m[4] = x, q.m[5] = y;
  q.alpha = 200;
  q.src_blend = kBlendSrcAlpha;
  q.dst_blend = kBlendInvSrcAlpha;
  return q;
}

TEST(SoftBandsRaceTest, FramesReadBackAndUploadsBetweenBandedDraws) {
  soft_force_banding(3, 5);
  PlatVideo* v = plat_video_create(PlatVideoBackend::Soft, nullptr, 160, 120);
  soft_force_banding(0, 0);
  ASSERT_NE(v, nullptr);
  ASSERT_EQ(soft_threads(v), 3);
  const PlatTexture t = plat_texture_create(v, 16, 16);
  std::vector<std::uint32_t> texels(256), picture(160 * 120);
  std::uint32_t sum = 0;
  for (int frame = 0; frame < 30; ++frame) {
    for (std::size_t i = 0; i < texels.size(); ++i) texels[i] = 0xFF000000u | (i * 7919u * frame);
    plat_texture_upload(v, t, 0, 0, 16, 16, texels.data(), 16);
    plat_video_begin_frame(v);
    for (int i = 0; i < 40; ++i) {
      plat_video_draw_quad(v, quad_of(t, float(i * 37 % 160), float(i * 23 % 120), float(i * 9)));
      if (i == 20) plat_video_read_back(v, picture.data());
    }
    plat_video_overlay_fill(v, 0, 50, 160, 70, 0x123456u);
    plat_video_end_frame(v);
    plat_video_read_back(v, picture.data());
    for (std::uint32_t p : picture) sum += p;
  }
  plat_video_destroy(v);
  EXPECT_NE(sum, 0u);
}

TEST(SoftBandsRaceTest, PoolPiecesAreSeenByTheCaller) {
  SoftPool pool(4);
  std::vector<int> slots(32);
  for (int round = 1; round <= 200; ++round) {
    pool.run(
        static_cast<int>(slots.size()),
        [](void* context, int piece) { ++(*static_cast<std::vector<int>*>(context))[piece]; },
        &slots);
    for (int s : slots) ASSERT_EQ(s, round);
  }
}

}  // namespace
