// The soft device's span code for processors with AVX2: eight pixels a step,
// texels gathered, channels filtered and blended in 16-bit lanes (blue and
// red in one register, green and alpha in another) with exactly the
// arithmetic of the per-pixel code. Built for AVX2 whatever the compiler's
// target; only called once the processor is known to have it.
#include "platform/video_soft_raster_internal.h"

#if SOFT_HAVE_AVX2
#include <immintrin.h>

#include <cstddef>

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

// Every helper is inlined into the span loop: passed between functions the
// vectors would go through memory.
#define SOFT_INLINE inline __attribute__((always_inline))

namespace {

// How a span's texels are found.
enum class Sampling {
  Bilinear,   // 2 × 2 texels, weights from the fractions
  Scattered,  // Bilinear where no step's texels fit fetch_rows' window
  Nearest,    // every fraction is 0: the weights pick the top-left texel alone
  Row,        // Nearest, one texel to the next along a row (1:1, unrotated)
};

// Eight sample positions, 64-bit: pixels 0, 1, 4, 5 in a and 2, 3, 6, 7 in
// b, so that their 32-bit halves gather in order.
struct Positions {
  __m256i a, b;
};

SOFT_INLINE Positions start_positions(std::int64_t p, std::int64_t dp) {
  // p + dp·(0, 1, 4, 5), then two steps on; wrapping as the scalar sums do.
  const __m256i d = _mm256_set1_epi64x(dp), zero = _mm256_setzero_si256();
  const __m256i odd = _mm256_blend_epi32(zero, d, 0xCC);                         // 0, 1, 0, 1
  const __m256i four = _mm256_blend_epi32(zero, _mm256_slli_epi64(d, 2), 0xF0);  // 0, 0, 4, 4
  const __m256i a = _mm256_add_epi64(_mm256_set1_epi64x(p), _mm256_add_epi64(odd, four));
  return {a, _mm256_add_epi64(a, _mm256_slli_epi64(d, 1))};
}

SOFT_INLINE void advance(Positions& p, __m256i step) {
  p.a = _mm256_add_epi64(p.a, step);
  p.b = _mm256_add_epi64(p.b, step);
}

SOFT_INLINE __m256i pick_dwords(const Positions& p, int high) {
  const __m256 a = _mm256_castsi256_ps(p.a), b = _mm256_castsi256_ps(p.b);
  return _mm256_castps_si256(high ? _mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1))
                                  : _mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
}

// The integer texel coordinate (the position's top 32 bits) of each pixel.
SOFT_INLINE __m256i whole(const Positions& p) {
  return pick_dwords(p, 1);
}

// The top 8 fraction bits, the filter weight.
SOFT_INLINE __m256i weight(const Positions& p) {
  return _mm256_srli_epi32(pick_dwords(p, 0), 24);
}

SOFT_INLINE __m256i clamp(__m256i x, __m256i hi) {
  return _mm256_max_epi32(_mm256_min_epi32(x, hi), _mm256_setzero_si256());
}

// The 2 × 2 texels from (x0, y0) of eight pixels.
struct Block {
  __m256i p00, p01, p10, p11;
};

SOFT_INLINE __m256 gather_pairs(const std::uint32_t* texels, __m128i index) {
  return _mm256_castsi256_ps(
      _mm256_i32gather_epi64(reinterpret_cast<const long long*>(texels), index, 4));
}

// The left (0) or right (1) texels of the pairs in a and b.
SOFT_INLINE __m256i pick(__m256 a, __m256 b, int right) {
  return _mm256_castps_si256(right ? _mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1))
                                   : _mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
}

