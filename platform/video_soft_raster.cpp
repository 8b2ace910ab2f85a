// The soft device's quad rasterizer: per row, the span of pixel centres
// inside the quad; along it, texel positions stepped in fixed point,
// bilinear filtering, alpha modulation, alpha and depth test, and the
// blend. Per pixel here (SSE2, or plain integers); source-over and additive
// spans go to the AVX2 or AVX-512 code where the processor has it.
#include "platform/video_soft_raster_internal.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/video_device_internal.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

enum class Mode { Over, Add, Generic };

constexpr double kFix = 4294967296.0;  // 32 fraction bits

bool setup_quad(const PlatQuad& q, int height, SoftQuadSetup* out) {
  PlatQuadFrame f;
  if (!plat_quad_frame(q, &f)) return false;
  const double sw = f.sw, sh = f.sh, ox = f.ox, oy = f.oy, det = f.det;
  const double e1x = f.e1x, e1y = f.e1y, e2x = f.e2x, e2y = f.e2y;
  out->s = {e2y / det, -e2x / det, (oy * e2x - ox * e2y) / det};
  out->t = {-e1y / det, e1x / det, (e1y * ox - e1x * oy) / det};
  out->u = {out->s.x * sw, out->s.y * sw, q.src_left + out->s.c * sw - 0.5};
  out->v = {out->t.x * sh, out->t.y * sh, q.src_top + out->t.c * sh - 0.5};
  const double ys[4] = {oy, oy + e1y, oy + e2y, oy + e1y + e2y};
  const double lo = std::clamp(*std::min_element(ys, ys + 4) - 1.0, -1.0, height + 1.0);
  const double hi = std::clamp(*std::max_element(ys, ys + 4) + 1.0, -1.0, height + 1.0);
  out->y_begin = std::max(0, static_cast<int>(std::floor(lo)));
  out->y_end = std::min(height, static_cast<int>(std::ceil(hi)));
  return out->y_begin < out->y_end;
}

// llround(x · 2^32) without a library call. Positions inside a quad stay
// within 2^57 and steps of spans longer than one pixel too (each is at most
// the source's size); larger steps are clamped so that stepping a few
// pixels past a one-pixel span cannot overflow.
inline __attribute__((always_inline)) std::int64_t to_fixed(double x) {
  double v = x * kFix;
  v = v < -0x1p58 ? -0x1p58 : v;  // minsd and maxsd, not branches
  v = v > 0x1p58 ? 0x1p58 : v;
  const auto i = static_cast<std::int64_t>(v);     // towards zero, exact
  const double rest = v - static_cast<double>(i);  // exact too
  // Rounded half away from zero; comparisons, not branches: rest is as
  // often above as below a half.
  return i + static_cast<std::int64_t>(rest >= 0.5) - static_cast<std::int64_t>(rest <= -0.5);
}

// ceil(x) and floor(x) + 1 for |x| ≤ 1e9, without library calls.
std::int64_t ceil_of(double x) {
  const auto i = static_cast<std::int64_t>(x);  // towards zero
  return i + (x > static_cast<double>(i));
}

std::int64_t floor_plus_one(double x) {
  const auto i = static_cast<std::int64_t>(x);
  return i + 1 - (x < static_cast<double>(i));
}

constexpr double kLimit = 1e9;  // far past any row, and within 32 bits
constexpr std::int64_t kLow = -1, kHigh = 100'000'000;

// Narrows [*first, *end) to the pixels x whose centre x + 0.5 gives
// 0 ≤ a·(x + 0.5) + b < 1.
void narrow(double a, double b, int* first, int* end) {
  if (a == 0.0) {
    if (!(b >= 0.0 && b < 1.0)) *end = *first;
    return;
  }
  const double r0 = -b / a, r1 = (1.0 - b) / a;
  if (std::isnan(r0) || std::isnan(r1)) {
    *end = *first;
    return;
  }
  double from, to;  // px range, one end inclusive
  bool from_incl;
  if (a > 0) {
    from = r0, to = r1, from_incl = true;  // [r0, r1)
  } else {
    from = r1, to = r0, from_incl = false;  // (r1, r0]
  }
  from = std::clamp(from - 0.5, -kLimit, kLimit);
  to = std::clamp(to - 0.5, -kLimit, kLimit);
  const std::int64_t f = from_incl ? ceil_of(from) : floor_plus_one(from);
  const std::int64_t e = from_incl ? ceil_of(to) : floor_plus_one(to);
  *first = std::max(*first, static_cast<int>(std::clamp(f, kLow, kHigh)));
  *end = std::min(*end, static_cast<int>(std::clamp(e, kLow, kHigh)));
}

