// The engine's sprite pass and collision test.
// - Render: the main thread's CPU time of eng_render for a frame of 8,000
//   queued draws over 60 (and 240) sprites on the gl device, beside the same
//   frame drawn by the queue walk that visits the whole queue once per
//   sprite. Both draw the same quads in the same order on the same device.
// - Collision: 1,000 mode-3 tests among 16 × 16 sprites, half of them with
//   overlapping boxes, per frame: the time per test, beside the same tests
//   with the collision pictures rendered again for every test.
// Prints the ratios.
#include <benchmark/benchmark.h>
#include <time.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/objects_internal.h"
#include "engine/state_internal.h"
#include "image/image.h"
#include "platform/video.h"
#include "platform/heap_tuning.h"
#include "runtime/arrays.h"
#include "runtime/heap.h"
#include "runtime/lists.h"
#include "runtime/memory.h"
#include "runtime/strings.h"

namespace {

constexpr int kDraws = 8000, kSide = 16, kWidth = 1024, kHeight = 768;
constexpr int kTests = 1000, kCollisionSprites = 16;

double thread_cpu_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// The engine on a device of its own, as eng_screen_open leaves it.
struct Engine {
  PlatVideo* video = nullptr;
  explicit Engine(PlatVideoBackend backend) {
    static const bool started = [] {
      if (!rt_main_heap) rt_main_heap = rt_heap_create();
      rt_strings_init();
      rt_lists_init();
      rt_memory_init();
      rt_arrays_init();
      img_decoders_init();
      img_init();
      return true;
    }();
    (void)started;
    video = plat_video_create(backend, nullptr, kWidth, kHeight);
    g_engine.screen.video = video;
    g_engine.screen.width = kWidth;
    g_engine.screen.height = kHeight;
    g_engine.screen.device_status = 0;
    g_engine.screen.frame_time = 1.0f / 60.0f;
    eng_object_lists_reset();
  }
  ~Engine() {
    eng_object_lists_reset();
    g_engine.screen.video = nullptr;
    if (video) plat_video_destroy(video);
  }
};

// A 16 × 16 sprite: a disc of colour i with a soft edge, transparent outside.
EngHandle disc_sprite(int i) {
  const EngHandle texture = eng_texture_create(kSide, kSide);
  auto* t = reinterpret_cast<TextureRecord*>(texture);
  if (!t) return 0;
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      const float d = std::hypot(x + 0.5f - kSide / 2.0f, y + 0.5f - kSide / 2.0f);
      const unsigned a = d < 6.5f ? 255u : d < 8.0f ? 128u : 0u;
      t->texels[y * kSide + x] =
          a << 24 | unsigned(40 + i * 3) << 16 | unsigned(x * 16) << 8 | unsigned(y * 16);
    }
  eng_texture_upload(t);
  return eng_sprite_create(texture);
}

struct Draw {
  int sprite, x, y, alpha;
  float degrees;
};

std::vector<Draw> make_draws(int sprites) {
  std::mt19937 rng(4321);
  std::vector<Draw> draws(kDraws);
  for (Draw& d : draws)
    d = {static_cast<int>(rng() % sprites), static_cast<int>(rng() % (kWidth - kSide)),
         static_cast<int>(rng() % (kHeight - kSide)), static_cast<int>(64 + rng() % 192),
         static_cast<float>(rng() % 360)};
  return draws;
}

// The pass as first described: for every sprite the whole queue is walked,
// and its entries are drawn and deleted on the way.
void walk_queue_pass() {
  ListHeader* sprites = g_engine.sprites.header;
  ListHeader* queue = g_engine.draw_queue.header;
  PlatVideo* video = g_engine.screen.video;
  rt_list_reset(sprites);
  while (auto* sprite = static_cast<SpriteRecord*>(rt_list_next(sprites))) {
    sprite->collision.cache_valid = 0;
    bool first = true;
    rt_list_reset(queue);
    while (auto* entry = static_cast<SpriteDrawEntry*>(rt_list_next(queue))) {
      if (entry->sprite != reinterpret_cast<EngHandle>(sprite)) continue;
      plat_video_draw_quad(video, eng_sprite_entry_quad(*sprite, *entry));
      if (first && sprite->speed > 0.0f) eng_sprite_advance(*sprite, g_engine.screen.frame_time);
      first = false;
      rt_list_delete(queue);
    }
    sprite->queue_first = sprite->queue_last = nullptr;
  }
}

void render_walking_the_queue() {
  PlatVideo* video = g_engine.screen.video;
  plat_video_begin_frame(video);
  walk_queue_pass();
  eng_text_pass();
  eng_box_pass();
  plat_video_end_frame(video);
}

// range(0): sprites; range(1): 1 = eng_render, 0 = the queue walk.
void BM_RenderFrame(benchmark::State& state) {
  Engine engine(PlatVideoBackend::GL);
  if (!engine.video) {
    state.SkipWithError(plat_video_last_error());
    return;
  }
  const int count = static_cast<int>(state.range(0));
  std::vector<EngHandle> sprites;
  for (int i = 0; i < count; ++i) sprites.push_back(disc_sprite(i));
  const std::vector<Draw> draws = make_draws(count);
  for (auto _ : state) {
    for (const Draw& d : draws) {
      eng_sprite_set_angle(sprites[d.sprite], d.degrees);
      eng_sprite_draw(sprites[d.sprite], d.x, d.y, d.alpha);
    }
    const double start = thread_cpu_seconds();
    if (state.range(1) == 1)
      eng_render();
    else
      render_walking_the_queue();
    state.SetIterationTime(thread_cpu_seconds() - start);
    plat_video_finish(engine.video);
  }
}

