// The soft device's heaviest case beside pixman: a 1280 × 1280 picture
// rotated by 17° about the buffer's centre, filtered bilinear and blended
// source-over across all of a 1024 × 768 buffer. Prints the ratio; the
// slower span paths are measured too. Also a frame of small rotated
// additive particles, each queued twice, as the game's explosions draw.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "platform/video.h"
#include "platform/video_soft_raster_internal.h"

namespace {

constexpr int kSide = 1280, kWidth = 1024, kHeight = 768;
constexpr double kDegrees = 17.0;

// Opaque areas, alpha ramps and fully transparent blocks, in colour.
std::uint32_t picture_texel(int x, int y) {
  const int bx = x / 64, by = y / 64;
  unsigned a = 255;
  if ((bx + by) % 10 == 0) {
    a = 0;
  } else if (bx % 2 == 1) {
    a = static_cast<unsigned>(x * 7 + y * 3) & 255;
  }
  const unsigned r = static_cast<unsigned>(x * 255 / (kSide - 1));
  const unsigned g = static_cast<unsigned>(y * 255 / (kSide - 1));
  const unsigned b = static_cast<unsigned>(x ^ y) & 255;
  return (a << 24) | (r << 16) | (g << 8) | b;
}

std::vector<std::uint32_t> picture() {
  std::vector<std::uint32_t> p(static_cast<std::size_t>(kSide) * kSide);
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x)
      p[static_cast<std::size_t>(y) * kSide + x] = picture_texel(x, y);
  }
  return p;
}

PlatQuad rotated_quad(PlatTexture t, double degrees) {
  const double a = degrees * M_PI / 180.0;
  const float c = static_cast<float>(std::cos(a)), s = static_cast<float>(std::sin(a));
  PlatQuad q{};
  q.texture = t;
  q.src_right = q.src_bottom = kSide;
  q.centre_x = q.centre_y = kSide / 2.0f;
  q.m[0] = c, q.m[1] = s, q.m[2] = -s, q.m[3] = c;
  q.m[4] = kWidth / 2.0f, q.m[5] = kHeight / 2.0f;
  q.alpha = 255;
  q.src_blend = kBlendSrcAlpha;
  q.dst_blend = kBlendInvSrcAlpha;
  return q;
}

std::vector<std::uint32_t> g_soft_result, g_pixman_result;

// A headless device with the picture as a texture, drawing the rotated
// frame once per iteration; returns the device for a read-back.
PlatVideo* run_frames(benchmark::State& state, double degrees = kDegrees) {
  PlatVideo* v = plat_video_create(PlatVideoBackend::Soft, nullptr, kWidth, kHeight);
  const std::vector<std::uint32_t> pic = picture();
  PlatTexture t = plat_texture_create(v, kSide, kSide);
  plat_texture_upload(v, t, 0, 0, kSide, kSide, pic.data(), kSide);
  const PlatQuad q = rotated_quad(t, degrees);
  for (auto _ : state) {
    plat_video_begin_frame(v);  // the clear of colour and depth is counted too
    plat_video_draw_quad(v, q);
    plat_video_end_frame(v);
    benchmark::ClobberMemory();
  }
  return v;
}

// The device as it runs, on the fastest span code the processor allows.
void BM_SoftDevice(benchmark::State& state) {
  PlatVideo* v = run_frames(state);
  g_soft_result.resize(static_cast<std::size_t>(kWidth) * kHeight);
  plat_video_read_back(v, g_soft_result.data());
  plat_video_destroy(v);
}

// Steeper, as the game's background turns: each step of eight pixels
// reaches over more rows of the picture.
void BM_SoftDeviceSteep(benchmark::State& state) {
  plat_video_destroy(run_frames(state, 40.0));
}

// The same frame on each slower span path, as processors without AVX-512,
// AVX2 or SSE2 run it.
void BM_SoftPath(benchmark::State& state, SoftPath path) {
  if (!soft_path_available(path)) {
    state.SkipWithError("path not available here");
    return;
  }
  const SoftPath saved = soft_selected_path();
  soft_select_path(path);
  plat_video_destroy(run_frames(state));
  soft_select_path(saved);
}

void BM_Pixman(benchmark::State& state) {
  // pixman composites premultiplied colour.
  std::vector<std::uint32_t> pic = picture();
  for (std::uint32_t& p : pic) {
    const unsigned a = p >> 24;
    std::uint32_t out = a << 24;
    for (int sh = 0; sh < 24; sh += 8) out |= (((p >> sh) & 255) * a + 127) / 255 << sh;
    p = out;
  }
  std::vector<std::uint32_t> dst(static_cast<std::size_t>(kWidth) * kHeight, 0);
  pixman_image_t* src =
      pixman_image_create_bits(PIXMAN_a8r8g8b8, kSide, kSide, pic.data(), kSide * 4);
  pixman_image_t* out =
      pixman_image_create_bits(PIXMAN_x8r8g8b8, kWidth, kHeight, dst.data(), kWidth * 4);
  // Destination to source: the inverse rotation about the two centres.
  const double a = kDegrees * M_PI / 180.0, c = std::cos(a), s = std::sin(a);
  const double tx = kSide / 2.0 - (c * kWidth / 2.0 + s * kHeight / 2.0);
  const double ty = kSide / 2.0 - (-s * kWidth / 2.0 + c * kHeight / 2.0);
  pixman_transform_t tr;
  pixman_transform_init_identity(&tr);
  tr.matrix[0][0] = pixman_double_to_fixed(c);
  tr.matrix[0][1] = pixman_double_to_fixed(s);
  tr.matrix[0][2] = pixman_double_to_fixed(tx);
  tr.matrix[1][0] = pixman_double_to_fixed(-s);
  tr.matrix[1][1] = pixman_double_to_fixed(c);
  tr.matrix[1][2] = pixman_double_to_fixed(ty);
  pixman_image_set_transform(src, &tr);
  pixman_image_set_filter(src, PIXMAN_FILTER_BILINEAR, nullptr, 0);
  pixman_image_set_repeat(src, PIXMAN_REPEAT_PAD);
  for (auto _ : state) {
    std::fill(dst.begin(), dst.end(), 0u);  // the same clear as the device's frame
    pixman_image_composite32(PIXMAN_OP_OVER, src, nullptr, out, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
    benchmark::ClobberMemory();
  }
  g_pixman_result.assign(dst.begin(), dst.end());
  pixman_image_unref(src);
  pixman_image_unref(out);
}

// 3,400 soft round particles of 16, 12 and 8 texels, scaled by 1.2 and
// rotated, each drawn twice additively: many short rows, as in the game's
// explosions.
std::vector<std::uint32_t> particle(int side) {
  std::vector<std::uint32_t> p(static_cast<std::size_t>(side) * side);
  const double r = side / 2.0;
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const double d = std::hypot(x + 0.5 - r, y + 0.5 - r) / r;
      const auto a = static_cast<unsigned>(std::max(0.0, 1.0 - d) * 255.0);
      p[static_cast<std::size_t>(y) * side + x] = (a << 24) | 0x00F08030u;
    }
  }
  return p;
}

