// The gl device beside SDL2's own OpenGL renderer on the same driver: the
// main thread's CPU time per frame to submit and flush 20,000 rotated,
// alpha-modulated 16 × 16 quads over 60 textures and 3 blend modes, once
// grouped by texture and blend (the sprite pass's order) and once
// interleaved. Both draw off-screen into 1024 × 768 and run with the same
// allocator setting. Prints the ratios, and the CPU time the device's
// render thread spent on the driver calls, which SDL makes on the caller's
// thread.
#include <SDL2/SDL.h>
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/video.h"
#include "platform/heap_tuning.h"
#include "platform/video_device_internal.h"

namespace {

constexpr int kQuads = 20000, kTextures = 60, kSide = 16, kWidth = 1024, kHeight = 768;

struct Sprite {
  int texture, blend;  // blend: 0 alpha, 1 additive, 2 modulate
  float x, y, degrees;
  std::uint8_t alpha;
};

// The same pair of blend factors on both sides.
constexpr int kPlatBlends[3][2] = {
    {kBlendSrcAlpha, kBlendInvSrcAlpha}, {kBlendSrcAlpha, kBlendOne}, {kBlendZero, kBlendSrcColor}};
constexpr SDL_BlendMode kSdlBlends[3] = {SDL_BLENDMODE_BLEND, SDL_BLENDMODE_ADD, SDL_BLENDMODE_MOD};

std::vector<Sprite> make_sprites(bool grouped) {
  std::mt19937 rng(12345);
  std::vector<Sprite> s(kQuads);
  int texture = 0, blend = 0;
  for (Sprite& q : s) {
    // Interleaved order keeps the previous texture and blend a third of
    // the time, as neighbouring draws of a game often do.
    if (rng() % 100 >= 35) {
      texture = static_cast<int>(rng() % kTextures);
      blend = static_cast<int>(rng() % 3);
    }
    q = {texture,
         blend,
         static_cast<float>(rng() % (kWidth - kSide)),
         static_cast<float>(rng() % (kHeight - kSide)),
         static_cast<float>(rng() % 360),
         static_cast<std::uint8_t>(64 + rng() % 192)};
  }
  if (grouped) {
    std::stable_sort(s.begin(), s.end(), [](const Sprite& a, const Sprite& b) {
      return a.texture != b.texture ? a.texture < b.texture : a.blend < b.blend;
    });
  }
  return s;
}

int batches(const std::vector<Sprite>& s) {
  int n = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    n += i == 0 || s[i].texture != s[i - 1].texture || s[i].blend != s[i - 1].blend;
  }
  return n;
}

std::vector<std::uint32_t> texels(int i) {
  std::vector<std::uint32_t> t(kSide * kSide);
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      const unsigned a = (x + y) % 5 == 0 ? 0 : 255 - 8 * ((x * y) % 16);
      t[y * kSide + x] = (a << 24) | (unsigned(i * 4) << 16) | (unsigned(x * 16) << 8) | (y * 16);
    }
  }
  return t;
}

double thread_cpu_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

void BM_GlDevice(benchmark::State& state) {
  const std::vector<Sprite> sprites = make_sprites(state.range(0) == 1);
  PlatVideo* v = plat_video_create(PlatVideoBackend::GL, nullptr, kWidth, kHeight);
  if (v == nullptr) {
    state.SkipWithError(plat_video_last_error());
    return;
  }
  PlatTexture tex[kTextures];
  for (int i = 0; i < kTextures; ++i) {
    tex[i] = plat_texture_create(v, kSide, kSide);
    plat_texture_upload(v, tex[i], 0, 0, kSide, kSide, texels(i).data(), kSide);
  }
  const double render_start = plat_video_render_thread_seconds(v);
  std::int64_t frames = 0;
  for (auto _ : state) {
    const double start = thread_cpu_seconds();
    ++frames;
    plat_video_begin_frame(v);
    for (const Sprite& s : sprites) {
      const float a = s.degrees * 0.017453292f, c = std::cos(a), n = std::sin(a);
      PlatQuad q{tex[s.texture],
                 0,
                 0,
                 kSide,
                 kSide,
                 kSide / 2.0f,
                 kSide / 2.0f,
                 {c, n, -n, c, s.x + kSide / 2.0f, s.y + kSide / 2.0f},
                 0.0f,
                 s.alpha,
                 kPlatBlends[s.blend][0],
                 kPlatBlends[s.blend][1]};
      plat_video_draw_quad(v, q);
    }
    plat_video_end_frame(v);
    plat_video_finish(v);
    state.SetIterationTime(thread_cpu_seconds() - start);
  }
  state.counters["batches"] = batches(sprites);
  // The driver work the render thread took off the caller, per frame.
  state.counters["render_ms"] =
      (plat_video_render_thread_seconds(v) - render_start) * 1e3 / double(frames ? frames : 1);
  plat_video_destroy(v);
}