// Each row's two texels are one 64-bit gather lane, read from column
// c = clamp(x0, 0, width - 2) (the image is at least 2 wide); where x0 lies
// outside, both become the edge texel, as clamping x0 and x0 + 1 gives.
SOFT_INLINE Block fetch_block(const SoftImage& img, __m256i x0, __m256i y0) {
  const __m256i w = _mm256_set1_epi32(img.width), cmax = _mm256_set1_epi32(img.width - 2);
  const __m256i ymax = _mm256_set1_epi32(img.height - 1);
  const __m256i c = clamp(x0, cmax);
  const __m256i ya = clamp(y0, ymax);
  const __m256i yb = clamp(_mm256_add_epi32(y0, _mm256_set1_epi32(1)), ymax);
  // Gathered as pixels 0, 1, 4, 5 and 2, 3, 6, 7, which pick puts back in
  // order.
  const __m256i order = _mm256_setr_epi32(0, 1, 4, 5, 2, 3, 6, 7);
  const __m256i ia =
      _mm256_permutevar8x32_epi32(_mm256_add_epi32(_mm256_mullo_epi32(ya, w), c), order);
  const __m256i ib =
      _mm256_permutevar8x32_epi32(_mm256_add_epi32(_mm256_mullo_epi32(yb, w), c), order);
  const __m256 ta = gather_pairs(img.texels, _mm256_castsi256_si128(ia));
  const __m256 tb = gather_pairs(img.texels, _mm256_extracti128_si256(ia, 1));
  const __m256 ba = gather_pairs(img.texels, _mm256_castsi256_si128(ib));
  const __m256 bb = gather_pairs(img.texels, _mm256_extracti128_si256(ib, 1));
  Block b{pick(ta, tb, 0), pick(ta, tb, 1), pick(ba, bb, 0), pick(ba, bb, 1)};
  const __m256i left = _mm256_cmpgt_epi32(_mm256_setzero_si256(), x0);
  const __m256i right = _mm256_cmpgt_epi32(x0, cmax);
  b.p01 = _mm256_blendv_epi8(b.p01, b.p00, left);
  b.p11 = _mm256_blendv_epi8(b.p11, b.p10, left);
  b.p00 = _mm256_blendv_epi8(b.p00, b.p01, right);
  b.p10 = _mm256_blendv_epi8(b.p10, b.p11, right);
  return b;
}

// The texel at (x0, y0) of eight pixels, clamped.
SOFT_INLINE __m256i fetch_one(const SoftImage& img, __m256i x0, __m256i y0) {
  const __m256i xa = clamp(x0, _mm256_set1_epi32(img.width - 1));
  const __m256i ya = clamp(y0, _mm256_set1_epi32(img.height - 1));
  alignas(32) std::int32_t at[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(at),
                     _mm256_add_epi32(_mm256_mullo_epi32(ya, _mm256_set1_epi32(img.width)), xa));
  const auto* t = reinterpret_cast<const int*>(img.texels);
  return _mm256_setr_epi32(t[at[0]], t[at[1]], t[at[2]], t[at[3]], t[at[4]], t[at[5]], t[at[6]],
                           t[at[7]]);
}

// A colour as two registers of 16-bit lanes: (blue, red) and (green, alpha).
struct Colour {
  __m256i lo, hi;
};

SOFT_INLINE Colour split(__m256i p) {
  return {_mm256_and_si256(p, _mm256_set1_epi32(0x00FF00FF)), _mm256_srli_epi16(p, 8)};
}

// lerp(a, b, f) = (a·(256 - f) + b·f + 128) >> 8 = a + (((b - a)·f + 128) >> 8),
// and the rounding multiply gives the second term exactly: for w = 128·f it
// is (x·w + 2^14) >> 15 with x = b - a, and x·w = 128·(b - a)·f.
SOFT_INLINE __m256i lerp(__m256i a, __m256i b, __m256i w) {
  return _mm256_add_epi16(a, _mm256_mulhrs_epi16(_mm256_sub_epi16(b, a), w));
}

SOFT_INLINE Colour filter(const Block& t, __m256i fx, __m256i fy) {
  // 128·f in both 16-bit halves of each lane.
  const __m256i wy = _mm256_or_si256(_mm256_slli_epi32(fy, 7), _mm256_slli_epi32(fy, 23));
  const __m256i wx = _mm256_or_si256(_mm256_slli_epi32(fx, 7), _mm256_slli_epi32(fx, 23));
  const Colour p00 = split(t.p00), p01 = split(t.p01), p10 = split(t.p10), p11 = split(t.p11);
  const __m256i c0lo = lerp(p00.lo, p10.lo, wy), c1lo = lerp(p01.lo, p11.lo, wy);
  const __m256i c0hi = lerp(p00.hi, p10.hi, wy), c1hi = lerp(p01.hi, p11.hi, wy);
  return {lerp(c0lo, c1lo, wx), lerp(c0hi, c1hi, wx)};
}

// Rounded division by 255 of each 16-bit lane holding at most 255·255.
SOFT_INLINE __m256i div255(__m256i x) {
  const __m256i t = _mm256_add_epi16(x, _mm256_set1_epi16(128));
  return _mm256_srli_epi16(_mm256_add_epi16(t, _mm256_srli_epi16(t, 8)), 8);
}