// The same frames without a device to draw on: what the pass itself costs,
// quads built but not submitted.
void BM_PassOnly(benchmark::State& state) {
  Engine engine(PlatVideoBackend::Soft);
  const int count = static_cast<int>(state.range(0));
  std::vector<EngHandle> sprites;
  for (int i = 0; i < count; ++i) sprites.push_back(disc_sprite(i));
  const std::vector<Draw> draws = make_draws(count);
  g_engine.screen.video = nullptr;
  for (auto _ : state) {
    for (const Draw& d : draws) eng_sprite_draw(sprites[d.sprite], d.x, d.y, d.alpha);
    const double start = thread_cpu_seconds();
    if (state.range(1) == 1)
      eng_sprite_pass();
    else
      walk_queue_pass();
    state.SetIterationTime(thread_cpu_seconds() - start);
  }
  g_engine.screen.video = engine.video;
}

struct Test {
  int a, b, xa, ya, xb, yb;
};

// Half the pairs have overlapping boxes (their corners less than 16 apart
// on both axes), half are apart.
std::vector<Test> make_tests() {
  std::mt19937 rng(99);
  std::vector<Test> tests(kTests);
  for (int i = 0; i < kTests; ++i) {
    Test& t = tests[i];
    t.a = static_cast<int>(rng() % kCollisionSprites);
    t.b = static_cast<int>(rng() % kCollisionSprites);
    t.xa = static_cast<int>(rng() % 900);
    t.ya = static_cast<int>(rng() % 700);
    const bool near = i % 2 == 0;
    t.xb = t.xa + (near ? static_cast<int>(rng() % 31) - 15 : 40 + static_cast<int>(rng() % 60));
    t.yb = t.ya + (near ? static_cast<int>(rng() % 31) - 15 : static_cast<int>(rng() % 31) - 15);
  }
  return tests;
}

// range(0): 1 = pictures cached for the frame, 0 = rendered for every test.
void BM_Collide(benchmark::State& state) {
  Engine engine(PlatVideoBackend::Soft);
  std::vector<EngHandle> sprites;
  for (int i = 0; i < kCollisionSprites; ++i) {
    sprites.push_back(disc_sprite(i));
    eng_sprite_set_angle(sprites.back(), static_cast<float>(i * 23));
  }
  const std::vector<Test> tests = make_tests();
  const bool cached = state.range(0) == 1;
  int hits = 0;
  for (auto _ : state) {
    eng_sprite_pass();  // a new frame: every picture is stale
    hits = 0;
    for (const Test& t : tests) {
      if (!cached) {
        reinterpret_cast<SpriteRecord*>(sprites[t.a])->collision.cache_valid = 0;
        reinterpret_cast<SpriteRecord*>(sprites[t.b])->collision.cache_valid = 0;
      }
      hits += eng_sprite_collide(sprites[t.a], t.xa, t.ya, sprites[t.b], t.xb, t.yb, 3);
    }
    benchmark::DoNotOptimize(hits);
  }
  state.counters["hits"] = hits;
  state.SetItemsProcessed(state.iterations() * kTests);
}

BENCHMARK(BM_RenderFrame)
    ->Args({60, 1})
    ->Args({60, 0})
    ->Args({240, 1})
    ->Args({240, 0})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PassOnly)
    ->Args({60, 1})
    ->Args({60, 0})
    ->Args({240, 1})
    ->Args({240, 0})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Collide)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> seconds;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Iteration && !r.error_occurred && r.iterations > 0)
        seconds[r.benchmark_name()] =
            (r.benchmark_name().find("manual_time") != std::string::npos ? r.real_accumulated_time
                                                                         : r.cpu_accumulated_time) /
            static_cast<double>(r.iterations);
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  plat_heap_tune_allocator();  // the gl device's setting, for both sides
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto& s = reporter.seconds;
  for (const char* count : {"60", "240"}) {
    const double ours = s[std::string("BM_RenderFrame/") + count + "/1/manual_time"];
    const double walk = s[std::string("BM_RenderFrame/") + count + "/0/manual_time"];
    if (ours > 0 && walk > 0)
      std::printf(
          "%d draws over %s sprites: eng_render %.3f ms, queue walk per sprite %.3f ms CPU "
          "per frame: %.2fx\n",
          kDraws, count, ours * 1e3, walk * 1e3, walk / ours);
  }
  for (const char* count : {"60", "240"}) {
    const double ours = s[std::string("BM_PassOnly/") + count + "/1/manual_time"];
    const double walk = s[std::string("BM_PassOnly/") + count + "/0/manual_time"];
    if (ours > 0 && walk > 0)
      std::printf("  the pass alone, %s sprites: %.3f ms, queue walk %.3f ms: %.2fx\n", count,
                  ours * 1e3, walk * 1e3, walk / ours);
  }
  const double cached = s["BM_Collide/1"], uncached = s["BM_Collide/0"];
  if (cached > 0 && uncached > 0)
    std::printf(
        "mode-3 collision: %.3f us per test (pictures rendered for every test: %.3f us): %.2fx\n",
        cached / kTests * 1e6, uncached / kTests * 1e6, uncached / cached);
  return 0;
}
