#include <emmintrin.h>

#include <cstdlib>

#include "mpeg/dsp/dsp.h"

namespace zr::mpeg::dsp {

namespace {

inline int HalfSample(const uint8_t* p, int stride, int hx, int hy) {
  if (hx && hy) return (p[0] + p[1] + p[stride] + p[stride + 1] + 2) >> 2;
  if (hx) return (p[0] + p[1] + 1) >> 1;
  if (hy) return (p[0] + p[stride] + 1) >> 1;
  return p[0];
}

// 16 half-pixel reference samples of one row. _mm_avg_epu8 rounds up like (a + b + 1) >> 1;
// the four-sample case needs the exact (a + b + c + d + 2) >> 2, so it widens to 16 bits.
inline __m128i HalfRow(const uint8_t* p, int stride, int hx, int hy) {
  __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  if (!hx && !hy) return a;
  if (hx && !hy) return _mm_avg_epu8(a, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1)));
  __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + stride));
  if (!hx) return _mm_avg_epu8(a, c);
  __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
  __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + stride + 1));
  __m128i zero = _mm_setzero_si128();
  __m128i two = _mm_set1_epi16(2);
  __m128i lo = _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero)),
                             _mm_add_epi16(_mm_unpacklo_epi8(c, zero), _mm_unpacklo_epi8(d, zero)));
  __m128i hi = _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero)),
                             _mm_add_epi16(_mm_unpackhi_epi8(c, zero), _mm_unpackhi_epi8(d, zero)));
  lo = _mm_srli_epi16(_mm_add_epi16(lo, two), 2);
  hi = _mm_srli_epi16(_mm_add_epi16(hi, two), 2);
  return _mm_packus_epi16(lo, hi);
}

inline int Total(__m128i sad) {
  return _mm_cvtsi128_si32(_mm_add_epi32(sad, _mm_srli_si128(sad, 8)));
}

// Sum of squared differences of 16 bytes, accumulated into 32-bit lanes.
inline __m128i SquaredRow(__m128i ref, __m128i cur, __m128i acc) {
  __m128i zero = _mm_setzero_si128();
  __m128i dlo = _mm_sub_epi16(_mm_unpacklo_epi8(ref, zero), _mm_unpacklo_epi8(cur, zero));
  __m128i dhi = _mm_sub_epi16(_mm_unpackhi_epi8(ref, zero), _mm_unpackhi_epi8(cur, zero));
  return _mm_add_epi32(acc, _mm_add_epi32(_mm_madd_epi16(dlo, dlo), _mm_madd_epi16(dhi, dhi)));
}

inline int Total32(__m128i acc) {
  acc = _mm_add_epi32(acc, _mm_srli_si128(acc, 8));
  acc = _mm_add_epi32(acc, _mm_srli_si128(acc, 4));
  return _mm_cvtsi128_si32(acc);
}

}  // namespace

int SadRef(const uint8_t* ref, const uint8_t* cur, int stride, int rows, int limit) {
  int sum = 0;
  for (int j = 0; j < rows; ++j) {
    for (int i = 0; i < 16; ++i) sum += std::abs(ref[i] - cur[i]);
    if (sum >= limit) break;
    ref += stride;
    cur += stride;
  }
  return sum;
}

int SadSse2(const uint8_t* ref, const uint8_t* cur, int stride, int rows, int limit) {
  // The limit is looked at every fourth row: the partial sum may then be larger than the
  // reference's, but it is >= limit exactly when the reference's is.
  __m128i acc = _mm_setzero_si128();
  int j = 0;
  for (; j + 4 <= rows; j += 4) {
    for (int k = 0; k < 4; ++k) {
      __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ref));
      __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cur));
      acc = _mm_add_epi64(acc, _mm_sad_epu8(r, c));
      ref += stride;
      cur += stride;
    }
    int sum = Total(acc);
    if (sum >= limit) return sum;
  }
  for (; j < rows; ++j) {
    __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ref));
    __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cur));
    acc = _mm_add_epi64(acc, _mm_sad_epu8(r, c));
    ref += stride;
    cur += stride;
  }
  return Total(acc);
}