// Source-over or additive blend of the source s with coverage as (in both
// 16-bit halves of each lane) onto dst; alpha bytes come out 0.
template <bool Add>
SOFT_INLINE __m256i blend(const Colour& s, __m256i as, __m256i dst, int repeat) {
  const __m256i rgb = _mm256_set1_epi32(0x00FFFFFF);
  if constexpr (Add) {
    const __m256i lo = div255(_mm256_mullo_epi16(s.lo, as));
    const __m256i hi = div255(_mm256_mullo_epi16(s.hi, as));
    const __m256i x = _mm256_or_si256(lo, _mm256_slli_epi16(hi, 8));
    __m256i sum = dst;
    for (int r = 0; r < repeat; ++r) sum = _mm256_adds_epu8(x, sum);
    return _mm256_and_si256(sum, rgb);
  } else {
    // Opaque everywhere: div255(s·255) is s itself.
    const __m256i opaque = _mm256_cmpeq_epi16(as, _mm256_set1_epi16(255));
    if (_mm256_movemask_epi8(opaque) == -1) {
      return _mm256_and_si256(_mm256_or_si256(s.lo, _mm256_slli_epi16(s.hi, 8)), rgb);
    }
    const Colour d = split(dst);
    const __m256i inv = _mm256_sub_epi16(_mm256_set1_epi16(255), as);
    const __m256i lo =
        div255(_mm256_add_epi16(_mm256_mullo_epi16(s.lo, as), _mm256_mullo_epi16(d.lo, inv)));
    const __m256i hi =
        div255(_mm256_add_epi16(_mm256_mullo_epi16(s.hi, as), _mm256_mullo_epi16(d.hi, inv)));
    return _mm256_and_si256(_mm256_or_si256(lo, _mm256_slli_epi16(hi, 8)), rgb);
  }
}

struct SpanState {
  const SoftSpanParams* pr;
  Positions u, v;
  const std::uint32_t* row;  // Sampling::Row: the texel row, and
  int x0;                    // the texel column of the step's first pixel
  std::int64_t u0, v0;       // the step's first position
  std::int64_t du, dv;       // per pixel
};

SOFT_INLINE void advance(SpanState& st, __m256i du8, __m256i dv8) {
  advance(st.u, du8);
  advance(st.v, dv8);
  st.x0 += 8;
  st.u0 += 8 * st.du;
  st.v0 += 8 * st.dv;
}

// Where a step's eight pixels all read inside a window of 16 columns and 3
// rows (no minification, edges not reached), the texels come from two
// 8-texel loads per row, each pixel's picked by a lane permute: cheaper
// than gathers. With a fourth row the permutes and blends cost more than
// the gathers they save. False otherwise.
SOFT_INLINE bool fetch_rows(const SpanState& st, __m256i x0, __m256i y0, Block* out) {
  const SoftImage& img = st.pr->image;
  if (img.width < 16) return false;
  const int xa = static_cast<int>(st.u0 >> 32), xb = static_cast<int>((st.u0 + 7 * st.du) >> 32);
  const int ya = static_cast<int>(st.v0 >> 32), yb = static_cast<int>((st.v0 + 7 * st.dv) >> 32);
  const int xmin = xa < xb ? xa : xb, xmax = xa < xb ? xb : xa;
  const int ymin = ya < yb ? ya : yb, ymax = ya < yb ? yb : ya;
  if (xmin < 0 || xmax + 1 >= img.width || ymin < 0 || ymax + 1 >= img.height) return false;
  if (xmax - xmin > 14 || ymax - ymin > 1) return false;
  const int base = xmin + 16 <= img.width ? xmin : img.width - 16;
  const __m256i left = _mm256_sub_epi32(x0, _mm256_set1_epi32(base));
  const __m256i right = _mm256_add_epi32(left, _mm256_set1_epi32(1));
  const __m256i seven = _mm256_set1_epi32(7);
  const __m256i left_high = _mm256_cmpgt_epi32(left, seven);
  const __m256i right_high = _mm256_cmpgt_epi32(right, seven);
  const std::uint32_t* row = img.texels + static_cast<std::size_t>(ymin) * img.width + base;
  const auto pick_row = [&](const std::uint32_t* r, __m256i* l, __m256i* h)
      __attribute__((always_inline)) {
    const __m256i lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r));
    const __m256i hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r + 8));
    *l = _mm256_blendv_epi8(_mm256_permutevar8x32_epi32(lo, left),
                            _mm256_permutevar8x32_epi32(hi, left), left_high);
    *h = _mm256_blendv_epi8(_mm256_permutevar8x32_epi32(lo, right),
                            _mm256_permutevar8x32_epi32(hi, right), right_high);
  };
  if (ymin == ymax) {  // one row of tops, one of bottoms
    pick_row(row, &out->p00, &out->p01);
    pick_row(row + img.width, &out->p10, &out->p11);
    return true;
  }
  // Three rows: the middle one tops the pixels below ymin + 1 and bottoms
  // the others.
  __m256i l0, h0, l1, h1, l2, h2;
  pick_row(row, &l0, &h0);
  pick_row(row + img.width, &l1, &h1);
  pick_row(row + 2 * img.width, &l2, &h2);
  const __m256i upper = _mm256_cmpeq_epi32(y0, _mm256_set1_epi32(ymin));
  out->p00 = _mm256_blendv_epi8(l1, l0, upper);
  out->p01 = _mm256_blendv_epi8(h1, h0, upper);
  out->p10 = _mm256_blendv_epi8(l2, l1, upper);
  out->p11 = _mm256_blendv_epi8(h2, h1, upper);
  return true;
}