#if defined(__SSE2__)
// Both edge pairs of a row at once, a register per pair holding its two
// ends (the first pixel in, the first out). Each lane divides and rounds
// as narrow does; the quad's sign of a, which fixes the order of the two
// ends and which end is inclusive, is worked out once. Only for quads with
// both a non-zero.
struct RowBounds {
  __m128d a_s, a_t;      // a in both lanes
  __m128d k_s, k_t;      // the ends' numerators are k - b
  __m128d sgn_s, sgn_t;  // -1 for an exclusive start: floor(x) + 1 = 1 - ceil(-x)
  __m128d add_s, add_t;  // 1 there, else 0
};

void bounds_pair(double a, __m128d* av, __m128d* k, __m128d* sgn, __m128d* add) {
  const bool incl = a > 0;  // [r0, r1), else (r1, r0]
  *av = _mm_set1_pd(a);
  *k = incl ? _mm_set_pd(1.0, 0.0) : _mm_set_pd(0.0, 1.0);
  *sgn = _mm_set1_pd(incl ? 1.0 : -1.0);
  *add = _mm_set1_pd(incl ? 0.0 : 1.0);
}

RowBounds row_bounds(const SoftQuadSetup& q) {
  RowBounds r;
  bounds_pair(q.s.x, &r.a_s, &r.k_s, &r.sgn_s, &r.add_s);
  bounds_pair(q.t.x, &r.a_t, &r.k_t, &r.sgn_t, &r.add_t);
  return r;
}

// The pair's two ends as whole pixels; NaN lanes make *nan non-zero. The
// ends are not clamped to -1 … 1e8 as narrow's are: past those the row is
// empty either way once they meet 0 and the width.
inline __attribute__((always_inline)) __m128d pair_ends(__m128d a, __m128d k, __m128d sgn,
                                                        __m128d add, double b, __m128d* nan) {
  // -b and 0 - b differ only in the sign of a zero, which the -0.5 drops.
  const __m128d r = _mm_div_pd(_mm_sub_pd(k, _mm_set1_pd(b)), a);
  *nan = _mm_or_pd(*nan, _mm_cmpunord_pd(r, r));
  const __m128d x = _mm_min_pd(_mm_max_pd(_mm_sub_pd(r, _mm_set1_pd(0.5)), _mm_set1_pd(-kLimit)),
                               _mm_set1_pd(kLimit));
  const __m128d y = _mm_mul_pd(x, sgn);
  const __m128d i = _mm_cvtepi32_pd(_mm_cvttpd_epi32(y));  // towards zero
  const __m128d c = _mm_add_pd(i, _mm_and_pd(_mm_cmpgt_pd(y, i), _mm_set1_pd(1.0)));
  return _mm_add_pd(_mm_mul_pd(c, sgn), add);
}

inline __attribute__((always_inline)) bool row_span_pairs(const RowBounds& rb,
                                                          const SoftQuadSetup& q, int y, int width,
                                                          int* first, int* end) {
  const double py = y + 0.5;
  __m128d nan = _mm_setzero_pd();
  const __m128d es = pair_ends(rb.a_s, rb.k_s, rb.sgn_s, rb.add_s, q.s.y * py + q.s.c, &nan);
  const __m128d et = pair_ends(rb.a_t, rb.k_t, rb.sgn_t, rb.add_t, q.t.y * py + q.t.c, &nan);
  if (_mm_movemask_pd(nan) != 0) return false;
  const __m128d lo = _mm_unpacklo_pd(es, et), hi = _mm_unpackhi_pd(es, et);
  const __m128d f = _mm_max_pd(lo, _mm_unpackhi_pd(lo, lo));
  const __m128d e = _mm_min_pd(hi, _mm_unpackhi_pd(hi, hi));
  const __m128i fe = _mm_cvttpd_epi32(_mm_unpacklo_pd(f, e));
  *first = std::max(0, _mm_cvtsi128_si32(fe));
  *end = std::min(width, _mm_cvtsi128_si32(_mm_srli_si128(fe, 4)));
  return *first < *end;
}
#endif

