#include <immintrin.h>

#include "mpeg/dsp/dsp.h"

namespace zr::mpeg::dsp {

// Two 16-pixel rows per register: the low lane holds row j, the high lane row j + 1.
// clang ignores GCC target pragmas.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

namespace {

inline __m256i Lanes(const uint8_t* lo, const uint8_t* hi) {
  return _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lo))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(hi)), 1);
}

inline __m256i Widen(const uint8_t* p) {
  return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

struct RowSums {
  __m256i centre, left, right;  // p[0], p[-1] + p[0], p[0] + p[1]
};

inline RowSums SumsOfRow(const uint8_t* p) {
  const __m256i c = Widen(p);
  return RowSums{c, _mm256_add_epi16(Widen(p - 1), c), _mm256_add_epi16(c, Widen(p + 1))};
}

inline __m256i HalfOf(__m256i pair) {
  return _mm256_srli_epi16(_mm256_add_epi16(pair, _mm256_set1_epi16(1)), 1);
}

inline __m256i QuarterOf(__m256i a, __m256i b) {
  return _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(a, b), _mm256_set1_epi16(2)), 2);
}

inline __m256i AddAbsDiff(__m256i acc, __m256i a, __m256i b) {
  return _mm256_add_epi16(acc, _mm256_abs_epi16(_mm256_sub_epi16(a, b)));
}

inline __m256i TwoRows(const uint8_t* p, int stride) { return Lanes(p, p + stride); }

inline int Total(__m256i sad) {
  __m128i s = _mm_add_epi64(_mm256_castsi256_si128(sad), _mm256_extracti128_si256(sad, 1));
  return _mm_cvtsi128_si32(_mm_add_epi64(s, _mm_srli_si128(s, 8)));
}

// The half-pixel samples of two rows; the four-sample case widens for the exact rounding.
inline __m256i HalfTwoRows(const uint8_t* p, int stride, int hx, int hy) {
  const __m256i a = TwoRows(p, stride);
  if (!hx && !hy) return a;
  if (!hy) return _mm256_avg_epu8(a, TwoRows(p + 1, stride));
  const __m256i c = TwoRows(p + stride, stride);
  if (!hx) return _mm256_avg_epu8(a, c);
  const __m256i b = TwoRows(p + 1, stride), d = TwoRows(p + stride + 1, stride);
  const __m256i zero = _mm256_setzero_si256(), two = _mm256_set1_epi16(2);
  __m256i lo = _mm256_add_epi16(
      _mm256_add_epi16(_mm256_unpacklo_epi8(a, zero), _mm256_unpacklo_epi8(b, zero)),
      _mm256_add_epi16(_mm256_unpacklo_epi8(c, zero), _mm256_unpacklo_epi8(d, zero)));
  __m256i hi = _mm256_add_epi16(
      _mm256_add_epi16(_mm256_unpackhi_epi8(a, zero), _mm256_unpackhi_epi8(b, zero)),
      _mm256_add_epi16(_mm256_unpackhi_epi8(c, zero), _mm256_unpackhi_epi8(d, zero)));
  lo = _mm256_srli_epi16(_mm256_add_epi16(lo, two), 2);
  hi = _mm256_srli_epi16(_mm256_add_epi16(hi, two), 2);
  return _mm256_packus_epi16(lo, hi);
}

inline __m256i AbsDiff(__m256i a, __m256i b) {
  return _mm256_or_si256(_mm256_subs_epu16(a, b), _mm256_subs_epu16(b, a));
}

inline __m256i Load(const uint16_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

}  // namespace

int SadAvx2(const uint8_t* ref, const uint8_t* cur, int stride, int rows, int limit) {
  // The limit is looked at every fourth row, as in the SSE2 form.
  __m256i acc = _mm256_setzero_si256();
  int j = 0;
  for (; j + 4 <= rows; j += 4) {
    acc = _mm256_add_epi64(acc, _mm256_sad_epu8(TwoRows(ref, stride), TwoRows(cur, stride)));
    acc = _mm256_add_epi64(acc, _mm256_sad_epu8(TwoRows(ref + 2 * stride, stride),
                                                TwoRows(cur + 2 * stride, stride)));
    ref += 4 * stride;
    cur += 4 * stride;
    const int sum = Total(acc);
    if (sum >= limit) return sum;
  }
  int sum = Total(acc);
  for (; j < rows; ++j, ref += stride, cur += stride) {
    const __m128i s = _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(ref)),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(cur)));
    sum += _mm_cvtsi128_si32(_mm_add_epi64(s, _mm_srli_si128(s, 8)));
  }
  return sum;
}