int SadHalfRef(const uint8_t* ref, const uint8_t* cur, int stride, int hx, int hy, int rows) {
  int sum = 0;
  for (int j = 0; j < rows; ++j) {
    for (int i = 0; i < 16; ++i) sum += std::abs(HalfSample(ref + i, stride, hx, hy) - cur[i]);
    ref += stride;
    cur += stride;
  }
  return sum;
}

int SadHalfSse2(const uint8_t* ref, const uint8_t* cur, int stride, int hx, int hy, int rows) {
  __m128i acc = _mm_setzero_si128();
  for (int j = 0; j < rows; ++j) {
    __m128i r = HalfRow(ref, stride, hx, hy);
    __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cur));
    acc = _mm_add_epi64(acc, _mm_sad_epu8(r, c));
    ref += stride;
    cur += stride;
  }
  return Total(acc);
}

int SseHalfRef(const uint8_t* ref, const uint8_t* cur, int stride, int hx, int hy, int rows) {
  int sum = 0;
  for (int j = 0; j < rows; ++j) {
    for (int i = 0; i < 16; ++i) {
      int d = HalfSample(ref + i, stride, hx, hy) - cur[i];
      sum += d * d;
    }
    ref += stride;
    cur += stride;
  }
  return sum;
}

int SseHalfSse2(const uint8_t* ref, const uint8_t* cur, int stride, int hx, int hy, int rows) {
  __m128i acc = _mm_setzero_si128();
  for (int j = 0; j < rows; ++j) {
    __m128i r = HalfRow(ref, stride, hx, hy);
    __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cur));
    acc = SquaredRow(r, c, acc);
    ref += stride;
    cur += stride;
  }
  return Total32(acc);
}

int SseBiRef(const uint8_t* fwd, int fhx, int fhy, const uint8_t* bwd, int bhx, int bhy,
             const uint8_t* cur, int stride, int rows) {
  int sum = 0;
  for (int j = 0; j < rows; ++j) {
    for (int i = 0; i < 16; ++i) {
      int f = HalfSample(fwd + i, stride, fhx, fhy);
      int b = HalfSample(bwd + i, stride, bhx, bhy);
      int d = ((f + b + 1) >> 1) - cur[i];
      sum += d * d;
    }
    fwd += stride;
    bwd += stride;
    cur += stride;
  }
  return sum;
}

int SseBiSse2(const uint8_t* fwd, int fhx, int fhy, const uint8_t* bwd, int bhx, int bhy,
              const uint8_t* cur, int stride, int rows) {
  __m128i acc = _mm_setzero_si128();
  for (int j = 0; j < rows; ++j) {
    __m128i f = HalfRow(fwd, stride, fhx, fhy);
    __m128i b = HalfRow(bwd, stride, bhx, bhy);
    __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cur));
    acc = SquaredRow(_mm_avg_epu8(f, b), c, acc);
    fwd += stride;
    bwd += stride;
    cur += stride;
  }
  return Total32(acc);
}

void SadBoundsRef(const uint16_t* sums, int stride, const int quarter[4], int count,
                  uint16_t* out) {
  const int below = 8 * stride;
  for (int i = 0; i < count; ++i) {
    const uint16_t* s = sums + i;
    out[i] = uint16_t(std::abs(s[0] - quarter[0]) + std::abs(s[8] - quarter[1]) +
                      std::abs(s[below] - quarter[2]) + std::abs(s[below + 8] - quarter[3]));
  }
}

void SadRowRef(const uint8_t* ref, const uint8_t* cur, int stride, uint16_t out[16]) {
  for (int p = 0; p < 16; ++p) out[p] = uint16_t(SadRef(ref + p, cur, stride, 16, 65536));
}

