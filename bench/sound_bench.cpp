// Sound benchmarks. Whole decoding of a two-minute 44.1 kHz stereo OGG file
// through snd_load, beside a bare ov_read loop that decodes the same file
// into memory of its own; and the mixer's processor time for 32 playing
// channels per second of output.
#define OV_EXCLUDE_STATIC_CALLBACKS
#include <benchmark/benchmark.h>
#include <vorbis/vorbisfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/audio.h"
#include "sound/sound.h"

namespace {
constexpr int kRate = 44100;
constexpr int kSeconds = 120;
std::string g_ogg;

void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  std::memcpy(b.data() + at, &v, 4);
}

// A WAV image of interleaved 16-bit stereo samples.
std::vector<std::uint8_t> wav_of(const std::vector<std::int16_t>& s, int rate) {
  std::vector<std::uint8_t> b(44 + s.size() * 2);
  std::memcpy(b.data(), "RIFF\0\0\0\0WAVEfmt ", 16);
  put32(b, 4, static_cast<std::uint32_t>(b.size() - 8));
  put32(b, 16, 16);
  put32(b, 20, 1 | (2 << 16));
  put32(b, 24, static_cast<std::uint32_t>(rate));
  put32(b, 28, static_cast<std::uint32_t>(rate * 4));
  put32(b, 32, 4 | (16 << 16));
  std::memcpy(b.data() + 36, "data", 4);
  put32(b, 40, static_cast<std::uint32_t>(s.size() * 2));
  std::memcpy(b.data() + 44, s.data(), s.size() * 2);
  return b;
}

// Music-like material: a few drifting tones with a little noise.
std::vector<std::int16_t> signal(int frames, int rate) {
  std::vector<std::int16_t> s(static_cast<std::size_t>(frames) * 2);
  std::uint32_t noise = 1;
  for (int i = 0; i < frames; ++i) {
    double t = static_cast<double>(i) / rate;
    for (int c = 0; c < 2; ++c) {
      noise = noise * 1664525u + 1013904223u;
      double v = 6000 * std::sin(2 * M_PI * (220 + 30 * std::sin(t * 0.5) + 2 * c) * t) +
                 4000 * std::sin(2 * M_PI * 659.3 * t * (1 + 0.001 * c)) +
                 2500 * std::sin(2 * M_PI * 1760 * t) * std::sin(t * 3) +
                 static_cast<double>(static_cast<std::int32_t>(noise >> 20) - 2048);
      s[static_cast<std::size_t>(i) * 2 + c] = static_cast<std::int16_t>(v);
    }
  }
  return s;
}

bool make_music() {
  const std::string wav = "/tmp/sound_bench_music.wav";
  g_ogg = "/tmp/sound_bench_music.ogg";
  auto image = wav_of(signal(kRate * kSeconds, kRate), kRate);
  std::FILE* f = std::fopen(wav.c_str(), "wb");
  if (!f) return false;
  std::fwrite(image.data(), 1, image.size(), f);
  std::fclose(f);
  std::string cmd = "oggenc -Q -q 4 -o " + g_ogg + " " + wav;
  bool ok = std::system(cmd.c_str()) == 0;
  std::remove(wav.c_str());
  return ok;
}

// Load and free, as the peer allocates and frees its PCM each time.
void BM_SndLoadWhole(benchmark::State& state) {
  for (auto _ : state) {
    RtHandle h = snd_load(-1, g_ogg.c_str());
    if (!h) state.SkipWithError("snd_load failed");
    snd_free(h);
  }
}

// The peer: open, allocate the PCM, ov_read in 4096-byte pieces, close.
void BM_BareOvRead(benchmark::State& state) {
  for (auto _ : state) {
    OggVorbis_File vf;
    if (ov_fopen(g_ogg.c_str(), &vf) < 0) state.SkipWithError("ov_fopen failed");
    std::size_t bytes = static_cast<std::size_t>(ov_pcm_total(&vf, -1)) * 4;
    auto* pcm = static_cast<char*>(std::malloc(bytes));
    std::size_t done = 0;
    int bitstream = 0;
    while (done < bytes) {
      long n = ov_read(&vf, pcm + done, static_cast<int>(std::min<std::size_t>(4096, bytes - done)),
                       0, 2, 1, &bitstream);
      if (n == 0) break;
      if (n > 0) done += static_cast<std::size_t>(n);
    }
    benchmark::DoNotOptimize(pcm);
    std::free(pcm);
    ov_clear(&vf);
  }
}

