// The FFT's butterflies four at a time: each one's products and sums as in the plain
// pass, no fused multiply-add, so the bits are the same.
#include <immintrin.h>

#include "mpeg/audio/fft.h"

namespace zr::mpeg::audio {

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

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

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

}  // namespace zr::mpeg::audio
