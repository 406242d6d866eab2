#include "mpeg/video/quant.h"

#include <emmintrin.h>

#include <cstdlib>

namespace zr::mpeg {

namespace {

// Even values move one step toward zero, then saturation: the decoders' mismatch control.
inline int Oddify(int v) {
  if (v != 0 && (v & 1) == 0) v += v > 0 ? -1 : 1;
  return v < -2048 ? -2048 : (v > 2047 ? 2047 : v);
}

}  // namespace

void QuantIntra(const int16_t* src, int16_t* dst, const uint8_t* matrix, int mquant) {
  int x = src[0];
  dst[0] = int16_t(x >= 0 ? (x + 4) / 8 : -((-x + 4) / 8));  // halves away from zero
  for (int i = 1; i < 64; ++i) {
    x = src[i];
    int w = matrix[i];
    int y = (32 * std::abs(x) + w / 2) / w;
    y = (y + (3 * mquant + 2) / 4) / (2 * mquant);
    if (y > 255) y = 255;
    dst[i] = int16_t(x >= 0 ? y : -y);
  }
}

bool QuantNonIntra(const int16_t* src, int16_t* dst, const uint8_t* matrix, int mquant) {
  bool any = false;
  for (int i = 0; i < 64; ++i) {
    int x = src[i];
    int w = matrix[i];
    int y = ((32 * std::abs(x) + w / 2) / w) / (2 * mquant);
    if (y > 255) y = 255;
    dst[i] = int16_t(x >= 0 ? y : -y);
    any |= y != 0;
  }
  return any;
}

void IquantIntra(const int16_t* src, int16_t* dst, const uint8_t* matrix, int mquant) {
  // The DC is dc * 8, even, and stays even: decoders leave it out of the odd rule.
  dst[0] = int16_t(src[0] * 8);
  for (int i = 1; i < 64; ++i) dst[i] = int16_t(Oddify(src[i] * matrix[i] * mquant / 16));
}

void IquantNonIntra(const int16_t* src, int16_t* dst, const uint8_t* matrix, int mquant) {
  for (int i = 0; i < 64; ++i) {
    int l = src[i];
    if (l == 0) {
      dst[i] = 0;
      continue;
    }
    int sign = l > 0 ? 1 : -1;
    dst[i] = int16_t(Oddify((2 * l + sign) * matrix[i] * mquant / 32));
  }
}

FastQuantiser::FastQuantiser(const uint8_t* intraMatrix, const uint8_t* nonIntraMatrix) {
  for (int q = 2; q <= 62; q += 2)
    for (int i = 0; i < 64; ++i) {
      const uint32_t wi = intraMatrix[i] ? intraMatrix[i] : 1;
      const uint32_t wn = nonIntraMatrix[i] ? nonIntraMatrix[i] : 1;
      const uint64_t di = 2ull * uint64_t(q) * wi, dn = 2ull * uint64_t(q) * wn;
      intra_[q / 2 - 1][i] = {((uint64_t(1) << kShift) + di - 1) / di,
                              wi / 2 + wi * uint32_t((3 * q + 2) / 4)};
      nonIntra_[q / 2 - 1][i] = {((uint64_t(1) << kShift) + dn - 1) / dn, wn / 2};
      // Level >= 1 exactly when 32|x| + wn/2 >= 2q wn.
      nonIntraZero_[q / 2 - 1][i] = int16_t((2 * q * wn - wn / 2 + 31) / 32 - 1);
    }
}

void FastQuantiser::Intra(const int16_t* src, int16_t* dst, int mquant) const {
  const Entry* e = intra_[mquant / 2 - 1];
  const int x0 = src[0];
  dst[0] = int16_t(x0 >= 0 ? (x0 + 4) >> 3 : -((-x0 + 4) >> 3));
  for (int i = 1; i < 64; ++i) {
    const int x = src[i];
    const uint64_t a = 32 * uint64_t(x < 0 ? -x : x) + e[i].bias;
    int y = int((a * e[i].mul) >> kShift);
    y = y > 255 ? 255 : y;
    dst[i] = int16_t(x < 0 ? -y : y);
  }
}

bool FastQuantiser::NonIntra(const int16_t* src, int16_t* dst, int mquant) const {
  const Entry* e = nonIntra_[mquant / 2 - 1];
  const int16_t* zero = nonIntraZero_[mquant / 2 - 1];
  int any = 0;
  for (int g = 0; g < 64; g += 8) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + g));
    const __m128i t = _mm_load_si128(reinterpret_cast<const __m128i*>(zero + g));
    const __m128i big = _mm_or_si128(_mm_cmpgt_epi16(x, t),
                                     _mm_cmplt_epi16(x, _mm_sub_epi16(_mm_setzero_si128(), t)));
    if (!_mm_movemask_epi8(big)) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + g), _mm_setzero_si128());
      continue;
    }
    for (int i = g; i < g + 8; ++i) {
      const int x = src[i];
      const uint64_t a = 32 * uint64_t(x < 0 ? -x : x) + e[i].bias;
      int y = int((a * e[i].mul) >> kShift);
      y = y > 255 ? 255 : y;
      dst[i] = int16_t(x < 0 ? -y : y);
      any |= y;
    }
  }
  return any != 0;
}

}  // namespace zr::mpeg
