// 8-bit BMP save of a 1024 × 768 game-like picture (NeuQuant palette, nearest
// colour mapping) against ImageMagick's undithered 256-colour quantisation of
// the same picture, with the time and the PSNR of both.
#include <benchmark/benchmark.h>
#include <png.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "image/image.h"

namespace {
constexpr int kWidth = 1024, kHeight = 768;
const std::string kDir = std::filesystem::temp_directory_path().string() +
                         "/image_bmp_save_bench_" + std::to_string(getpid());

// A game screen: a dark gradient sky, a tiled floor, round glowing sprites,
// a score bar and a scatter of particles. Rows top first, B, G, R.
std::vector<std::uint8_t> game_picture() {
  std::vector<std::uint8_t> rgb(std::size_t(kWidth) * kHeight * 3);
  std::uint32_t seed = 12345;
  auto rnd = [&] { return (seed = seed * 1664525u + 1013904223u) >> 8; };
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      std::uint8_t* p = &rgb[(std::size_t(y) * kWidth + x) * 3];
      if (y < 500) {
        p[0] = std::uint8_t(60 + y / 5);
        p[1] = std::uint8_t(10 + y / 12);
        p[2] = std::uint8_t(20 + x / 40);
      } else {
        const bool dark = ((x / 64) + (y / 64)) % 2;
        const int edge = (x % 64 < 2 || y % 64 < 2) ? 40 : 0;
        p[0] = std::uint8_t((dark ? 40 : 70) + edge);
        p[1] = std::uint8_t((dark ? 70 : 110) + edge);
        p[2] = std::uint8_t((dark ? 50 : 90) + edge);
      }
    }
  for (int s = 0; s < 40; ++s) {
    const int cx = int(rnd() % kWidth), cy = int(rnd() % kHeight), r = 8 + int(rnd() % 40);
    const int hue = int(rnd() % 3);
    for (int y = std::max(0, cy - r); y < std::min(kHeight, cy + r); ++y)
      for (int x = std::max(0, cx - r); x < std::min(kWidth, cx + r); ++x) {
        const double d = std::sqrt(double((x - cx) * (x - cx) + (y - cy) * (y - cy))) / r;
        if (d >= 1) continue;
        std::uint8_t* p = &rgb[(std::size_t(y) * kWidth + x) * 3];
        const double glow = 1 - d * d;
        for (int c = 0; c < 3; ++c) {
          const double target = c == hue ? 255 : 255 * glow * glow;
          p[c] = std::uint8_t(p[c] + (target - p[c]) * glow);
        }
      }
  }
  for (int i = 0; i < 3000; ++i) {
    const int x = int(rnd() % kWidth), y = int(rnd() % kHeight);
    std::uint8_t* p = &rgb[(std::size_t(y) * kWidth + x) * 3];
    p[0] = 255;
    p[1] = std::uint8_t(200 + rnd() % 56);
    p[2] = std::uint8_t(rnd() % 256);
  }
  for (int y = 10; y < 40; ++y)
    for (int x = 20; x < 420; ++x) {
      std::uint8_t* p = &rgb[(std::size_t(y) * kWidth + x) * 3];
      p[0] = 20;
      p[1] = std::uint8_t(x * 255 / 420);
      p[2] = std::uint8_t(255 - x * 255 / 420);
    }
  return rgb;
}

void write_png(const std::string& path, const std::vector<std::uint8_t>& bgr) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_bgr(png);
  for (int y = 0; y < kHeight; ++y)
    png_write_row(png, const_cast<png_bytep>(&bgr[std::size_t(y) * kWidth * 3]));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
}

// PSNR over R, G and B of a BMP file against the source picture.
double psnr(const std::string& bmp, const std::vector<std::uint8_t>& bgr) {
  std::ifstream in(bmp, std::ios::binary);
  std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), {});
  std::intptr_t id = img_catch(-1, data.data(), std::int32_t(data.size()));
  ImgBitmap* b = img_bitmap(id);
  if (!b || b->width != kWidth || b->height != kHeight) return 0;
  double sum = 0;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      for (int c = 0; c < 3; ++c) {
        const int got =
            b->pixels[std::size_t(kHeight - 1 - y) * b->pitch + x * (b->bits_per_pixel / 8) + c];
        const int want = bgr[(std::size_t(y) * kWidth + x) * 3 + c];
        sum += double(got - want) * (got - want);
      }
  img_free(id);
  const double mse = sum / (double(kWidth) * kHeight * 3);
  return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

struct Setup {
  std::vector<std::uint8_t> bgr = game_picture();
  std::intptr_t image = 0;
  std::string png = kDir + "/in.png";
  Setup() {
    std::filesystem::create_directories(kDir);
    write_png(png, bgr);
    img_decoders_init();
    img_init();
    image = img_create(-1, kWidth, kHeight, 24);
    ImgBitmap* b = img_bitmap(image);
    for (int y = 0; y < kHeight; ++y)
      std::copy_n(&bgr[std::size_t(y) * kWidth * 3], kWidth * 3,
                  b->pixels + std::size_t(kHeight - 1 - y) * b->pitch);
  }
};

Setup& setup() {
  static Setup s;
  return s;
}

double g_ours_ms = 0, g_peer_ms = 0;

void BM_ours_save_8bit(benchmark::State& state) {
  Setup& s = setup();
  const std::string out = kDir + "/ours.bmp";
  for (auto _ : state)
    if (!img_save(s.image, out.c_str(), 0, 7, 8)) state.SkipWithError("save failed");
}

// The peer runs as a child process; its time is the child's processor time
// (user and system), which a busy machine does not inflate.
double children_cpu_seconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

void BM_imagemagick_colors_256(benchmark::State& state) {
  Setup& s = setup();
  const std::string command =
      "convert-im6.q16 '" + s.png + "' -dither None -colors 256 BMP3:'" + kDir + "/peer.bmp'";
  for (auto _ : state) {
    const double before = children_cpu_seconds();
    if (std::system(command.c_str()) != 0) state.SkipWithError("convert failed");
    state.SetIterationTime(children_cpu_seconds() - before);
  }
}

BENCHMARK(BM_ours_save_8bit)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_imagemagick_colors_256)->Unit(benchmark::kMillisecond)->MinTime(2)->UseManualTime();

class Capture : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      // Processor time on both sides: ours in this process, the peer's in
      // its child processes (the manual time above).
      if (run.benchmark_name().find("ours") != std::string::npos)
        g_ours_ms = run.GetAdjustedCPUTime();
      if (run.benchmark_name().find("imagemagick") != std::string::npos)
        g_peer_ms = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
};
}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Capture reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  Setup& s = setup();
  const double ours_db = psnr(kDir + "/ours.bmp", s.bgr);
  const double peer_db = psnr(kDir + "/peer.bmp", s.bgr);
  std::printf(
      "8-bit BMP save 1024x768 (processor time): ours %.1f ms, %.2f dB; ImageMagick %.1f ms, "
      "%.2f dB\n",
      g_ours_ms, ours_db, g_peer_ms, peer_db);
  std::printf("speed ratio (ImageMagick time / ours): %.2fx; PSNR difference: %+.2f dB\n",
              g_ours_ms > 0 ? g_peer_ms / g_ours_ms : 0.0, ours_db - peer_db);
  std::filesystem::remove_all(kDir);
  benchmark::Shutdown();
  return 0;
}
