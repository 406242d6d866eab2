#include "mpeg/video/quant.h"

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

}  // namespace zr::mpeg
