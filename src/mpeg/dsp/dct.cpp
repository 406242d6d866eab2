#include <immintrin.h>

#include <cmath>

#include "mpeg/dsp/dsp.h"

namespace zr::mpeg::dsp {

namespace {

// c[u][x] = s(u) cos(pi/8 u (x + 1/2)); cT is its transpose, for the vector form.
struct FdctTable {
  alignas(32) double c[8][8];
  alignas(32) double cT[8][8];
  FdctTable() {
    for (int u = 0; u < 8; ++u) {
      double s = u == 0 ? std::sqrt(0.125) : 0.5;
      for (int x = 0; x < 8; ++x) {
        c[u][x] = s * std::cos((M_PI / 8.0) * u * (x + 0.5));
        cT[x][u] = c[u][x];
      }
    }
  }
};

const FdctTable& Table() {
  static const FdctTable table;
  return table;
}

constexpr int W1 = 2841;  // 2048 sqrt(2) cos(k pi / 16)
constexpr int W2 = 2676;
constexpr int W3 = 2408;
constexpr int W5 = 1609;
constexpr int W6 = 1108;
constexpr int W7 = 565;

inline int Clip256(int v) { return v < -256 ? -256 : (v > 255 ? 255 : v); }

void IdctRow(int16_t* blk) {
  int x0, x1, x2, x3, x4, x5, x6, x7, x8;
  if (!((x1 = blk[4] * 2048) | (x2 = blk[6]) | (x3 = blk[2]) | (x4 = blk[1]) | (x5 = blk[7]) |
        (x6 = blk[5]) | (x7 = blk[3]))) {
    int16_t v = int16_t(blk[0] * 8);
    for (int i = 0; i < 8; ++i) blk[i] = v;
    return;
  }
  x0 = blk[0] * 2048 + 128;  // rounding for the final >> 8
  x8 = W7 * (x4 + x5);
  x4 = x8 + (W1 - W7) * x4;
  x5 = x8 - (W1 + W7) * x5;
  x8 = W3 * (x6 + x7);
  x6 = x8 - (W3 - W5) * x6;
  x7 = x8 - (W3 + W5) * x7;
  x8 = x0 + x1;
  x0 -= x1;
  x1 = W6 * (x3 + x2);
  x2 = x1 - (W2 + W6) * x2;
  x3 = x1 + (W2 - W6) * x3;
  x1 = x4 + x6;
  x4 -= x6;
  x6 = x5 + x7;
  x5 -= x7;
  x7 = x8 + x3;
  x8 -= x3;
  x3 = x0 + x2;
  x0 -= x2;
  x2 = (181 * (x4 + x5) + 128) >> 8;
  x4 = (181 * (x4 - x5) + 128) >> 8;
  blk[0] = int16_t((x7 + x1) >> 8);
  blk[1] = int16_t((x3 + x2) >> 8);
  blk[2] = int16_t((x0 + x4) >> 8);
  blk[3] = int16_t((x8 + x6) >> 8);
  blk[4] = int16_t((x8 - x6) >> 8);
  blk[5] = int16_t((x0 - x4) >> 8);
  blk[6] = int16_t((x3 - x2) >> 8);
  blk[7] = int16_t((x7 - x1) >> 8);
}

void IdctColumn(int16_t* blk) {
  int x0, x1, x2, x3, x4, x5, x6, x7, x8;
  if (!((x1 = blk[8 * 4] * 256) | (x2 = blk[8 * 6]) | (x3 = blk[8 * 2]) | (x4 = blk[8 * 1]) |
        (x5 = blk[8 * 7]) | (x6 = blk[8 * 5]) | (x7 = blk[8 * 3]))) {
    int16_t v = int16_t(Clip256((blk[0] + 32) >> 6));
    for (int i = 0; i < 8; ++i) blk[8 * i] = v;
    return;
  }
  x0 = blk[0] * 256 + 8192;
  x8 = W7 * (x4 + x5) + 4;
  x4 = (x8 + (W1 - W7) * x4) >> 3;
  x5 = (x8 - (W1 + W7) * x5) >> 3;
  x8 = W3 * (x6 + x7) + 4;
  x6 = (x8 - (W3 - W5) * x6) >> 3;
  x7 = (x8 - (W3 + W5) * x7) >> 3;
  x8 = x0 + x1;
  x0 -= x1;
  x1 = W6 * (x3 + x2) + 4;
  x2 = (x1 - (W2 + W6) * x2) >> 3;
  x3 = (x1 + (W2 - W6) * x3) >> 3;
  x1 = x4 + x6;
  x4 -= x6;
  x6 = x5 + x7;
  x5 -= x7;
  x7 = x8 + x3;
  x8 -= x3;
  x3 = x0 + x2;
  x0 -= x2;
  x2 = (181 * (x4 + x5) + 128) >> 8;
  x4 = (181 * (x4 - x5) + 128) >> 8;
  blk[8 * 0] = int16_t(Clip256((x7 + x1) >> 14));
  blk[8 * 1] = int16_t(Clip256((x3 + x2) >> 14));
  blk[8 * 2] = int16_t(Clip256((x0 + x4) >> 14));
  blk[8 * 3] = int16_t(Clip256((x8 + x6) >> 14));
  blk[8 * 4] = int16_t(Clip256((x8 - x6) >> 14));
  blk[8 * 5] = int16_t(Clip256((x0 - x4) >> 14));
  blk[8 * 6] = int16_t(Clip256((x3 - x2) >> 14));
  blk[8 * 7] = int16_t(Clip256((x7 - x1) >> 14));
}

}  // namespace

void FdctRef(int16_t block[64]) {
  const FdctTable& t = Table();
  double tmp[64];
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 8; ++j) {
      double s = 0.0;
      for (int k = 0; k < 8; ++k) s += t.c[j][k] * block[8 * i + k];
      tmp[8 * i + j] = s;
    }
  for (int j = 0; j < 8; ++j)
    for (int i = 0; i < 8; ++i) {
      double s = 0.0;
      for (int k = 0; k < 8; ++k) s += t.c[i][k] * tmp[8 * k + j];
      block[8 * i + j] = int16_t(std::floor(s + 0.499999));
    }
}