SOFT_INLINE bool transparent(__m256i texels) {
  return _mm256_testz_si256(texels, _mm256_set1_epi32(static_cast<int>(0xFF000000u)));
}

// The source colours of one step; false when every texel is transparent.
template <Sampling S>
SOFT_INLINE bool sample(const SpanState& st, Colour* out) {
  const SoftImage& img = st.pr->image;
  __m256i p;
  if constexpr (S == Sampling::Bilinear || S == Sampling::Scattered) {
    const __m256i x0 = whole(st.u), y0 = whole(st.v);
    Block t;
    if (S == Sampling::Scattered || !fetch_rows(st, x0, y0, &t)) t = fetch_block(img, x0, y0);
    if (transparent(
            _mm256_or_si256(_mm256_or_si256(t.p00, t.p01), _mm256_or_si256(t.p10, t.p11)))) {
      return false;
    }
    *out = filter(t, weight(st.u), weight(st.v));
    return true;
  } else if constexpr (S == Sampling::Row) {
    if (st.x0 >= 0 && st.x0 <= img.width - 8) {
      p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(st.row + st.x0));
    } else {
      p = fetch_one(img, whole(st.u), whole(st.v));
    }
  } else {
    p = fetch_one(img, whole(st.u), whole(st.v));
  }
  if (transparent(p)) return false;
  *out = split(p);
  return true;
}

// One step of eight pixels; `lanes` masks off those past the span's end.
template <bool Add, Sampling S>
SOFT_INLINE void step(const SpanState& st, std::uint32_t* color, std::uint16_t* depth,
                      __m128i lanes) {
  const __m128i z = _mm_set1_epi16(static_cast<short>(st.pr->z));
  const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(depth));
  const __m128i pass = _mm_and_si128(_mm_cmpeq_epi16(_mm_max_epu16(d, z), d), lanes);
  if (_mm_movemask_epi8(pass) == 0) return;
  Colour s;
  if (!sample<S>(st, &s)) return;
  __m256i as = _mm256_srli_epi32(s.hi, 16);
  if (st.pr->alpha != 255) {
    as = div255(_mm256_mullo_epi16(as, _mm256_set1_epi32(static_cast<int>(st.pr->alpha))));
  }
  const __m256i write = _mm256_andnot_si256(_mm256_cmpeq_epi32(as, _mm256_setzero_si256()),
                                            _mm256_cvtepi16_epi32(pass));
  const __m256i dst = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(color));
  const __m256i out =
      blend<Add>(s, _mm256_or_si256(as, _mm256_slli_epi32(as, 16)), dst, st.pr->repeat);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(color), _mm256_blendv_epi8(dst, out, write));
  const __m128i write16 =
      _mm_packs_epi32(_mm256_castsi256_si128(write), _mm256_extracti128_si256(write, 1));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(depth), _mm_blendv_epi8(d, z, write16));
}

