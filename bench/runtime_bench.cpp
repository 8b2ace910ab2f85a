// Runtime core against its standard-library peers, in one run:
// - lists: 100,000 particle-sized elements appended, walked and deleted
//   while walking, frame by frame as the game's particle pass does, against
//   std::list with the standard allocator;
// - rt_random bounded draws against std::mt19937 + uniform_int_distribution;
// - rt_str_from_long into the temporary buffer against snprintf.
// Prints the ratio (peer time / our time) for each, from runs of the two
// sides that alternate.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <list>
#include <random>
#include <vector>

#include "platform/heap_tuning.h"
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

constexpr int kRounds = 21;
constexpr int kTotal = 100'000;

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

// One run of the particle pattern: frames that append a burst, then walk
// the whole list and delete the particles that died (each lives 1 to 8
// frames), until all 100,000 have come and gone.
void run_rt_list(ListVar& var, int burst) {
  const auto& lives = lifetimes();
  int spawned = 0;
  while (spawned < kTotal || rt_list_size(var.header) > 0) {
    rt_list_last(var.header);  // append behind the last element
    for (int k = 0; k < burst && spawned < kTotal; ++k, ++spawned)
      *static_cast<Particle*>(rt_list_add(var.header)) = spawn(lives[spawned], k);
    rt_list_reset(var.header);
    while (auto* p = static_cast<Particle*>(rt_list_next(var.header)))
      if (!update(*p)) rt_list_delete(var.header);
  }
}

void run_std_list(std::list<Particle>& list, int burst) {
  const auto& lives = lifetimes();
  int spawned = 0;
  while (spawned < kTotal || !list.empty()) {
    for (int k = 0; k < burst && spawned < kTotal; ++k, ++spawned)
      list.push_back(spawn(lives[spawned], k));
    for (auto it = list.begin(); it != list.end();)
      it = update(*it) ? std::next(it) : list.erase(it);
  }
}

constexpr int kDraws = 1'000'000;

std::uint32_t run_rt_random() {
  std::uint32_t sum = 0;
  for (int k = 0; k < kDraws; ++k) sum += static_cast<std::uint32_t>(rt_random(359));
  return sum;
}

std::uint32_t run_mt19937(std::mt19937& rng) {
  std::uniform_int_distribution<int> dist(0, 359);
  std::uint32_t sum = 0;
  for (int k = 0; k < kDraws; ++k) sum += static_cast<std::uint32_t>(dist(rng));
  return sum;
}

constexpr int kNumbers = 100'000;

// Scores, counters and negative offsets: a spread of lengths.
std::int32_t number(int k) {
  return (k * 7919) % 2'000'003 - (k & 1 ? 1'000'000 : 0);
}

std::uint32_t run_from_long() {
  std::uint32_t sum = 0;
  for (int k = 0; k < kNumbers; ++k) {
    std::int32_t p0 = rt_str_position();
    rt_str_from_long(p0, number(k));
    sum += static_cast<unsigned char>(rt_str_base()[rt_str_position() - 1]);
    rt_str_set_position(p0);
  }
  return sum;
}

std::uint32_t run_snprintf() {
  char buffer[32];
  std::uint32_t sum = 0;
  for (int k = 0; k < kNumbers; ++k) {
    int n = std::snprintf(buffer, sizeof buffer, "%d", number(k));
    sum += static_cast<unsigned char>(buffer[n - 1]);
  }
  return sum;
}

void BM_ListParticles(benchmark::State& state) {
  ListVar var{};
  rt_list_new(sizeof(Particle), &var, nullptr, kTagStruct);
  for (auto _ : state) run_rt_list(var, static_cast<int>(state.range(0)));
  rt_list_free(var.header);
  state.SetItemsProcessed(state.iterations() * kTotal);
}
BENCHMARK(BM_ListParticles)->Arg(kTotal)->Arg(5000)->Arg(100)->Unit(benchmark::kMillisecond);

