#include "mpeg/dsp/dsp.h"

#include <cmath>

namespace zr::mpeg::dsp {

bool CpuHasAvx2() { return __builtin_cpu_supports("avx2"); }
bool CpuHasSse41() { return __builtin_cpu_supports("sse4.1"); }

const Functions& Reference() {
  static const Functions table{"reference", SadRef,  SadHalfRef, SseHalfRef,
                               SseBiRef,    FdctRef, IdctRef,    SadBoundsRef, SadRowRef,
                               SadHalfNineRef, Min16Ref};
  return table;
}

const Functions& Best() {
  // SSE2 is part of every x86-64 CPU; the other forms need more and fall back.
  const bool avx2 = CpuHasAvx2();
  static const Functions table{"simd",
                               avx2 ? SadAvx2 : SadSse2,
                               avx2 ? SadHalfAvx2 : SadHalfSse2,
                               SseHalfSse2,
                               SseBiSse2,
                               avx2 ? FdctAvx2 : FdctRef,
                               CpuHasSse41() ? IdctSse41 : IdctRef,
                               avx2 ? SadBoundsAvx2 : SadBoundsSse2,
                               avx2 ? SadRowAvx2 : SadRowRef,
                               avx2 ? SadHalfNineAvx2 : SadHalfNineRef,
                               CpuHasSse41() ? Min16Sse41 : Min16Ref};
  return table;
}

int Min16Ref(const uint16_t* values, int count) {
  int least = values[0];
  for (int i = 1; i < count; ++i) least = values[i] < least ? values[i] : least;
  return least;
}

void ColourRowRef(const uint8_t* r, const uint8_t* g, const uint8_t* b, int count, uint8_t* y,
                  uint8_t* cb, uint8_t* cr) {
  for (int i = 0; i < count; ++i) {
    double R = r[i], G = g[i], B = b[i];
    double Y = 0.11328125 * B + 0.5859375 * G + 0.30078125 * R;
    double U = 0.51171875 * B - 0.33984375 * G - 0.171875 * R + 128;
    double V = -0.08203125 * B - 0.4296875 * G + 0.51171875 * R + 128;
    int u = int(std::trunc(U)), v = int(std::trunc(V));
    y[i] = uint8_t(int(std::trunc(Y)));
    cb[i] = uint8_t(u < 0 ? 0 : (u > 255 ? 255 : u));
    cr[i] = uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v));
  }
}

void UnpackBgrRef(const uint8_t* s, int bytesPerPixel, int count, uint8_t* r, uint8_t* g,
                  uint8_t* b) {
  for (int x = 0; x < count; ++x, s += bytesPerPixel) {
    b[x] = s[0];
    g[x] = s[1];
    r[x] = s[2];
  }
}

void ColourRowInt(const uint8_t* r, const uint8_t* g, const uint8_t* b, int count, uint8_t* y,
                  uint8_t* cb, uint8_t* cr) {
  for (int i = 0; i < count; ++i) ColourPixel(r[i], g[i], b[i], y[i], cb[i], cr[i]);
}

}  // namespace zr::mpeg::dsp
