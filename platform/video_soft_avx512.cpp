// The soft device's span code for processors with AVX-512 (F, BW, VL):
// sixteen pixels a step, the same layout and arithmetic as the AVX2 code
// (video_soft_avx2.cpp), with mask registers for the depth and alpha tests
// and for a span's last pixels. Only called once the processor is known to
// have it.
#include "platform/video_soft_raster_internal.h"

#if SOFT_HAVE_AVX2
#include <immintrin.h>

#include <cstddef>

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f,avx512bw,avx512vl"))), \
                             apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vl")
// GCC 12's AVX-512 intrinsics pass a deliberately undefined vector as the
// unused merge source, which its own flow analysis then reports.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#define SOFT_INLINE inline __attribute__((always_inline))

namespace {

// Sixteen 64-bit positions: pixels 0, 1, 4, 5, 8, 9, 12, 13 in a and the
// others in b, so that a lane-wise shuffle of their halves is in order.
struct Positions {
  __m512i a, b;
};

SOFT_INLINE Positions start_positions(std::int64_t p, std::int64_t dp) {
  const auto at = [p, dp](int k) { return p + k * dp; };
  return {_mm512_setr_epi64(at(0), at(1), at(4), at(5), at(8), at(9), at(12), at(13)),
          _mm512_setr_epi64(at(2), at(3), at(6), at(7), at(10), at(11), at(14), at(15))};
}

SOFT_INLINE __m512i pick_dwords(const Positions& p, int high) {
  const __m512 a = _mm512_castsi512_ps(p.a), b = _mm512_castsi512_ps(p.b);
  return _mm512_castps_si512(high ? _mm512_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1))
                                  : _mm512_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
}

SOFT_INLINE __m512i clamp(__m512i x, __m512i hi) {
  return _mm512_max_epi32(_mm512_min_epi32(x, hi), _mm512_setzero_si512());
}

struct Block {
  __m512i p00, p01, p10, p11;
};

struct State {
  const SoftSpanParams* pr;
  Positions u, v;
  std::int64_t u0, v0, du, dv;  // the step's first position, per pixel
};

// Every pixel of the step inside a 32-column, 7-row window of the image:
// two loads per row and a two-register permute per texel column.
SOFT_INLINE bool fetch_rows(const State& st, __m512i x0, __m512i y0, Block* out) {
  const SoftImage& img = st.pr->image;
  const int xa = static_cast<int>(st.u0 >> 32), xb = static_cast<int>((st.u0 + 15 * st.du) >> 32);
  const int ya = static_cast<int>(st.v0 >> 32), yb = static_cast<int>((st.v0 + 15 * st.dv) >> 32);
  const int xmin = xa < xb ? xa : xb, xmax = xa < xb ? xb : xa;
  const int ymin = ya < yb ? ya : yb, ymax = ya < yb ? yb : ya;
  if (xmin < 0 || xmax + 1 >= img.width || ymin < 0 || ymax + 1 >= img.height) return false;
  if (xmax - xmin > 30 || ymax - ymin > 5 || img.width < 32) return false;
  const int base = xmin + 32 <= img.width ? xmin : img.width - 32;
  const __m512i left = _mm512_sub_epi32(x0, _mm512_set1_epi32(base));
  const __m512i right = _mm512_add_epi32(left, _mm512_set1_epi32(1));
  const __m512i below = _mm512_add_epi32(y0, _mm512_set1_epi32(1));
  const std::uint32_t* row = img.texels + static_cast<std::size_t>(ymin) * img.width + base;
  Block b{};
  for (int r = ymin; r <= ymax + 1; ++r, row += img.width) {
    const __m512i lo = _mm512_loadu_si512(row), hi = _mm512_loadu_si512(row + 16);
    const __m512i l = _mm512_permutex2var_epi32(lo, left, hi);
    const __m512i h = _mm512_permutex2var_epi32(lo, right, hi);
    const __m512i rv = _mm512_set1_epi32(r);
    const __mmask16 top = _mm512_cmpeq_epi32_mask(y0, rv);
    const __mmask16 bottom = _mm512_cmpeq_epi32_mask(below, rv);
    b.p00 = _mm512_mask_mov_epi32(b.p00, top, l);
    b.p01 = _mm512_mask_mov_epi32(b.p01, top, h);
    b.p10 = _mm512_mask_mov_epi32(b.p10, bottom, l);
    b.p11 = _mm512_mask_mov_epi32(b.p11, bottom, h);
  }
  *out = b;
  return true;
}

