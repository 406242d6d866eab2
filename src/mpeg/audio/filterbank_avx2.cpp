// The filter bank's blocks four lanes at a time: the same products and sums in the same
// order as FilterBlocksRef, no fused multiply-add, so the results are bit-identical.
#include <immintrin.h>

#include "mpeg/audio/filterbank.h"

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

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

}  // namespace zr::mpeg::audio
