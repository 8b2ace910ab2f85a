// Internal to platform/: the soft device's quad rasterizer and the exact
// integer arithmetic it is defined by, shared with its tests.
//
// Arithmetic, per destination pixel whose centre lies inside the quad:
// - the sample position is the texel coordinate at the pixel centre minus
//   one half, in fixed point with 32 fraction bits stepped along the span;
//   its top 8 fraction bits are the bilinear weights f (texel weights
//   256 - f and f), indices clamp to the texture's edges;
// - each channel is filtered rows first, then columns:
//   lerp(a, b, f) = (a·(256 - f) + b·f + 128) >> 8;
// - source alpha As = div255(filtered alpha × quad alpha); As = 0 fails the
//   alpha test and writes neither colour nor depth;
// - each channel becomes min(255, div255(Cs·Fs + Cd·Fd)) with factors in
//   0 … 255, where div255(v) = (v + 127) / 255 rounds to nearest;
// - depth is D16: z·65535 rounded, passes when ≤ the stored value.
#pragma once
#include <cstdint>

#include "platform/video_device_internal.h"

struct SoftSurface {
  std::uint32_t* color;  // 0x00RRGGBB, rows top-down
  std::uint16_t* depth;  // D16, 65535 = 1.0
  int width, height;
};

struct SoftImage {
  const std::uint32_t* texels;  // 0xAARRGGBB, rows top-down
  int width, height;
};

constexpr std::uint32_t soft_div255(std::uint32_t v) {
  return (v + 127) / 255;
}

constexpr std::uint32_t soft_lerp8(std::uint32_t a, std::uint32_t b, std::uint32_t f) {
  return (a * (256 - f) + b * f + 128) >> 8;
}

constexpr std::uint16_t soft_depth16(float z) {
  return static_cast<std::uint16_t>(z * 65535.0f + 0.5f);
}

// One row's run of pixels: pixel i samples at (u + i·du, v + i·dv), texel
// coordinates with 32 fraction bits. `room` pixels from the start (at least
// count) lie in the same row of the same band, so the vector code may read
// and write back unchanged up to there instead of copying its last pixels.
struct SoftSpan {
  std::uint32_t* color;
  std::uint16_t* depth;
  int count;
  std::int64_t u, v, du, dv;
  int room = 0;
};

// What every pixel of a quad shares.
struct SoftSpanParams {
  SoftImage image;
  std::uint16_t z;
  unsigned alpha;  // the quad's, 0 … 255
  BlendPair blend;
  int repeat = 1;  // times the blend is applied (the same quad drawn again)
};

// value = x·px + y·py + c at the screen point (px, py).
struct SoftAffine {
  double x, y, c;
};

// What a quad's rows are found from, worked out once per quad.
struct SoftQuadSetup {
  SoftAffine s, t;      // position inside the quad, 0 … 1 along each side
  SoftAffine u, v;      // sample position: texel coordinate minus one half
  std::int64_t du, dv;  // per pixel along a row, the same on every row
  int y_begin, y_end;
};

// False when the quad covers no row of a target `height` rows high.
bool soft_quad_prepare(const PlatQuad& quad, int height, SoftQuadSetup* out);
SoftSpanParams soft_quad_params(const SoftImage& image, const PlatQuad& quad, int times);
// Row y's pixels [*first, *end) of a prepared quad, false when none; the
// reference form narrows by one edge pair after the other, the other gives
// the same bounds with both pairs at once.
bool soft_row_span(const SoftQuadSetup& setup, int y, int width, int* first, int* end);
bool soft_row_span_reference(const SoftQuadSetup& setup, int y, int width, int* first, int* end);
// Draws the prepared quad's rows in [row_begin, row_end) only, so that
// bands of one target can be drawn apart and give the whole quad's pixels.
void soft_raster_rows(const SoftSurface& target, const SoftQuadSetup& setup,
                      const SoftSpanParams& params, int row_begin, int row_end);
// Draws one quad (already checked by plat_quad_drawable) with depth and
// alpha test and its blend pair, `times` times over: the pixels are those
// of as many draws one after the other, each pixel's source computed once.
void soft_raster_quad(const SoftSurface& target, const SoftImage& image, const PlatQuad& quad,
                      int times = 1);

// The span code in use. Every path gives the same pixels; the fastest the
// processor runs is chosen at start-up.
enum class SoftPath { Scalar, Sse2, Avx2, Avx512 };
bool soft_path_available(SoftPath path);
// For tests and benchmarks: false, and no change, when not available.
bool soft_select_path(SoftPath path);
SoftPath soft_selected_path();
const char* soft_path_name(SoftPath path);
using SoftSpanCode = void (*)(const SoftSpan&, const SoftSpanParams&);
// Draws one span with the given path (which must be available).
void soft_draw_span(SoftPath path, const SoftSpan& span, const SoftSpanParams& params);

// Whether a span steps by whole texels, and whether besides it starts on a
// texel with no weight fraction: then none of its pixels is filtered.
constexpr bool soft_whole_steps(std::int64_t du, std::int64_t dv) {
  return ((du | dv) & 0xFFFFFFFFll) == 0;
}
constexpr bool soft_unfiltered(const SoftSpan& sp) {
  return soft_whole_steps(sp.du, sp.dv) && ((sp.u | sp.v) & 0xFF000000ll) == 0;
}

// The portable form of the per-pixel filter, which the vector form must
// equal bit for bit: the sample at fixed-point position (x0 + fx/256,
// y0 + fy/256) of the image, edges clamped.
std::uint32_t soft_sample_reference(const SoftImage& image, int x0, int y0, unsigned fx,
                                    unsigned fy);
std::uint32_t soft_sample_fast(const SoftImage& image, int x0, int y0, unsigned fx, unsigned fy);

// The vector span code needs x86-64 and a compiler that builds single
// functions for a wider instruction set than the rest.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define SOFT_HAVE_AVX2 1
// Eight pixels at a time, for source-over (add false, repeat 1) and
// additive blending of images at least 2 texels wide; only for processors
// with AVX2.
void soft_span_avx2(const SoftSpan& span, const SoftSpanParams& params, bool add);
// Sixteen at a time, the same cases; for processors with AVX-512 F, BW and VL.
void soft_span_avx512(const SoftSpan& span, const SoftSpanParams& params, bool add);
// The same code for every span of a quad stepping du, dv per pixel: where
// the steps alone decide how its spans are sampled, that sampling's code,
// so that the choice is made once per quad rather than per row.
SoftSpanCode soft_span_avx2_code(const SoftSpanParams& params, std::int64_t du, std::int64_t dv,
                                 bool add);
SoftSpanCode soft_span_avx512_code(const SoftSpanParams& params, std::int64_t du, std::int64_t dv,
                                   bool add);
#else
#define SOFT_HAVE_AVX2 0
#endif