void BM_SoftParticles(benchmark::State& state) {
  PlatVideo* v = plat_video_create(PlatVideoBackend::Soft, nullptr, kWidth, kHeight);
  PlatTexture tex[3];
  const int sides[3] = {16, 12, 8};
  for (int i = 0; i < 3; ++i) {
    const std::vector<std::uint32_t> p = particle(sides[i]);
    tex[i] = plat_texture_create(v, sides[i], sides[i]);
    plat_texture_upload(v, tex[i], 0, 0, sides[i], sides[i], p.data(), sides[i]);
  }
  std::vector<PlatQuad> quads;
  for (int i = 0; i < 3400; ++i) {
    const int side = sides[i % 3];
    const double a = (i * 37 % 360) * M_PI / 180.0;
    const float c = static_cast<float>(1.2 * std::cos(a)),
                s = static_cast<float>(1.2 * std::sin(a));
    PlatQuad q{};
    q.texture = tex[i % 3];
    q.src_right = q.src_bottom = static_cast<float>(side);
    q.centre_x = q.centre_y = side / 2.0f;
    q.m[0] = c, q.m[1] = s, q.m[2] = -s, q.m[3] = c;
    q.m[4] = static_cast<float>(200 + (i * 7919) % 600) + 0.3f;
    q.m[5] = static_cast<float>(100 + (i * 104729) % 560) + 0.7f;
    q.alpha = static_cast<std::uint8_t>(40 + i % 216);
    q.src_blend = kBlendSrcAlpha;
    q.dst_blend = kBlendOne;
    quads.push_back(q);
  }
  for (auto _ : state) {
    plat_video_begin_frame(v);
    for (const PlatQuad& q : quads) {
      plat_video_draw_quad(v, q);
      plat_video_draw_quad(v, q);
    }
    plat_video_end_frame(v);
    benchmark::ClobberMemory();
  }
  plat_video_destroy(v);
}

BENCHMARK(BM_SoftDevice)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SoftDeviceSteep)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_SoftParticles)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Pixman)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_CAPTURE(BM_SoftPath, avx2, SoftPath::Avx2)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK_CAPTURE(BM_SoftPath, sse2, SoftPath::Sse2)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK_CAPTURE(BM_SoftPath, scalar, SoftPath::Scalar)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

// Keeps each benchmark's CPU and wall time per iteration for the ratios.
// Both run on one thread, so CPU time is the steadier figure on a shared
// machine.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> cpu_ms, wall_ms;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.run_type != Run::RT_Iteration) continue;
      const std::string name = r.benchmark_name().substr(0, r.benchmark_name().find('/'));
      cpu_ms[name] = r.GetAdjustedCPUTime();
      wall_ms[name] = r.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

// How far apart the two pictures are: they differ only by the rounding of
// straight against premultiplied blending and of the filter weights.
void print_agreement() {
  if (g_soft_result.empty() || g_soft_result.size() != g_pixman_result.size()) return;
  int max_diff = 0;
  double sum = 0;
  for (std::size_t i = 0; i < g_soft_result.size(); ++i) {
    for (int sh = 0; sh < 24; sh += 8) {
      const int d =
          std::abs(int((g_soft_result[i] >> sh) & 255) - int((g_pixman_result[i] >> sh) & 255));
      max_diff = std::max(max_diff, d);
      sum += d;
    }
  }
  std::printf("pictures: mean channel difference %.3f, max %d\n",
              sum / (3.0 * g_soft_result.size()), max_diff);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double ours = reporter.cpu_ms["BM_SoftDevice"], peer = reporter.cpu_ms["BM_Pixman"];
  if (ours > 0 && peer > 0) {
    std::printf("CPU per frame: soft device %.3f ms, pixman %.3f ms: %.2fx (target >= 1)\n", ours,
                peer, peer / ours);
    std::printf("wall per frame: soft device %.3f ms, pixman %.3f ms: %.2fx\n",
                reporter.wall_ms["BM_SoftDevice"], reporter.wall_ms["BM_Pixman"],
                reporter.wall_ms["BM_Pixman"] / reporter.wall_ms["BM_SoftDevice"]);
  }
  print_agreement();
  return 0;
}
