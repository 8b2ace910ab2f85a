// Default-mode image blits of 1280 x 1280 pictures (24 onto 24 bits and 32
// onto 32 bits) through draw_image, beside memcpy of the same rows; prints
// the speed of each blit relative to memcpy.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "image/draw.h"
#include "image/image.h"
#include "runtime/heap.h"

namespace {

constexpr int kSize = 1280;

struct Pictures {
  std::intptr_t source = 0;
  std::intptr_t target = 0;
};

Pictures make_pictures(int depth) {
  if (!rt_main_heap) rt_main_heap = rt_heap_create();
  if (!img_objects()) img_init();
  Pictures p{img_create(-1, kSize, kSize, depth), img_create(-1, kSize, kSize, depth)};
  ImgBitmap* s = img_bitmap(p.source);
  for (int i = 0; i < s->pitch * s->height; ++i) s->pixels[i] = static_cast<std::uint8_t>(i * 7);
  return p;
}

void blit(benchmark::State& state, int depth) {
  const Pictures p = make_pictures(depth);
  const std::intptr_t tile = img_handle(p.source);
  draw_start(img_output(p.target));
  for (auto _ : state) {
    draw_image(tile, 0, 0);
    benchmark::ClobberMemory();
  }
  draw_stop();
  state.SetBytesProcessed(state.iterations() * std::int64_t{kSize} * kSize * (depth / 8));
  img_free(p.source);
  img_free(p.target);
}

void rows_memcpy(benchmark::State& state, int depth) {
  const Pictures p = make_pictures(depth);
  const ImgBitmap* s = img_bitmap(p.source);
  ImgBitmap* d = img_bitmap(p.target);
  const std::size_t row = static_cast<std::size_t>(kSize) * (depth / 8);
  for (auto _ : state) {
    for (int y = 0; y < kSize; ++y)
      std::memcpy(d->pixels + y * d->pitch, s->pixels + y * s->pitch, row);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * std::int64_t{kSize} * kSize * (depth / 8));
  img_free(p.source);
  img_free(p.target);
}

void BM_Blit24(benchmark::State& state) {
  blit(state, 24);
}
void BM_Memcpy24(benchmark::State& state) {
  rows_memcpy(state, 24);
}
void BM_Blit32(benchmark::State& state) {
  blit(state, 32);
}
void BM_Memcpy32(benchmark::State& state) {
  rows_memcpy(state, 32);
}
BENCHMARK(BM_Blit24)->Unit(benchmark::kMicrosecond)->Repetitions(5);
BENCHMARK(BM_Memcpy24)->Unit(benchmark::kMicrosecond)->Repetitions(5);
BENCHMARK(BM_Blit32)->Unit(benchmark::kMicrosecond)->Repetitions(5);
BENCHMARK(BM_Memcpy32)->Unit(benchmark::kMicrosecond)->Repetitions(5);

// Keeps the best processor time per iteration of each benchmark over its
// repetitions: the other processes on the machine only ever add time.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.run_type != Run::RT_Iteration || r.iterations <= 0) continue;
      const double t = r.cpu_accumulated_time / static_cast<double>(r.iterations);
      const std::string name = r.run_name.function_name;
      if (!seconds.count(name) || t < seconds[name]) seconds[name] = t;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> seconds;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const char* depth : {"24", "32"}) {
    const std::string blit_name = std::string("BM_Blit") + depth;
    const std::string copy_name = std::string("BM_Memcpy") + depth;
    if (!reporter.seconds.count(blit_name) || !reporter.seconds.count(copy_name)) continue;
    const double ratio = reporter.seconds[copy_name] / reporter.seconds[blit_name];
    std::printf("%s-bit blit speed / memcpy speed (best of 5): %.2fx (target >= 0.8x)\n", depth,
                ratio);
  }
  benchmark::Shutdown();
  return 0;
}