struct Texels {
  std::uint32_t p00, p01, p10, p11;
};

inline Texels fetch(const SoftImage& img, int x0, int y0) {
  const int w = img.width;
  if (static_cast<unsigned>(x0) < static_cast<unsigned>(w - 1) &&
      static_cast<unsigned>(y0) < static_cast<unsigned>(img.height - 1)) {
    const std::uint32_t* p = img.texels + static_cast<std::size_t>(y0) * w + x0;
    return {p[0], p[1], p[w], p[w + 1]};
  }
  const int xa = std::clamp(x0, 0, w - 1), xb = std::clamp(x0 + 1, 0, w - 1);
  const int ya = std::clamp(y0, 0, img.height - 1), yb = std::clamp(y0 + 1, 0, img.height - 1);
  const std::uint32_t* r0 = img.texels + static_cast<std::size_t>(ya) * w;
  const std::uint32_t* r1 = img.texels + static_cast<std::size_t>(yb) * w;
  return {r0[xa], r0[xb], r1[xa], r1[xb]};
}

std::uint32_t filter_scalar(const Texels& t, unsigned fx, unsigned fy) {
  std::uint32_t out = 0;
  for (int sh = 0; sh < 32; sh += 8) {
    const std::uint32_t c0 = soft_lerp8((t.p00 >> sh) & 255, (t.p10 >> sh) & 255, fy);
    const std::uint32_t c1 = soft_lerp8((t.p01 >> sh) & 255, (t.p11 >> sh) & 255, fy);
    out |= soft_lerp8(c0, c1, fx) << sh;
  }
  return out;
}

unsigned factor(BlendFactor f, unsigned cs, unsigned cd, unsigned as) {
  switch (f) {
    case BlendFactor::Zero:
      return 0;
    case BlendFactor::One:
      return 255;
    case BlendFactor::SrcColor:
      return cs;
    case BlendFactor::InvSrcColor:
      return 255 - cs;
    case BlendFactor::SrcAlpha:
      return as;
    case BlendFactor::InvSrcAlpha:
      return 255 - as;
    case BlendFactor::DstColor:
      return cd;
    case BlendFactor::InvDstColor:
      return 255 - cd;
  }
  return 0;
}

std::uint32_t blend_generic(std::uint32_t src, std::uint32_t dst, unsigned as, BlendPair bp) {
  std::uint32_t out = 0;
  for (int sh = 0; sh < 24; sh += 8) {
    const unsigned cs = (src >> sh) & 255, cd = (dst >> sh) & 255;
    const unsigned v = cs * factor(bp.src, cs, cd, as) + cd * factor(bp.dst, cs, cd, as);
    out |= std::min(255u, soft_div255(v)) << sh;
  }
  return out;
}

#if defined(__SSE2__)
// The filtered texel as four 16-bit lanes (B, G, R, A) in the low half.
inline __m128i filter_sse2(const Texels& t, unsigned fx, unsigned fy) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i top = _mm_unpacklo_epi8(_mm_set_epi32(0, 0, int(t.p01), int(t.p00)), zero);
  const __m128i bot = _mm_unpacklo_epi8(_mm_set_epi32(0, 0, int(t.p11), int(t.p10)), zero);
  const __m128i r128 = _mm_set1_epi16(128);
  __m128i v = _mm_add_epi16(_mm_mullo_epi16(top, _mm_set1_epi16(short(256 - fy))),
                            _mm_mullo_epi16(bot, _mm_set1_epi16(short(fy))));
  v = _mm_srli_epi16(_mm_add_epi16(v, r128), 8);
  const short a = short(256 - fx), b = short(fx);
  v = _mm_mullo_epi16(v, _mm_set_epi16(b, b, b, b, a, a, a, a));
  v = _mm_add_epi16(v, _mm_srli_si128(v, 8));
  return _mm_srli_epi16(_mm_add_epi16(v, r128), 8);
}