// 32 channels of a one-second sound, looping; state.range(0) is its rate.
void BM_Mix32Channels(benchmark::State& state) {
  const int rate = static_cast<int>(state.range(0));
  auto image = wav_of(signal(rate, rate), rate);
  snd_catch_memory(2, image.data(), static_cast<std::uint32_t>(image.size()));
  for (int i = 0; i < 32; ++i) snd_play(2, kSndNewChannel | kSndLoop, 50 + i);
  std::vector<std::int16_t> out(1024 * 2);
  for (auto _ : state) {
    for (int done = 0; done < kRate; done += 1024) plat_audio_render(out.data(), 1024);
    benchmark::DoNotOptimize(out.data());
  }
  snd_free(2);
}

// The pair runs five times, interleaved, so that a change in the load of a
// shared machine falls on both sides; the best time of each side counts.
BENCHMARK(BM_SndLoadWhole)->Name("SndLoadWhole/1")->Unit(benchmark::kMillisecond)->MinTime(0.6);
BENCHMARK(BM_BareOvRead)->Name("BareOvRead/1")->Unit(benchmark::kMillisecond)->MinTime(0.6);
BENCHMARK(BM_SndLoadWhole)->Name("SndLoadWhole/2")->Unit(benchmark::kMillisecond)->MinTime(0.6);
BENCHMARK(BM_BareOvRead)->Name("BareOvRead/2")->Unit(benchmark::kMillisecond)->MinTime(0.6);
BENCHMARK(BM_SndLoadWhole)->Name("SndLoadWhole/3")->Unit(benchmark::kMillisecond)->MinTime(0.6);
BENCHMARK(BM_BareOvRead)->Name("BareOvRead/3")->Unit(benchmark::kMillisecond)->MinTime(0.6);
BENCHMARK(BM_SndLoadWhole)->Name("SndLoadWhole/4")->Unit(benchmark::kMillisecond)->MinTime(0.6);
BENCHMARK(BM_BareOvRead)->Name("BareOvRead/4")->Unit(benchmark::kMillisecond)->MinTime(0.6);
BENCHMARK(BM_SndLoadWhole)->Name("SndLoadWhole/5")->Unit(benchmark::kMillisecond)->MinTime(0.6);
BENCHMARK(BM_BareOvRead)->Name("BareOvRead/5")->Unit(benchmark::kMillisecond)->MinTime(0.6);
BENCHMARK(BM_Mix32Channels)->Arg(44100)->Arg(22050)->Unit(benchmark::kMillisecond);

// Keeps the processor time per iteration of each run beside the console output.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> seconds;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.run_type == Run::RT_Iteration && r.iterations > 0)
        seconds[r.benchmark_name().substr(0, r.benchmark_name().find("/min_time"))] =
            r.cpu_accumulated_time / static_cast<double>(r.iterations);
    }
    ConsoleReporter::ReportRuns(runs);
  }
};
}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!make_music()) {
    std::fprintf(stderr, "oggenc (vorbis-tools) is needed to make the test music\n");
    return 1;
  }
  plat_audio_use_manual(true);  // the benchmark mixes; no device thread competes
  snd_decoders_init();
  if (!snd_init()) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto& s = reporter.seconds;
  double ours = 0, peer = 0;
  for (const auto& [name, t] : s) {
    double* best = name.rfind("SndLoadWhole/", 0) == 0 ? &ours
                   : name.rfind("BareOvRead/", 0) == 0 ? &peer
                                                       : nullptr;
    if (best && (*best == 0 || t < *best)) *best = t;
  }
  if (ours > 0 && peer > 0) {
    std::printf("snd_load whole decode: %.1f ms, %.0fx real time; bare ov_read: %.1f ms, %.0fx\n",
                ours * 1e3, kSeconds / ours, peer * 1e3, kSeconds / peer);
    std::printf("snd_load speed / ov_read loop speed: %.3fx (target >= 0.95x)\n", peer / ours);
  }
  for (const char* rate : {"44100", "22050"}) {
    double t = s[std::string("BM_Mix32Channels/") + rate];
    if (t > 0)
      std::printf("mixing 32 channels of %s Hz: %.2f ms of CPU per second of output (%.2f%%)\n",
                  rate, t * 1e3, t * 100);
  }
  snd_shutdown();
  std::remove(g_ogg.c_str());
  benchmark::Shutdown();
  return 0;
}