struct SdlPeer {
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* target = nullptr;
  SDL_Texture* tex[kTextures] = {};
  ~SdlPeer() {
    for (SDL_Texture* t : tex) {
      if (t) SDL_DestroyTexture(t);
    }
    if (target) SDL_DestroyTexture(target);
    if (renderer) SDL_DestroyRenderer(renderer);
    if (window) SDL_DestroyWindow(window);
  }
};

void BM_SdlRenderer(benchmark::State& state) {
  const std::vector<Sprite> sprites = make_sprites(state.range(0) == 1);
  SDL_GL_ResetAttributes();  // SDL's renderer makes its own (compatibility) context
  SDL_SetHint(SDL_HINT_RENDER_DRIVER, "opengl");
  SDL_SetHint(SDL_HINT_RENDER_BATCHING, "1");
  SdlPeer p;
  p.window = SDL_CreateWindow("", 0, 0, kWidth, kHeight, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (p.window) p.renderer = SDL_CreateRenderer(p.window, -1, SDL_RENDERER_ACCELERATED);
  if (p.renderer == nullptr) {
    state.SkipWithError(SDL_GetError());
    return;
  }
  p.target = SDL_CreateTexture(p.renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_TARGET,
                               kWidth, kHeight);
  SDL_SetRenderTarget(p.renderer, p.target);
  for (int i = 0; i < kTextures; ++i) {
    p.tex[i] = SDL_CreateTexture(p.renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC,
                                 kSide, kSide);
    SDL_UpdateTexture(p.tex[i], nullptr, texels(i).data(), kSide * 4);
    SDL_SetTextureScaleMode(p.tex[i], SDL_ScaleModeLinear);
  }
  for (auto _ : state) {
    const double start = thread_cpu_seconds();
    SDL_SetRenderDrawColor(p.renderer, 0, 0, 0, 255);
    SDL_RenderClear(p.renderer);
    for (const Sprite& s : sprites) {
      SDL_Texture* t = p.tex[s.texture];
      SDL_SetTextureBlendMode(t, kSdlBlends[s.blend]);
      SDL_SetTextureAlphaMod(t, s.alpha);
      const SDL_FRect dst{s.x, s.y, kSide, kSide};
      SDL_RenderCopyExF(p.renderer, t, nullptr, &dst, s.degrees, nullptr, SDL_FLIP_NONE);
    }
    SDL_RenderFlush(p.renderer);
    glFinish();  // SDL's context is current
    state.SetIterationTime(thread_cpu_seconds() - start);
  }
  state.counters["batches"] = batches(sprites);
}

BENCHMARK(BM_GlDevice)
    ->Arg(1)
    ->Arg(0)
    ->UseManualTime()
    ->Iterations(40)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SdlRenderer)
    ->Arg(1)
    ->Arg(0)
    ->UseManualTime()
    ->Iterations(40)
    ->Unit(benchmark::kMillisecond);

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> ms;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.run_type == Run::RT_Iteration && !r.error_occurred) {
        ms[r.benchmark_name()] = r.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  plat_heap_tune_allocator();  // the gl device's setting, for both sides
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    std::printf("no video: %s\n", SDL_GetError());
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  // Names look like "BM_GlDevice/1/iterations:40/manual_time".
  auto time_of = [&](const std::string& prefix) {
    for (const auto& [name, ms] : reporter.ms) {
      if (name.rfind(prefix, 0) == 0) return ms;
    }
    return 0.0;
  };
  const char* orders[2][2] = {{"1", "grouped"}, {"0", "interleaved"}};
  for (const auto& o : orders) {
    const double ours = time_of(std::string("BM_GlDevice/") + o[0] + "/");
    const double sdl = time_of(std::string("BM_SdlRenderer/") + o[0] + "/");
    if (ours > 0 && sdl > 0) {
      std::printf(
          "%-11s: gl device %.3f ms, SDL renderer %.3f ms main-thread CPU per frame: %.2fx%s\n",
          o[1], ours, sdl, sdl / ours, std::string(o[1]) == "grouped" ? " (target >= 5x)" : "");
    }
  }
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  return 0;
}