// div255 of each 16-bit lane holding at most 255·255.
inline __m128i div255_sse2(__m128i x) {
  const __m128i t = _mm_add_epi16(x, _mm_set1_epi16(128));
  return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
}

inline std::uint32_t pack_sse2(__m128i v) {
  return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(v, v)));
}
#endif

// Per pixel, in plain integers or with SSE2 (one pixel per register).
template <Mode M, bool Sse2>
void draw_span(const SoftSpan& sp, const SoftSpanParams& pr) {
  const SoftImage& img = pr.image;
  const std::uint16_t z = pr.z;
  const unsigned alpha = pr.alpha;
  std::int64_t u = sp.u, v = sp.v;
  for (int i = 0; i < sp.count; ++i, u += sp.du, v += sp.dv) {
    if (z > sp.depth[i]) continue;
    const Texels t = fetch(img, static_cast<int>(u >> 32), static_cast<int>(v >> 32));
    if (((t.p00 | t.p01 | t.p10 | t.p11) >> 24) == 0) continue;
    const unsigned fx = static_cast<unsigned>(u >> 24) & 255;
    const unsigned fy = static_cast<unsigned>(v >> 24) & 255;
    std::uint32_t& dst = sp.color[i];
#if defined(__SSE2__)
    if constexpr (Sse2) {
      const __m128i s = filter_sse2(t, fx, fy);
      const unsigned a = static_cast<unsigned>(_mm_extract_epi16(s, 3));
      const unsigned as = alpha == 255 ? a : soft_div255(a * alpha);
      if (as == 0) continue;
      if constexpr (M == Mode::Over) {
        if (as == 255) {
          dst = pack_sse2(s) & 0xFFFFFFu;
        } else {
          const __m128i d = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(dst)), _mm_setzero_si128());
          const __m128i x = _mm_add_epi16(_mm_mullo_epi16(s, _mm_set1_epi16(short(as))),
                                          _mm_mullo_epi16(d, _mm_set1_epi16(short(255 - as))));
          dst = pack_sse2(div255_sse2(x)) & 0xFFFFFFu;
        }
      } else if constexpr (M == Mode::Add) {
        const __m128i x = div255_sse2(_mm_mullo_epi16(s, _mm_set1_epi16(short(as))));
        __m128i sum = _mm_cvtsi32_si128(int(dst));
        for (int r = 0; r < pr.repeat; ++r) sum = _mm_adds_epu8(_mm_packus_epi16(x, x), sum);
        dst = static_cast<std::uint32_t>(_mm_cvtsi128_si32(sum)) & 0xFFFFFFu;
      } else {
        for (int r = 0; r < pr.repeat; ++r) dst = blend_generic(pack_sse2(s), dst, as, pr.blend);
      }
      sp.depth[i] = z;
      continue;
    }
#endif
    const std::uint32_t s = filter_scalar(t, fx, fy);
    const unsigned a = s >> 24;
    const unsigned as = alpha == 255 ? a : soft_div255(a * alpha);
    if (as == 0) continue;
    for (int r = 0; r < pr.repeat; ++r) dst = blend_generic(s, dst, as, pr.blend);
    sp.depth[i] = z;
  }
}

Mode mode_of(BlendPair bp) {
  if (bp == BlendPair{BlendFactor::SrcAlpha, BlendFactor::InvSrcAlpha}) return Mode::Over;
  if (bp == BlendPair{BlendFactor::SrcAlpha, BlendFactor::One}) return Mode::Add;
  return Mode::Generic;
}

template <bool Sse2>
void draw_span_per_pixel(const SoftSpan& sp, const SoftSpanParams& pr) {
  const Mode mode = mode_of(pr.blend);
  switch (mode == Mode::Over && pr.repeat > 1 ? Mode::Generic : mode) {
    case Mode::Over:
      return draw_span<Mode::Over, Sse2>(sp, pr);
    case Mode::Add:
      return draw_span<Mode::Add, Sse2>(sp, pr);
    case Mode::Generic:
      return draw_span<Mode::Generic, Sse2>(sp, pr);
  }
}