// Same products, same order of additions per output, four outputs per instruction; no
// fused multiply-add, so every lane rounds exactly as the reference does.
// clang ignores GCC target pragmas; its own form also reaches the lambdas inside.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif
void FdctAvx2(int16_t block[64]) {
  const FdctTable& t = Table();
  alignas(32) double tmp[64];
  for (int i = 0; i < 8; ++i) {
    __m256d lo = _mm256_setzero_pd(), hi = _mm256_setzero_pd();
    for (int k = 0; k < 8; ++k) {
      __m256d b = _mm256_set1_pd(double(block[8 * i + k]));
      lo = _mm256_add_pd(lo, _mm256_mul_pd(_mm256_load_pd(&t.cT[k][0]), b));
      hi = _mm256_add_pd(hi, _mm256_mul_pd(_mm256_load_pd(&t.cT[k][4]), b));
    }
    _mm256_store_pd(&tmp[8 * i], lo);
    _mm256_store_pd(&tmp[8 * i + 4], hi);
  }
  const __m256d half = _mm256_set1_pd(0.499999);
  for (int i = 0; i < 8; ++i) {
    __m256d lo = _mm256_setzero_pd(), hi = _mm256_setzero_pd();
    for (int k = 0; k < 8; ++k) {
      __m256d c = _mm256_set1_pd(t.c[i][k]);
      lo = _mm256_add_pd(lo, _mm256_mul_pd(c, _mm256_load_pd(&tmp[8 * k])));
      hi = _mm256_add_pd(hi, _mm256_mul_pd(c, _mm256_load_pd(&tmp[8 * k + 4])));
    }
    __m128i l = _mm256_cvttpd_epi32(_mm256_floor_pd(_mm256_add_pd(lo, half)));
    __m128i h = _mm256_cvttpd_epi32(_mm256_floor_pd(_mm256_add_pd(hi, half)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&block[8 * i]), _mm_packs_epi32(l, h));
  }
}
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