// Otherwise each row's two texels are one 64-bit gather lane from column
// clamp(x0, 0, width - 2); outside, both become the edge texel.
SOFT_INLINE Block fetch_block(const SoftImage& img, __m512i x0, __m512i y0) {
  const __m512i w = _mm512_set1_epi32(img.width), cmax = _mm512_set1_epi32(img.width - 2);
  const __m512i ymax = _mm512_set1_epi32(img.height - 1);
  const __m512i c = clamp(x0, cmax);
  const __m512i ya = clamp(y0, ymax);
  const __m512i yb = clamp(_mm512_add_epi32(y0, _mm512_set1_epi32(1)), ymax);
  const __m512i ia = _mm512_add_epi32(_mm512_mullo_epi32(ya, w), c);
  const __m512i ib = _mm512_add_epi32(_mm512_mullo_epi32(yb, w), c);
  const auto* t = reinterpret_cast<const long long*>(img.texels);
  const __m512i ta = _mm512_i32gather_epi64(_mm512_castsi512_si256(ia), t, 4);
  const __m512i tb = _mm512_i32gather_epi64(_mm512_extracti64x4_epi64(ia, 1), t, 4);
  const __m512i ba = _mm512_i32gather_epi64(_mm512_castsi512_si256(ib), t, 4);
  const __m512i bb = _mm512_i32gather_epi64(_mm512_extracti64x4_epi64(ib, 1), t, 4);
  const __m512i even = _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
  const __m512i odd = _mm512_add_epi32(even, _mm512_set1_epi32(1));
  Block b{_mm512_permutex2var_epi32(ta, even, tb), _mm512_permutex2var_epi32(ta, odd, tb),
          _mm512_permutex2var_epi32(ba, even, bb), _mm512_permutex2var_epi32(ba, odd, bb)};
  const __mmask16 left = _mm512_cmplt_epi32_mask(x0, _mm512_setzero_si512());
  const __mmask16 right = _mm512_cmpgt_epi32_mask(x0, cmax);
  b.p01 = _mm512_mask_mov_epi32(b.p01, left, b.p00);
  b.p11 = _mm512_mask_mov_epi32(b.p11, left, b.p10);
  b.p00 = _mm512_mask_mov_epi32(b.p00, right, b.p01);
  b.p10 = _mm512_mask_mov_epi32(b.p10, right, b.p11);
  return b;
}

// (blue, red) and (green, alpha) in 16-bit lanes.
struct Colour {
  __m512i lo, hi;
};

SOFT_INLINE Colour split(__m512i p) {
  return {_mm512_and_si512(p, _mm512_set1_epi32(0x00FF00FF)), _mm512_srli_epi16(p, 8)};
}

// a + (((b - a)·f + 128) >> 8) with w = 128·f, as in the AVX2 code.
SOFT_INLINE __m512i lerp(__m512i a, __m512i b, __m512i w) {
  return _mm512_add_epi16(a, _mm512_mulhrs_epi16(_mm512_sub_epi16(b, a), w));
}

SOFT_INLINE Colour filter(const Block& t, __m512i fx, __m512i fy) {
  const __m512i wy = _mm512_or_si512(_mm512_slli_epi32(fy, 7), _mm512_slli_epi32(fy, 23));
  const __m512i wx = _mm512_or_si512(_mm512_slli_epi32(fx, 7), _mm512_slli_epi32(fx, 23));
  const Colour p00 = split(t.p00), p01 = split(t.p01), p10 = split(t.p10), p11 = split(t.p11);
  const __m512i c0lo = lerp(p00.lo, p10.lo, wy), c1lo = lerp(p01.lo, p11.lo, wy);
  const __m512i c0hi = lerp(p00.hi, p10.hi, wy), c1hi = lerp(p01.hi, p11.hi, wy);
  return {lerp(c0lo, c1lo, wx), lerp(c0hi, c1hi, wx)};
}

SOFT_INLINE __m512i div255(__m512i x) {
  const __m512i t = _mm512_add_epi16(x, _mm512_set1_epi16(128));
  return _mm512_srli_epi16(_mm512_add_epi16(t, _mm512_srli_epi16(t, 8)), 8);
}