bool cpu_has_avx2() {
#if SOFT_HAVE_AVX2
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

bool cpu_has_avx512() {
#if SOFT_HAVE_AVX2
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f") &&
         __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl");
#else
  return false;
#endif
}

SoftPath best_path() {
  if (cpu_has_avx512()) return SoftPath::Avx512;
  if (cpu_has_avx2()) return SoftPath::Avx2;
#if defined(__SSE2__)
  return SoftPath::Sse2;
#else
  return SoftPath::Scalar;
#endif
}

// SHOOTER_SOFT_PATH (scalar, sse2, avx2, avx512) picks a slower path than
// the best, to see what processors without the faster one get.
SoftPath chosen_path() {
  const SoftPath best = best_path();
  const char* env = std::getenv("SHOOTER_SOFT_PATH");
  if (env == nullptr) return best;
  constexpr const char* kNames[] = {"scalar", "sse2", "avx2", "avx512"};
  for (int i = 0; i < 4; ++i) {
    if (std::strcmp(env, kNames[i]) != 0) continue;
    if (i <= static_cast<int>(best)) return static_cast<SoftPath>(i);
    break;
  }
  std::fprintf(stderr, "SHOOTER_SOFT_PATH=%s is not a span path this processor runs; using %s\n",
               env, kNames[static_cast<int>(best)]);
  return best;
}

SoftPath g_path = chosen_path();

// The span code for a quad's spans on the given path, chosen once per quad
// rather than per row.
SoftSpanCode span_code(SoftPath path, const SoftSpanParams& params, std::int64_t du,
                       std::int64_t dv) {
  const Mode mode = mode_of(params.blend);
#if SOFT_HAVE_AVX2
  if (mode != Mode::Generic && params.image.width >= 2 &&
      (mode == Mode::Add || params.repeat == 1)) {
    const bool add = mode == Mode::Add;
    if (path == SoftPath::Avx512) return soft_span_avx512_code(params, du, dv, add);
    if (path == SoftPath::Avx2) return soft_span_avx2_code(params, du, dv, add);
  }
#else
  (void)mode, (void)du, (void)dv;
#endif
#if defined(__SSE2__)
  if (path != SoftPath::Scalar) return draw_span_per_pixel<true>;
#endif
  return draw_span_per_pixel<false>;
}

// Row y's span by the two narrowings one after the other.
bool row_span_reference(const SoftQuadSetup& q, int y, int width, int* first, int* end) {
  const double py = y + 0.5;
  *first = 0, *end = width;
  narrow(q.s.x, q.s.y * py + q.s.c, first, end);
  if (*first >= *end) return false;  // narrowing further cannot widen it
  narrow(q.t.x, q.t.y * py + q.t.c, first, end);
  return *first < *end;
}

#if defined(__SSE2__)
// Whether both a are non-zero, as row_span_pairs needs.
bool pairs_apply(const SoftQuadSetup& q) {
  return q.s.x != 0.0 && q.t.x != 0.0;
}
#endif

}  // namespace

std::uint32_t soft_sample_reference(const SoftImage& image, int x0, int y0, unsigned fx,
                                    unsigned fy) {
  return filter_scalar(fetch(image, x0, y0), fx, fy);
}

std::uint32_t soft_sample_fast(const SoftImage& image, int x0, int y0, unsigned fx, unsigned fy) {
#if defined(__SSE2__)
  return pack_sse2(filter_sse2(fetch(image, x0, y0), fx, fy));
#else
  return filter_scalar(fetch(image, x0, y0), fx, fy);
#endif
}

bool soft_path_available(SoftPath path) {
  switch (path) {
    case SoftPath::Scalar:
      return true;
    case SoftPath::Sse2:
#if defined(__SSE2__)
      return true;
#else
      return false;
#endif
    case SoftPath::Avx2:
      return cpu_has_avx2();
    case SoftPath::Avx512:
      return cpu_has_avx512();
  }
  return false;
}

bool soft_select_path(SoftPath path) {
  if (!soft_path_available(path)) return false;
  g_path = path;
  return true;
}

SoftPath soft_selected_path() {
  return g_path;
}