void SadHalfNineRef(const uint8_t* ref, const uint8_t* cur, int stride, int out[9]) {
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx)
      out[3 * (dy + 1) + dx + 1] = SadHalfRef(ref + (dy < 0 ? -stride : 0) + (dx < 0 ? -1 : 0),
                                              cur, stride, dx != 0, dy != 0, 16);
}

void SadBoundsSse2(const uint16_t* sums, int stride, const int quarter[4], int count,
                   uint16_t* out) {
  const int below = 8 * stride;
  const __m128i q0 = _mm_set1_epi16(int16_t(quarter[0])), q1 = _mm_set1_epi16(int16_t(quarter[1]));
  const __m128i q2 = _mm_set1_epi16(int16_t(quarter[2])), q3 = _mm_set1_epi16(int16_t(quarter[3]));
  auto absDiff = [](__m128i a, __m128i b) {
    return _mm_or_si128(_mm_subs_epu16(a, b), _mm_subs_epu16(b, a));
  };
  auto load = [](const uint16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
  for (int i = 0; i < count; i += 8) {
    const uint16_t* s = sums + i;
    __m128i b = _mm_add_epi16(absDiff(load(s), q0), absDiff(load(s + 8), q1));
    b = _mm_add_epi16(b, _mm_add_epi16(absDiff(load(s + below), q2), absDiff(load(s + below + 8), q3)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), b);
  }
}

void ColourRowSse2(const uint8_t* r, const uint8_t* g, const uint8_t* b, int count, uint8_t* y,
                   uint8_t* cb, uint8_t* cr) {
  // Pairs (b, g) and (r, 2) against coefficient pairs: 32-bit sums, as the integer form.
  // The 2 x 16384 term is the +128 of the chroma; packs then packus clamp to 0..255.
  const __m128i zero = _mm_setzero_si128(), two = _mm_set1_epi16(2);
  const __m128i yBg = _mm_set_epi16(150, 29, 150, 29, 150, 29, 150, 29);
  const __m128i yR = _mm_set_epi16(0, 77, 0, 77, 0, 77, 0, 77);
  const __m128i uBg = _mm_set_epi16(-87, 131, -87, 131, -87, 131, -87, 131);
  const __m128i uR = _mm_set_epi16(16384, -44, 16384, -44, 16384, -44, 16384, -44);
  const __m128i vBg = _mm_set_epi16(-110, -21, -110, -21, -110, -21, -110, -21);
  const __m128i vR = _mm_set_epi16(16384, 131, 16384, 131, 16384, 131, 16384, 131);
  auto load8 = [&](const uint8_t* p) {
    return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero);
  };
  auto convert = [](__m128i bgLo, __m128i bgHi, __m128i rLo, __m128i rHi, __m128i cBg,
                    __m128i cR, uint8_t* out) {
    __m128i lo = _mm_add_epi32(_mm_madd_epi16(bgLo, cBg), _mm_madd_epi16(rLo, cR));
    __m128i hi = _mm_add_epi32(_mm_madd_epi16(bgHi, cBg), _mm_madd_epi16(rHi, cR));
    __m128i words = _mm_packs_epi32(_mm_srai_epi32(lo, 8), _mm_srai_epi32(hi, 8));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(words, words));
  };
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m128i R = load8(r + i), G = load8(g + i), B = load8(b + i);
    const __m128i bgLo = _mm_unpacklo_epi16(B, G), bgHi = _mm_unpackhi_epi16(B, G);
    const __m128i rLo = _mm_unpacklo_epi16(R, two), rHi = _mm_unpackhi_epi16(R, two);
    convert(bgLo, bgHi, rLo, rHi, yBg, yR, y + i);
    convert(bgLo, bgHi, rLo, rHi, uBg, uR, cb + i);
    convert(bgLo, bgHi, rLo, rHi, vBg, vR, cr + i);
  }
  for (; i < count; ++i) ColourPixel(r[i], g[i], b[i], y[i], cb[i], cr[i]);
}

}  // namespace zr::mpeg::dsp