int SadHalfAvx2(const uint8_t* ref, const uint8_t* cur, int stride, int hx, int hy, int rows) {
  __m256i acc = _mm256_setzero_si256();
  int j = 0;
  for (; j + 2 <= rows; j += 2, ref += 2 * stride, cur += 2 * stride)
    acc = _mm256_add_epi64(
        acc, _mm256_sad_epu8(HalfTwoRows(ref, stride, hx, hy), TwoRows(cur, stride)));
  int sum = Total(acc);
  if (j < rows) sum += SadHalfSse2(ref, cur, stride, hx, hy, rows - j);
  return sum;
}

void SadBoundsAvx2(const uint16_t* sums, int stride, const int quarter[4], int count,
                   uint16_t* out) {
  const int below = 8 * stride;
  const __m256i q0 = _mm256_set1_epi16(int16_t(quarter[0]));
  const __m256i q1 = _mm256_set1_epi16(int16_t(quarter[1]));
  const __m256i q2 = _mm256_set1_epi16(int16_t(quarter[2]));
  const __m256i q3 = _mm256_set1_epi16(int16_t(quarter[3]));
  for (int i = 0; i < count; i += 16) {
    const uint16_t* s = sums + i;
    __m256i b = _mm256_add_epi16(AbsDiff(Load(s), q0), AbsDiff(Load(s + 8), q1));
    b = _mm256_add_epi16(
        b, _mm256_add_epi16(AbsDiff(Load(s + below), q2), AbsDiff(Load(s + below + 8), q3)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), b);
  }
}

void SadRowAvx2(const uint8_t* ref, const uint8_t* cur, int stride, uint16_t out[16]) {
  // The low lane measures positions 0..7, the high lane 8..15; each mpsadbw adds one
  // 4-byte group of the current row at 8 offsets. Totals stay below 65536 (16 x 16 x 255).
  __m256i acc = _mm256_setzero_si256();
  for (int j = 0; j < 16; ++j, ref += stride, cur += stride) {
    const __m256i c = _mm256_broadcastsi128_si256(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(cur)));
    const __m256i near = Lanes(ref, ref + 8), far = Lanes(ref + 8, ref + 16);
    // Per lane: bits 0-1 choose the group of c, bit 2 starts the reference 4 bytes in.
    const __m256i g01 = _mm256_add_epi16(_mm256_mpsadbw_epu8(near, c, 0),
                                         _mm256_mpsadbw_epu8(near, c, 5 | 5 << 3));
    const __m256i g23 = _mm256_add_epi16(_mm256_mpsadbw_epu8(far, c, 2 | 2 << 3),
                                         _mm256_mpsadbw_epu8(far, c, 7 | 7 << 3));
    acc = _mm256_add_epi16(acc, _mm256_add_epi16(g01, g23));
  }
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), acc);
}

void SadHalfNineAvx2(const uint8_t* ref, const uint8_t* cur, int stride, int out[9]) {
  // Everything in 16 bits, one row of 16 samples per register: pair sums across (left and
  // right) and down give every half-pixel sample with its exact rounding, and the pair
  // sums down of rows j, j + 1 serve row j's lower and row j + 1's upper candidates.
  __m256i acc[9];
  for (__m256i& a : acc) a = _mm256_setzero_si256();
  RowSums above = SumsOfRow(ref - stride), row = SumsOfRow(ref);
  for (int j = 0; j < 16; ++j, ref += stride, cur += stride) {
    const RowSums below = SumsOfRow(ref + stride);
    const __m256i c = Widen(cur);
    acc[0] = AddAbsDiff(acc[0], QuarterOf(above.left, row.left), c);
    acc[1] = AddAbsDiff(acc[1], HalfOf(_mm256_add_epi16(above.centre, row.centre)), c);
    acc[2] = AddAbsDiff(acc[2], QuarterOf(above.right, row.right), c);
    acc[3] = AddAbsDiff(acc[3], HalfOf(row.left), c);
    acc[4] = AddAbsDiff(acc[4], row.centre, c);
    acc[5] = AddAbsDiff(acc[5], HalfOf(row.right), c);
    acc[6] = AddAbsDiff(acc[6], QuarterOf(row.left, below.left), c);
    acc[7] = AddAbsDiff(acc[7], HalfOf(_mm256_add_epi16(row.centre, below.centre)), c);
    acc[8] = AddAbsDiff(acc[8], QuarterOf(row.right, below.right), c);
    above = row;
    row = below;
  }
  // Lanes hold at most 16 x 255, so the 16-bit sums are exact.
  for (int k = 0; k < 9; ++k) {
    const __m256i s = _mm256_madd_epi16(acc[k], _mm256_set1_epi16(1));
    __m128i t = _mm_add_epi32(_mm256_castsi256_si128(s), _mm256_extracti128_si256(s, 1));
    t = _mm_add_epi32(t, _mm_srli_si128(t, 8));
    out[k] = _mm_cvtsi128_si32(_mm_add_epi32(t, _mm_srli_si128(t, 4)));
  }
}

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

}  // namespace zr::mpeg::dsp