// Kept out of line, so that the dispatch to it stays a jump.
template <bool Add, Sampling S>
__attribute__((noinline)) void span(const SoftSpan& sp, const SoftSpanParams& pr) {
  SpanState st{&pr,
               start_positions(sp.u, sp.du),
               start_positions(sp.v, sp.dv),
               nullptr,
               0,
               sp.u,
               sp.v,
               sp.du,
               sp.dv};
  if constexpr (S == Sampling::Row) {
    int y0 = static_cast<int>(sp.v >> 32);
    y0 = y0 < 0 ? 0 : (y0 >= pr.image.height ? pr.image.height - 1 : y0);
    st.row = pr.image.texels + static_cast<std::size_t>(y0) * pr.image.width;
    st.x0 = static_cast<int>(sp.u >> 32);
  }
  const __m256i du = _mm256_set1_epi64x(8 * sp.du), dv = _mm256_set1_epi64x(8 * sp.dv);
  const __m128i all = _mm_set1_epi16(-1);
  int i = 0;
  for (; i + 8 <= sp.count; i += 8) {
    step<Add, S>(st, sp.color + i, sp.depth + i, all);
    advance(st, du, dv);
  }
  if (i == sp.count) return;
  const int n = sp.count - i;
  const __m128i lanes = _mm_cmpgt_epi16(_mm_set1_epi16(static_cast<short>(n)),
                                        _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7));
  if (sp.room - i >= 8) {  // the masked lanes write back what they read
    step<Add, S>(st, sp.color + i, sp.depth + i, lanes);
    return;
  }
  // Else the last few pixels go through a copy, so that nothing past the
  // span is read or written (fixed-length loops: no call to memcpy).
  std::uint32_t color[8] = {};
  std::uint16_t depth[8] = {};
  for (int k = 0; k < 8; ++k) {
    if (k < n) color[k] = sp.color[i + k], depth[k] = sp.depth[i + k];
  }
  step<Add, S>(st, color, depth, lanes);
  for (int k = 0; k < 8; ++k) {
    if (k < n) sp.color[i + k] = color[k], sp.depth[i + k] = depth[k];
  }
}

// Whether fetch_rows fails on every step of a span stepping du, dv per
// pixel: over seven steps the whole texel moves at least by the floor of
// seven steps, so from 15 columns or 2 rows on the window is always left.
bool scattered(std::int64_t du, std::int64_t dv, const SoftImage& img) {
  constexpr std::int64_t kOne = std::int64_t{1} << 32;
  du = du < 0 ? -du : du;
  dv = dv < 0 ? -dv : dv;
  return img.width < 16 || 7 * du >= 15 * kOne || 7 * dv >= 2 * kOne;
}

// Nearest when no pixel has a fraction: positions step by whole texels and
// start on one.
Sampling sampling_of(const SoftSpan& sp, const SoftImage& img) {
  if (!soft_unfiltered(sp)) {
    return scattered(sp.du, sp.dv, img) ? Sampling::Scattered : Sampling::Bilinear;
  }
  return sp.dv == 0 && sp.du == (std::int64_t{1} << 32) ? Sampling::Row : Sampling::Nearest;
}

template <bool Add>
void span_for(const SoftSpan& sp, const SoftSpanParams& pr) {
  switch (sampling_of(sp, pr.image)) {
    case Sampling::Bilinear:
      return span<Add, Sampling::Bilinear>(sp, pr);
    case Sampling::Scattered:
      return span<Add, Sampling::Scattered>(sp, pr);
    case Sampling::Nearest:
      return span<Add, Sampling::Nearest>(sp, pr);
    case Sampling::Row:
      return span<Add, Sampling::Row>(sp, pr);
  }
}

// Fractional steps filter every span of a quad, so its code is chosen once.
template <bool Add>
SoftSpanCode code_for(const SoftSpanParams& pr, std::int64_t du, std::int64_t dv) {
  if (soft_whole_steps(du, dv)) return span_for<Add>;
  return scattered(du, dv, pr.image) ? span<Add, Sampling::Scattered>
                                     : span<Add, Sampling::Bilinear>;
}

}  // namespace

void soft_span_avx2(const SoftSpan& span, const SoftSpanParams& params, bool add) {
  if (add) {
    span_for<true>(span, params);
  } else {
    span_for<false>(span, params);
  }
}

SoftSpanCode soft_span_avx2_code(const SoftSpanParams& params, std::int64_t du, std::int64_t dv,
                                 bool add) {
  return add ? code_for<true>(params, du, dv) : code_for<false>(params, du, dv);
}

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#endif  // SOFT_HAVE_AVX2