void IdctRef(int16_t block[64]) {
  for (int i = 0; i < 8; ++i) IdctRow(block + 8 * i);
  for (int i = 0; i < 8; ++i) IdctColumn(block + i);
}

// Rows as in the reference (most are empty or DC only after quantisation); the eight
// columns at once. The column shortcuts give exactly the full formula's values, so the
// vector form needs none.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("sse4.1"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("sse4.1")
#endif
void IdctSse41(int16_t block[64]) {
  for (int i = 0; i < 8; ++i) IdctRow(block + 8 * i);
  for (int half = 0; half < 2; ++half) {
    int16_t* b = block + 4 * half;
    auto load = [&](int row) {
      return _mm_cvtepi16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(b + 8 * row)));
    };
    auto mul = [](__m128i v, int w) { return _mm_mullo_epi32(v, _mm_set1_epi32(w)); };
    const __m128i four = _mm_set1_epi32(4);
    __m128i x1 = _mm_slli_epi32(load(4), 8);
    __m128i x2 = load(6), x3 = load(2), x4 = load(1), x5 = load(7), x6 = load(5), x7 = load(3);
    __m128i x0 = _mm_add_epi32(_mm_slli_epi32(load(0), 8), _mm_set1_epi32(8192));
    __m128i x8 = _mm_add_epi32(mul(_mm_add_epi32(x4, x5), W7), four);
    x4 = _mm_srai_epi32(_mm_add_epi32(x8, mul(x4, W1 - W7)), 3);
    x5 = _mm_srai_epi32(_mm_sub_epi32(x8, mul(x5, W1 + W7)), 3);
    x8 = _mm_add_epi32(mul(_mm_add_epi32(x6, x7), W3), four);
    x6 = _mm_srai_epi32(_mm_sub_epi32(x8, mul(x6, W3 - W5)), 3);
    x7 = _mm_srai_epi32(_mm_sub_epi32(x8, mul(x7, W3 + W5)), 3);
    x8 = _mm_add_epi32(x0, x1);
    x0 = _mm_sub_epi32(x0, x1);
    x1 = _mm_add_epi32(mul(_mm_add_epi32(x3, x2), W6), four);
    x2 = _mm_srai_epi32(_mm_sub_epi32(x1, mul(x2, W2 + W6)), 3);
    x3 = _mm_srai_epi32(_mm_add_epi32(x1, mul(x3, W2 - W6)), 3);
    x1 = _mm_add_epi32(x4, x6);
    x4 = _mm_sub_epi32(x4, x6);
    x6 = _mm_add_epi32(x5, x7);
    x5 = _mm_sub_epi32(x5, x7);
    x7 = _mm_add_epi32(x8, x3);
    x8 = _mm_sub_epi32(x8, x3);
    x3 = _mm_add_epi32(x0, x2);
    x0 = _mm_sub_epi32(x0, x2);
    const __m128i r128 = _mm_set1_epi32(128);
    x2 = _mm_srai_epi32(_mm_add_epi32(mul(_mm_add_epi32(x4, x5), 181), r128), 8);
    x4 = _mm_srai_epi32(_mm_add_epi32(mul(_mm_sub_epi32(x4, x5), 181), r128), 8);
    const __m128i lo = _mm_set1_epi32(-256), hi = _mm_set1_epi32(255);
    auto store = [&](int row, __m128i v) {
      v = _mm_min_epi32(_mm_max_epi32(_mm_srai_epi32(v, 14), lo), hi);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(b + 8 * row), _mm_packs_epi32(v, v));
    };
    store(0, _mm_add_epi32(x7, x1));
    store(1, _mm_add_epi32(x3, x2));
    store(2, _mm_add_epi32(x0, x4));
    store(3, _mm_add_epi32(x8, x6));
    store(4, _mm_sub_epi32(x8, x6));
    store(5, _mm_sub_epi32(x0, x4));
    store(6, _mm_sub_epi32(x3, x2));
    store(7, _mm_sub_epi32(x7, x1));
  }
}
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

}  // namespace zr::mpeg::dsp
