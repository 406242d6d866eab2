// Pixel primitives of the video encoder. Each exists as plain reference code and, where
// it pays, as a SIMD twin; the table is chosen once from the CPU and every twin gives
// the same result as its reference (tests run both on random data).
#pragma once

#include <cstdint>

namespace zr::mpeg::dsp {

// 16-pixel-wide blocks of `rows` rows; `stride` is shared by reference and current block.
// Whole-pixel SAD. Stops after the first row at which the running sum has reached
// `limit` and returns that partial sum, so callers may only rely on "result >= limit".
using SadFn = int (*)(const uint8_t* ref, const uint8_t* cur, int stride, int rows, int limit);
// SAD against a half-pixel reference: hx, hy in {0, 1} average with the right/lower
// neighbour, rounding up. Always the full sum.
using SadHalfFn = int (*)(const uint8_t* ref, const uint8_t* cur, int stride, int hx, int hy,
                          int rows);
// Squared error against a half-pixel reference.
using SseHalfFn = int (*)(const uint8_t* ref, const uint8_t* cur, int stride, int hx, int hy,
                          int rows);
// Squared error of the rounded average of two half-pixel references.
using SseBiFn = int (*)(const uint8_t* fwd, int fhx, int fhy, const uint8_t* bwd, int bhx,
                        int bhy, const uint8_t* cur, int stride, int rows);
// In-place 8x8 transforms on natural-order blocks.
using DctFn = void (*)(int16_t block[64]);
// Lower bounds of the SAD of `count` consecutive candidates: sums holds 8 x 8 block sums
// with the given stride, the candidate's four quarter sums at +0, +8, +8 rows, +8 rows + 8;
// out[i] = sum over quarters of |sum - quarter[q]| (at most 4 x 16320, no overflow); the
// SIMD forms may write up to 15 entries past count.
using SadBoundsFn = void (*)(const uint16_t* sums, int stride, const int quarter[4], int count,
                             uint16_t* out);
// Full 16 x 16 SADs at the 16 neighbouring positions ref + 0 .. ref + 15 (no early exit);
// reads 32 bytes of each of the 16 rows.
using SadRowFn = void (*)(const uint8_t* ref, const uint8_t* cur, int stride, uint16_t out[16]);
// 16 x 16 SADs at the nine half-pixel positions around whole-pixel `ref`, in raster order:
// out[3 * (dy + 1) + (dx + 1)] for offsets dx, dy in half pixels. Reads the pixels from
// one row above to one below and one column left to one right of the block.
// The smallest of the first `count` (1..16) values; reads 16.
using Min16Fn = int (*)(const uint16_t* values, int count);
using SadHalfNineFn = void (*)(const uint8_t* ref, const uint8_t* cur, int stride, int out[9]);

struct Functions {
  const char* name;
  SadFn sad;
  SadHalfFn sadHalf;
  SseHalfFn sseHalf;
  SseBiFn sseBi;
  DctFn fdct;
  DctFn idct;
  SadBoundsFn sadBounds;
  SadRowFn sadRow;
  SadHalfNineFn sadHalfNine;
  Min16Fn min16;
};

// Plain C++ forms, the definition of every result.
const Functions& Reference();
// The fastest forms this CPU runs; chosen on first use, never changed afterwards.
const Functions& Best();

// Individual twins, exposed for the tests that compare them.
int SadRef(const uint8_t* ref, const uint8_t* cur, int stride, int rows, int limit);
int SadSse2(const uint8_t* ref, const uint8_t* cur, int stride, int rows, int limit);
int SadAvx2(const uint8_t* ref, const uint8_t* cur, int stride, int rows, int limit);
int SadHalfRef(const uint8_t* ref, const uint8_t* cur, int stride, int hx, int hy, int rows);
int SadHalfSse2(const uint8_t* ref, const uint8_t* cur, int stride, int hx, int hy, int rows);
int SadHalfAvx2(const uint8_t* ref, const uint8_t* cur, int stride, int hx, int hy, int rows);
int SseHalfRef(const uint8_t* ref, const uint8_t* cur, int stride, int hx, int hy, int rows);
int SseHalfSse2(const uint8_t* ref, const uint8_t* cur, int stride, int hx, int hy, int rows);
int SseBiRef(const uint8_t* fwd, int fhx, int fhy, const uint8_t* bwd, int bhx, int bhy,
             const uint8_t* cur, int stride, int rows);
int SseBiSse2(const uint8_t* fwd, int fhx, int fhy, const uint8_t* bwd, int bhx, int bhy,
              const uint8_t* cur, int stride, int rows);
void SadBoundsRef(const uint16_t* sums, int stride, const int quarter[4], int count,
                  uint16_t* out);
// Reads up to 7 candidates past `count` (within the sums' rows) and writes as many
// entries past out[count - 1].
void SadBoundsSse2(const uint16_t* sums, int stride, const int quarter[4], int count,
                   uint16_t* out);
// Reads and writes up to 15 past `count`.
void SadBoundsAvx2(const uint16_t* sums, int stride, const int quarter[4], int count,
                   uint16_t* out);
void SadRowRef(const uint8_t* ref, const uint8_t* cur, int stride, uint16_t out[16]);
void SadRowAvx2(const uint8_t* ref, const uint8_t* cur, int stride, uint16_t out[16]);
void SadHalfNineRef(const uint8_t* ref, const uint8_t* cur, int stride, int out[9]);
void SadHalfNineAvx2(const uint8_t* ref, const uint8_t* cur, int stride, int out[9]);
int Min16Ref(const uint16_t* values, int count);
int Min16Sse41(const uint16_t* values, int count);
void FdctRef(int16_t block[64]);
void FdctAvx2(int16_t block[64]);
void IdctRef(int16_t block[64]);
void IdctSse41(int16_t block[64]);
bool CpuHasAvx2();
bool CpuHasSse41();

// Colour conversion of one row of R, G, B samples to full-range Y, Cb, Cr (Cb, Cr at
// full resolution). The coefficients are multiples of 1/256, so the integer form is
// exact; ColourRowRef evaluates them in floating point as the definition does.
void ColourRowRef(const uint8_t* r, const uint8_t* g, const uint8_t* b, int count, uint8_t* y,
                  uint8_t* cb, uint8_t* cr);
void ColourRowInt(const uint8_t* r, const uint8_t* g, const uint8_t* b, int count, uint8_t* y,
                  uint8_t* cb, uint8_t* cr);
// The integer form eight pixels at a time; the production converter.
void ColourRowSse2(const uint8_t* r, const uint8_t* g, const uint8_t* b, int count, uint8_t* y,
                   uint8_t* cb, uint8_t* cr);
// Rows of 3- or 4-byte B, G, R(, unused) pixels to separate R, G, B samples.
void UnpackBgrRef(const uint8_t* s, int bytesPerPixel, int count, uint8_t* r, uint8_t* g,
                  uint8_t* b);
void UnpackBgrSse41(const uint8_t* s, int bytesPerPixel, int count, uint8_t* r, uint8_t* g,
                    uint8_t* b);
// One pixel, integer form.
inline void ColourPixel(int r, int g, int b, uint8_t& y, uint8_t& cb, uint8_t& cr) {
  y = uint8_t((29 * b + 150 * g + 77 * r) >> 8);
  int u = 131 * b - 87 * g - 44 * r + 32768;
  int v = -21 * b - 110 * g + 131 * r + 32768;
  // Negative sums truncate toward zero and then clamp to 0 alike.
  u = u < 0 ? 0 : u >> 8;
  v = v < 0 ? 0 : v >> 8;
  cb = uint8_t(u > 255 ? 255 : u);
  cr = uint8_t(v > 255 ? 255 : v);
}

}  // namespace zr::mpeg::dsp