template <bool Add>
SOFT_INLINE __m512i blend(const Colour& s, __m512i as, __m512i dst, int repeat) {
  const __m512i rgb = _mm512_set1_epi32(0x00FFFFFF);
  if constexpr (Add) {
    const __m512i lo = div255(_mm512_mullo_epi16(s.lo, as));
    const __m512i hi = div255(_mm512_mullo_epi16(s.hi, as));
    const __m512i x = _mm512_or_si512(lo, _mm512_slli_epi16(hi, 8));
    __m512i sum = dst;
    for (int r = 0; r < repeat; ++r) sum = _mm512_adds_epu8(x, sum);
    return _mm512_and_si512(sum, rgb);
  } else {
    const Colour d = split(dst);
    const __m512i inv = _mm512_sub_epi16(_mm512_set1_epi16(255), as);
    const __m512i lo =
        div255(_mm512_add_epi16(_mm512_mullo_epi16(s.lo, as), _mm512_mullo_epi16(d.lo, inv)));
    const __m512i hi =
        div255(_mm512_add_epi16(_mm512_mullo_epi16(s.hi, as), _mm512_mullo_epi16(d.hi, inv)));
    return _mm512_and_si512(_mm512_or_si512(lo, _mm512_slli_epi16(hi, 8)), rgb);
  }
}

// One step of sixteen pixels; `lanes` holds those inside the span.
template <bool Add>
SOFT_INLINE void step(const State& st, std::uint32_t* color, std::uint16_t* depth,
                      __mmask16 lanes) {
  const __m256i z = _mm256_set1_epi16(static_cast<short>(st.pr->z));
  const __m256i d = _mm256_maskz_loadu_epi16(lanes, depth);
  const __mmask16 pass = _mm256_mask_cmple_epu16_mask(lanes, z, d);
  if (pass == 0) return;
  const __m512i x0 = pick_dwords(st.u, 1), y0 = pick_dwords(st.v, 1);
  Block t;
  if (!fetch_rows(st, x0, y0, &t)) t = fetch_block(st.pr->image, x0, y0);
  const __m512i any = _mm512_or_si512(_mm512_or_si512(t.p00, t.p01), _mm512_or_si512(t.p10, t.p11));
  if (_mm512_test_epi32_mask(any, _mm512_set1_epi32(static_cast<int>(0xFF000000u))) == 0) return;
  const Colour s = filter(t, _mm512_srli_epi32(pick_dwords(st.u, 0), 24),
                          _mm512_srli_epi32(pick_dwords(st.v, 0), 24));
  __m512i as = _mm512_srli_epi32(s.hi, 16);
  if (st.pr->alpha != 255) {
    as = div255(_mm512_mullo_epi16(as, _mm512_set1_epi32(static_cast<int>(st.pr->alpha))));
  }
  const __mmask16 write = _mm512_mask_test_epi32_mask(pass, as, as);
  const __m512i dst = _mm512_maskz_loadu_epi32(lanes, color);
  const __m512i out =
      blend<Add>(s, _mm512_or_si512(as, _mm512_slli_epi32(as, 16)), dst, st.pr->repeat);
  _mm512_mask_storeu_epi32(color, write, out);
  _mm256_mask_storeu_epi16(depth, write, z);
}

template <bool Add>
void span(const SoftSpan& sp, const SoftSpanParams& pr) {
  State st{&pr,  start_positions(sp.u, sp.du), start_positions(sp.v, sp.dv), sp.u, sp.v, sp.du,
           sp.dv};
  const __m512i du = _mm512_set1_epi64(16 * sp.du), dv = _mm512_set1_epi64(16 * sp.dv);
  for (int i = 0; i < sp.count; i += 16) {
    const int n = sp.count - i;
    const __mmask16 lanes = n >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << n) - 1);
    step<Add>(st, sp.color + i, sp.depth + i, lanes);
    st.u.a = _mm512_add_epi64(st.u.a, du);
    st.u.b = _mm512_add_epi64(st.u.b, du);
    st.v.a = _mm512_add_epi64(st.v.a, dv);
    st.v.b = _mm512_add_epi64(st.v.b, dv);
    st.u0 += 16 * sp.du;
    st.v0 += 16 * sp.dv;
  }
}

}  // namespace

void soft_span_avx512(const SoftSpan& span_, const SoftSpanParams& params, bool add) {
  // Whole-texel steps (no filtering) are the AVX2 code's cheaper special case.
  if (soft_unfiltered(span_)) return soft_span_avx2(span_, params, add);
  if (add) {
    span<true>(span_, params);
  } else {
    span<false>(span_, params);
  }
}

SoftSpanCode soft_span_avx512_code(const SoftSpanParams&, std::int64_t du, std::int64_t dv,
                                   bool add) {
  if (!soft_whole_steps(du, dv)) return add ? span<true> : span<false>;
  return add ? [](const SoftSpan& sp, const SoftSpanParams& pr) { soft_span_avx512(sp, pr, true); }
             : [](const SoftSpan& sp, const SoftSpanParams& pr) {
                 soft_span_avx512(sp, pr, false);
               };
}

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC diagnostic pop
#pragma GCC pop_options
#endif

#endif  // SOFT_HAVE_AVX2