void BM_StdListParticles(benchmark::State& state) {
  std::list<Particle> list;
  for (auto _ : state) run_std_list(list, static_cast<int>(state.range(0)));
  state.SetItemsProcessed(state.iterations() * kTotal);
}
BENCHMARK(BM_StdListParticles)->Arg(kTotal)->Arg(5000)->Arg(100)->Unit(benchmark::kMillisecond);

void BM_RtRandom(benchmark::State& state) {
  rt_random_seed(1);
  for (auto _ : state) benchmark::DoNotOptimize(run_rt_random());
  state.SetItemsProcessed(state.iterations() * kDraws);
}
BENCHMARK(BM_RtRandom)->Unit(benchmark::kMicrosecond);

void BM_Mt19937(benchmark::State& state) {
  std::mt19937 rng(1);
  for (auto _ : state) benchmark::DoNotOptimize(run_mt19937(rng));
  state.SetItemsProcessed(state.iterations() * kDraws);
}
BENCHMARK(BM_Mt19937)->Unit(benchmark::kMicrosecond);

void BM_StrFromLong(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(run_from_long());
  state.SetItemsProcessed(state.iterations() * kNumbers);
}
BENCHMARK(BM_StrFromLong)->Unit(benchmark::kMicrosecond);

void BM_Snprintf(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(run_snprintf());
  state.SetItemsProcessed(state.iterations() * kNumbers);
}
BENCHMARK(BM_Snprintf)->Unit(benchmark::kMicrosecond);

double thread_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

template <typename F>
double timed(F&& f) {
  double start = thread_seconds();
  f();
  return thread_seconds() - start;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The machine is shared: runs of ours and the peer alternate, each timed in
// this thread's CPU time, and the medians are compared.
template <typename Ours, typename Peer>
void print_ratio(const char* what, double target, Ours&& ours, Peer&& peer) {
  std::vector<double> a;
  std::vector<double> b;
  for (int round = 0; round < kRounds; ++round) {
    if (round % 2) {
      a.push_back(timed(ours));
      b.push_back(timed(peer));
    } else {
      b.push_back(timed(peer));
      a.push_back(timed(ours));
    }
  }
  double ma = median(a);
  double mb = median(b);
  std::printf("%-58s %8.3f ms vs %8.3f ms: %.2fx", what, ma * 1e3, mb * 1e3, mb / ma);
  if (target > 0) std::printf(" (target >= %.1fx)", target);
  std::printf("\n");
}
}  // namespace

int main(int argc, char** argv) {
  plat_heap_tune_allocator();  // the game's allocator setting, for both sides
  rt_strings_init();
  rt_lists_init();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();

  std::printf("\nratios (peer / runtime, medians of %d alternating runs, thread CPU time):\n",
              kRounds);
  ListVar var{};
  rt_list_new(sizeof(Particle), &var, nullptr, kTagStruct);
  std::list<Particle> list;
  print_ratio(
      "list: 100,000 appended, walked and deleted vs std::list:", 1.5,
      [&] { run_rt_list(var, kTotal); }, [&] { run_std_list(list, kTotal); });
  // The same with smaller bursts: fewer elements live at once, so more of
  // the list stays in the cache and the allocator matters less.
  print_ratio(
      "  bursts of 5,000 (about 22,000 live):", 0, [&] { run_rt_list(var, 5000); },
      [&] { run_std_list(list, 5000); });
  print_ratio(
      "  bursts of 100 (about 450 live, cache-resident):", 0, [&] { run_rt_list(var, 100); },
      [&] { run_std_list(list, 100); });
  rt_list_free(var.header);
  std::mt19937 rng(1);
  rt_random_seed(1);
  print_ratio(
      "rt_random(359) vs mt19937 + uniform_int_distribution:", 2.0,
      [] { benchmark::DoNotOptimize(run_rt_random()); },
      [&] { benchmark::DoNotOptimize(run_mt19937(rng)); });
  print_ratio(
      "rt_str_from_long vs snprintf:", 2.0, [] { benchmark::DoNotOptimize(run_from_long()); },
      [] { benchmark::DoNotOptimize(run_snprintf()); });
  return 0;
}