const char* soft_path_name(SoftPath path) {
  constexpr const char* kNames[] = {"scalar", "SSE2", "AVX2", "AVX-512"};
  return kNames[static_cast<int>(path)];
}

void soft_draw_span(SoftPath path, const SoftSpan& span, const SoftSpanParams& params) {
  span_code(path, params, span.du, span.dv)(span, params);
}

bool soft_quad_prepare(const PlatQuad& quad, int height, SoftQuadSetup* out) {
  if (!setup_quad(quad, height, out)) return false;
  out->du = to_fixed(out->u.x);
  out->dv = to_fixed(out->v.x);
  return true;
}

SoftSpanParams soft_quad_params(const SoftImage& image, const PlatQuad& quad, int times) {
  return {image, soft_depth16(quad.depth), quad.alpha,
          plat_blend_resolve(quad.src_blend, quad.dst_blend), times};
}

bool soft_row_span(const SoftQuadSetup& setup, int y, int width, int* first, int* end) {
#if defined(__SSE2__)
  if (pairs_apply(setup)) return row_span_pairs(row_bounds(setup), setup, y, width, first, end);
#endif
  return row_span_reference(setup, y, width, first, end);
}

bool soft_row_span_reference(const SoftQuadSetup& setup, int y, int width, int* first, int* end) {
  return row_span_reference(setup, y, width, first, end);
}

namespace {

void draw_row(const SoftSurface& target, const SoftQuadSetup& q, const SoftSpanParams& params,
              SoftSpanCode draw, int y, int first, int end) {
  const double px = first + 0.5, py = y + 0.5;
  const std::size_t row = static_cast<std::size_t>(y) * target.width + first;
  const SoftSpan sp{target.color + row,
                    target.depth + row,
                    end - first,
                    to_fixed(q.u.x * px + q.u.y * py + q.u.c),
                    to_fixed(q.v.x * px + q.v.y * py + q.v.c),
                    q.du,
                    q.dv,
                    target.width - first};
  draw(sp, params);
}

// Draws rows [y, y_end) whose spans `bounds` finds. The bounds of a few
// rows come first, then their spans: the rows' divisions overlap instead of
// each waiting on the span drawn before it.
template <typename Bounds>
inline __attribute__((always_inline)) void draw_rows(const SoftSurface& target,
                                                     const SoftQuadSetup& q,
                                                     const SoftSpanParams& params,
                                                     SoftSpanCode draw, int y, int y_end,
                                                     Bounds bounds) {
  constexpr int kRows = 16;
  int firsts[kRows], ends[kRows];
  bool any[kRows];
  for (; y < y_end; y += kRows) {
    const int n = std::min(kRows, y_end - y);
    for (int k = 0; k < n; ++k) any[k] = bounds(y + k, &firsts[k], &ends[k]);
    for (int k = 0; k < n; ++k) {
      if (any[k]) draw_row(target, q, params, draw, y + k, firsts[k], ends[k]);
    }
  }
}

}  // namespace

void soft_raster_rows(const SoftSurface& target, const SoftQuadSetup& q,
                      const SoftSpanParams& params, int row_begin, int row_end) {
  const int y_end = std::min(q.y_end, row_end);
  const int y = std::max(q.y_begin, row_begin);
  if (y >= y_end) return;
  const SoftSpanCode draw = span_code(g_path, params, q.du, q.dv);
  const int width = target.width;
#if defined(__SSE2__)
  if (pairs_apply(q)) {
    const RowBounds rb = row_bounds(q);
    draw_rows(target, q, params, draw, y, y_end, [&](int row, int* first, int* end) {
      return row_span_pairs(rb, q, row, width, first, end);
    });
    return;
  }
#endif
  draw_rows(target, q, params, draw, y, y_end, [&](int row, int* first, int* end) {
    return row_span_reference(q, row, width, first, end);
  });
}

void soft_raster_quad(const SoftSurface& target, const SoftImage& image, const PlatQuad& quad,
                      int times) {
  SoftQuadSetup q{};
  if (times < 1 || !soft_quad_prepare(quad, target.height, &q)) return;
  soft_raster_rows(target, q, soft_quad_params(image, quad, times), 0, target.height);
}
