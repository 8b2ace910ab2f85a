// Runtime core against its standard-library peers, in one run:
// - lists: 100,000 particle-sized elements appended, walked and deleted
//   while walking, frame by frame as the game's particle pass does, against
//   std::list with the standard allocator;
// - rt_random bounded draws against std::mt19937 + uniform_int_distribution;
// - rt_str_from_long into the temporary buffer against snprintf.
// Prints the ratio (peer time / our time) for each.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <list>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/video_device.h"
#include "runtime/lists.h"
#include "runtime/maths.h"
#include "runtime/strings.h"

namespace {
// A particle as the game keeps it: 43 bytes.
struct __attribute__((packed)) Particle {
  float x, y, vx, vy;
  std::int32_t life;
  float alpha, size;
  char rest[15];
};
static_assert(sizeof(Particle) == 43);

constexpr int kRepetitions = 5;
constexpr int kTotal = 100'000;
constexpr int kPerFrame = 5'000;

// Lifetimes in frames, the same for both sides.
const std::vector<std::int32_t>& lifetimes() {
  static const std::vector<std::int32_t> lives = [] {
    std::mt19937 rng(42);
    std::vector<std::int32_t> v(kTotal);
    for (auto& life : v) life = 1 + static_cast<std::int32_t>(rng() % 8);
    return v;
  }();
  return lives;
}

inline bool update(Particle& p) {
  p.x += p.vx;
  p.y += p.vy;
  p.alpha -= 0.01f;
  return --p.life > 0;
}

inline Particle spawn(std::int32_t life, int k) {
  Particle p{};
  p.vx = static_cast<float>(k & 7);
  p.vy = 1.0f;
  p.life = life;
  p.alpha = 1.0f;
  return p;
}

void BM_ListParticles(benchmark::State& state) {
  const auto& lives = lifetimes();
  ListVar var{};
  rt_list_new(sizeof(Particle), &var, nullptr, kTagStruct);
  for (auto _ : state) {
    int spawned = 0;
    while (spawned < kTotal || rt_list_size(var.header) > 0) {
      rt_list_last(var.header);  // append behind the last element
      for (int k = 0; k < kPerFrame && spawned < kTotal; ++k, ++spawned)
        *static_cast<Particle*>(rt_list_add(var.header)) = spawn(lives[spawned], k);
      rt_list_reset(var.header);
      while (auto* p = static_cast<Particle*>(rt_list_next(var.header)))
        if (!update(*p)) rt_list_delete(var.header);
    }
  }
  rt_list_free(var.header);
  state.SetItemsProcessed(state.iterations() * kTotal);
}
BENCHMARK(BM_ListParticles)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

void BM_StdListParticles(benchmark::State& state) {
  const auto& lives = lifetimes();
  std::list<Particle> list;
  for (auto _ : state) {
    int spawned = 0;
    while (spawned < kTotal || !list.empty()) {
      for (int k = 0; k < kPerFrame && spawned < kTotal; ++k, ++spawned)
        list.push_back(spawn(lives[spawned], k));
      for (auto it = list.begin(); it != list.end();)
        it = update(*it) ? std::next(it) : list.erase(it);
    }
  }
  state.SetItemsProcessed(state.iterations() * kTotal);
}
BENCHMARK(BM_StdListParticles)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

constexpr int kDraws = 1'000'000;

void BM_RtRandom(benchmark::State& state) {
  rt_random_seed(1);
  for (auto _ : state) {
    std::uint32_t sum = 0;
    for (int k = 0; k < kDraws; ++k) sum += static_cast<std::uint32_t>(rt_random(359));
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kDraws);
}
BENCHMARK(BM_RtRandom)->Unit(benchmark::kMicrosecond)->Repetitions(kRepetitions);

void BM_Mt19937(benchmark::State& state) {
  std::mt19937 rng(1);
  std::uniform_int_distribution<int> dist(0, 359);
  for (auto _ : state) {
    std::uint32_t sum = 0;
    for (int k = 0; k < kDraws; ++k) sum += static_cast<std::uint32_t>(dist(rng));
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kDraws);
}
BENCHMARK(BM_Mt19937)->Unit(benchmark::kMicrosecond)->Repetitions(kRepetitions);

constexpr int kNumbers = 100'000;

// Scores, counters and negative offsets: a spread of lengths.
std::int32_t number(int k) {
  return (k * 7919) % 2'000'003 - (k & 1 ? 1'000'000 : 0);
}

void BM_StrFromLong(benchmark::State& state) {
  for (auto _ : state) {
    std::uint32_t sum = 0;
    for (int k = 0; k < kNumbers; ++k) {
      std::int32_t p0 = rt_str_position();
      rt_str_from_long(p0, number(k));
      sum += static_cast<unsigned char>(rt_str_base()[rt_str_position() - 1]);
      rt_str_set_position(p0);
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kNumbers);
}
BENCHMARK(BM_StrFromLong)->Unit(benchmark::kMicrosecond)->Repetitions(kRepetitions);

void BM_Snprintf(benchmark::State& state) {
  char buffer[32];
  for (auto _ : state) {
    std::uint32_t sum = 0;
    for (int k = 0; k < kNumbers; ++k) {
      int n = std::snprintf(buffer, sizeof buffer, "%d", number(k));
      sum += static_cast<unsigned char>(buffer[n - 1]);
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kNumbers);
}
BENCHMARK(BM_Snprintf)->Unit(benchmark::kMicrosecond)->Repetitions(kRepetitions);

// Keeps the median CPU time of each benchmark's repetitions: the machine
// is shared, and the median is the steadiest of the figures.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> seconds;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median" && !r.error_occurred)
        seconds[r.run_name.function_name] = r.GetAdjustedCPUTime();
    ConsoleReporter::ReportRuns(runs);
  }
};

void print_ratio(const char* what, double ours, double peer, double target) {
  if (ours <= 0 || peer <= 0) return;
  std::printf("%-58s %.2fx (target >= %.1fx)\n", what, peer / ours, target);
}
}  // namespace

int main(int argc, char** argv) {
  plat_video_tune_allocator();  // the game's allocator setting, for both sides
  rt_strings_init();
  rt_lists_init();
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto& s = reporter.seconds;
  std::printf("\nratios (peer CPU time / runtime CPU time, medians of %d runs):\n", kRepetitions);
  print_ratio("list particles vs std::list:", s["BM_ListParticles"], s["BM_StdListParticles"], 1.5);
  print_ratio("rt_random(359) vs mt19937 + uniform_int_distribution:", s["BM_RtRandom"],
              s["BM_Mt19937"], 2.0);
  print_ratio("rt_str_from_long vs snprintf:", s["BM_StrFromLong"], s["BM_Snprintf"], 2.0);
  return 0;
}
