// PNG decoding through the image library (img_catch: probe, picture, decode,
// close) against libpng's simplified API decoding the same bytes to BGRA: a
// 2048 × 2048 RGBA picture and a set of 32 × 32 sprites.
#include <benchmark/benchmark.h>
#include <png.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "image/image.h"
#include "image/png_decoder.h"

namespace {
using Bytes = std::vector<std::uint8_t>;

void collect(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

// Encodes RGBA rows with libpng's default filters and compression.
Bytes encode_rgba(int width, int height, const Bytes& rgba) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &out, collect, nullptr);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y)
    png_write_row(png, const_cast<png_bytep>(&rgba[std::size_t(y) * width * 4]));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

// A picture with smooth shading, hard edges and some grain, like game art.
Bytes artwork(int width, int height, int seed) {
  Bytes rgba(std::size_t(width) * height * 4);
  std::uint32_t state = 2166136261u ^ std::uint32_t(seed);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      state = state * 1664525u + 1013904223u;
      const double fx = double(x) / width, fy = double(y) / height;
      const double wave = std::sin(fx * 12 + seed) * std::cos(fy * 9 - seed);
      std::uint8_t* p = &rgba[(std::size_t(y) * width + x) * 4];
      const int grain = int(state >> 29);
      p[0] = std::uint8_t(128 + 100 * wave + grain);
      p[1] = std::uint8_t(((x / 16 + y / 16) % 2 ? 180 : 60) + grain);
      p[2] = std::uint8_t(255 * fx * fy);
      const double r = std::hypot(fx - 0.5, fy - 0.5);
      p[3] = std::uint8_t(r < 0.45 ? 255 : r < 0.5 ? 128 : 0);
    }
  return rgba;
}

struct Inputs {
  Bytes large;
  std::vector<Bytes> sprites;
  Inputs() {
    img_decoders_init();
    img_init();
    img_register_decoder(&img_png_decoder);
    large = encode_rgba(2048, 2048, artwork(2048, 2048, 1));
    for (int i = 0; i < 64; ++i) sprites.push_back(encode_rgba(32, 32, artwork(32, 32, i)));
  }
};

Inputs& inputs() {
  static Inputs in;
  return in;
}

bool decode_ours(const Bytes& png) {
  std::intptr_t id = img_catch(-1, png.data(), static_cast<std::int32_t>(png.size()));
  if (!id) return false;
  benchmark::DoNotOptimize(img_bitmap(id)->pixels[0]);
  img_free(id);
  return true;
}

bool decode_simplified(const Bytes& png) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return false;
  image.format = PNG_FORMAT_BGRA;
  std::unique_ptr<std::uint8_t[]> pixels(new std::uint8_t[PNG_IMAGE_SIZE(image)]);
  const bool ok = png_image_finish_read(&image, nullptr, pixels.get(), 0, nullptr) != 0;
  benchmark::DoNotOptimize(pixels[0]);
  png_image_free(&image);
  return ok;
}

void set_rate(benchmark::State& state, std::int64_t pixels_per_iteration) {
  state.SetBytesProcessed(state.iterations() * pixels_per_iteration * 4);
}

void BM_ours_large(benchmark::State& state) {
  for (auto _ : state)
    if (!decode_ours(inputs().large)) state.SkipWithError("decode failed");
  set_rate(state, 2048 * 2048);
}
void BM_libpng_simplified_large(benchmark::State& state) {
  for (auto _ : state)
    if (!decode_simplified(inputs().large)) state.SkipWithError("decode failed");
  set_rate(state, 2048 * 2048);
}
void BM_ours_sprites(benchmark::State& state) {
  for (auto _ : state)
    for (const Bytes& sprite : inputs().sprites)
      if (!decode_ours(sprite)) state.SkipWithError("decode failed");
  set_rate(state, 64 * 32 * 32);
}
void BM_libpng_simplified_sprites(benchmark::State& state) {
  for (auto _ : state)
    for (const Bytes& sprite : inputs().sprites)
      if (!decode_simplified(sprite)) state.SkipWithError("decode failed");
  set_rate(state, 64 * 32 * 32);
}

// Each pair runs alternately several times so that a busy machine affects
// both sides alike; the medians are compared.
BENCHMARK(BM_ours_large)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly();
BENCHMARK(BM_libpng_simplified_large)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly();
BENCHMARK(BM_ours_sprites)->Unit(benchmark::kMicrosecond)->Repetitions(7)->ReportAggregatesOnly();
BENCHMARK(BM_libpng_simplified_sprites)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly();

std::map<std::string, double> g_median_cpu;

class Capture : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.aggregate_name == "median")
        g_median_cpu[run.run_name.function_name] = run.GetAdjustedCPUTime();
    ConsoleReporter::ReportRuns(runs);
  }
};

void print_ratio(const char* what, const char* ours, const char* peer) {
  const double a = g_median_cpu[ours], b = g_median_cpu[peer];
  if (a > 0 && b > 0)
    std::printf("%s: image library speed / libpng simplified speed = %.3fx (target >= 0.95x)\n",
                what, b / a);
}
}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  inputs();
  Capture reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  print_ratio("2048x2048 RGBA", "BM_ours_large", "BM_libpng_simplified_large");
  print_ratio("64 sprites 32x32", "BM_ours_sprites", "BM_libpng_simplified_sprites");
  benchmark::Shutdown();
  return 0;
}
