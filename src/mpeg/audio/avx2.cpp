// The AVX2 twins of the audio primitives: the filter bank's blocks, the FFT's
// butterflies and the psychoacoustic line prediction, four doubles at a time. Each does
// the products, sums, square roots and quotients of its plain form in the same order,
// with no fused multiply-add, so the results are bit-identical.
#include <immintrin.h>

#include "mpeg/audio/fft.h"
#include "mpeg/audio/filterbank.h"
#include "mpeg/audio/psy.h"

namespace zr::mpeg::audio {

// clang ignores GCC target pragmas.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

void FilterBlocksAvx2(const double* buf, const double* w, const FilterMatrix& m,
                      SubbandFrame& out) {
  for (int t = 0; t < 36; ++t) {
    const double* x = buf + 32 * t;
    alignas(32) double yr[64];
    for (int r = 0; r < 64; r += 4) {
      __m256d s = _mm256_mul_pd(_mm256_loadu_pd(x + r), _mm256_loadu_pd(w + r));
      for (int k = 1; k < 8; ++k)
        s = _mm256_add_pd(s, _mm256_mul_pd(_mm256_loadu_pd(x + 64 * k + r),
                                           _mm256_loadu_pd(w + 64 * k + r)));
      _mm256_store_pd(yr + r, s);
    }
    alignas(32) double a[kSubbands];
    FoldWindowed(yr, a);
    __m256d acc[kSubbands / 4];
    for (auto& v : acc) v = _mm256_setzero_pd();
    for (int j = 0; j < kSubbands; ++j) {
      const __m256d aj = _mm256_set1_pd(a[j]);
      const double* row = m[j].data();
      for (int q = 0; q < kSubbands / 4; ++q)
        acc[q] = _mm256_add_pd(acc[q], _mm256_mul_pd(_mm256_loadu_pd(row + 4 * q), aj));
    }
    for (int q = 0; q < kSubbands / 4; ++q) _mm256_storeu_pd(out[t].data() + 4 * q, acc[q]);
  }
}

void FftPassAvx2(double* zr, double* zi, const double* wr, const double* wi, int half, int len) {
  const int m = len / 2;
  for (int base = 0; base < half; base += len) {
    double* ar = zr + base;
    double* ai = zi + base;
    double* br = zr + base + m;
    double* bi = zi + base + m;
    for (int j = 0; j < m; j += 4) {
      const __m256d vwr = _mm256_loadu_pd(wr + j), vwi = _mm256_loadu_pd(wi + j);
      const __m256d vbr = _mm256_loadu_pd(br + j), vbi = _mm256_loadu_pd(bi + j);
      const __m256d var = _mm256_loadu_pd(ar + j), vai = _mm256_loadu_pd(ai + j);
      const __m256d tr = _mm256_sub_pd(_mm256_mul_pd(vbr, vwr), _mm256_mul_pd(vbi, vwi));
      const __m256d ti = _mm256_add_pd(_mm256_mul_pd(vbr, vwi), _mm256_mul_pd(vbi, vwr));
      _mm256_storeu_pd(br + j, _mm256_sub_pd(var, tr));
      _mm256_storeu_pd(bi + j, _mm256_sub_pd(vai, ti));
      _mm256_storeu_pd(ar + j, _mm256_add_pd(var, tr));
      _mm256_storeu_pd(ai + j, _mm256_add_pd(vai, ti));
    }
  }
}

void PredictLinesAvx2(const LineSpectra& s, int lines) {
  const __m256d zero = _mm256_setzero_pd(), one = _mm256_set1_pd(1.0),
                two = _mm256_set1_pd(2.0), absMask = _mm256_castsi256_pd(
                                                  _mm256_set1_epi64x(0x7FFFFFFFFFFFFFFF));
  int k = 0;
  for (; k + 4 <= lines; k += 4) {
    const __m256d re = _mm256_loadu_pd(s.re + k), im = _mm256_loadu_pd(s.im + k);
    const __m256d e = _mm256_add_pd(_mm256_mul_pd(re, re), _mm256_mul_pd(im, im));
    const __m256d r = _mm256_sqrt_pd(e);
    const __m256d c1 = _mm256_loadu_pd(s.cos1 + k), s1 = _mm256_loadu_pd(s.sin1 + k);
    const __m256d c2 = _mm256_loadu_pd(s.oldCos + k), s2 = _mm256_loadu_pd(s.oldSin + k);
    const __m256d sqr = _mm256_sub_pd(_mm256_mul_pd(c1, c1), _mm256_mul_pd(s1, s1));
    const __m256d sqi = _mm256_mul_pd(_mm256_mul_pd(two, c1), s1);
    const __m256d pc = _mm256_add_pd(_mm256_mul_pd(sqr, c2), _mm256_mul_pd(sqi, s2));
    const __m256d ps = _mm256_sub_pd(_mm256_mul_pd(sqi, c2), _mm256_mul_pd(sqr, s2));
    const __m256d rp =
        _mm256_sub_pd(_mm256_mul_pd(two, _mm256_loadu_pd(s.mag1 + k)), _mm256_loadu_pd(s.oldMag + k));
    const __m256d dr = _mm256_sub_pd(re, _mm256_mul_pd(rp, pc));
    const __m256d di = _mm256_sub_pd(im, _mm256_mul_pd(rp, ps));
    const __m256d denom = _mm256_add_pd(r, _mm256_and_pd(rp, absMask));
    const __m256d dist =
        _mm256_sqrt_pd(_mm256_add_pd(_mm256_mul_pd(dr, dr), _mm256_mul_pd(di, di)));
    // Lanes that fail the tests divide by zero harmlessly and take the constant instead.
    const __m256d denomOk = _mm256_cmp_pd(denom, zero, _CMP_GT_OQ);
    const __m256d rOk = _mm256_cmp_pd(r, zero, _CMP_GT_OQ);
    _mm256_storeu_pd(s.unpred + k, _mm256_blendv_pd(zero, _mm256_div_pd(dist, denom), denomOk));
    _mm256_storeu_pd(s.energy + k, e);
    _mm256_storeu_pd(s.oldMag + k, r);
    _mm256_storeu_pd(s.oldCos + k, _mm256_blendv_pd(one, _mm256_div_pd(re, r), rOk));
    _mm256_storeu_pd(s.oldSin + k, _mm256_blendv_pd(zero, _mm256_div_pd(im, r), rOk));
  }
  if (k < lines) {
    const LineSpectra rest{s.re + k,     s.im + k,     s.mag1 + k,   s.cos1 + k,
                           s.sin1 + k,   s.oldMag + k, s.oldCos + k, s.oldSin + k,
                           s.energy + k, s.unpred + k};
    PredictLinesRef(rest, lines - k);
  }
}

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

}  // namespace zr::mpeg::audio
