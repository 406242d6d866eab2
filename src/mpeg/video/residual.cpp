#include "mpeg/video/residual.h"

#include <cstring>

#include "mpeg/video/quant.h"
#include "mpeg/video/vlc.h"

namespace zr::mpeg {

namespace {

// A w x h block of the reference at half-pixel position (px2, py2), rounded averages.
void FormPrediction(const uint8_t* plane, int stride, int px2, int py2, int w, int h,
                    uint8_t* dst) {
  const uint8_t* s = plane + (py2 >> 1) * stride + (px2 >> 1);
  const int hx = px2 & 1, hy = py2 & 1;
  // One loop per case, so that each vectorises.
  if (hx && hy) {
    for (int j = 0; j < h; ++j, s += stride, dst += w)
      for (int i = 0; i < w; ++i)
        dst[i] = uint8_t((s[i] + s[i + 1] + s[i + stride] + s[i + stride + 1] + 2) >> 2);
  } else if (hx || hy) {
    const int next = hx ? 1 : stride;
    for (int j = 0; j < h; ++j, s += stride, dst += w)
      for (int i = 0; i < w; ++i) dst[i] = uint8_t((s[i] + s[i + next] + 1) >> 1);
  } else {
    for (int j = 0; j < h; ++j, s += stride, dst += w) std::memcpy(dst, s, size_t(w));
  }
}

void PredictFrom(const Frame& ref, const int mv[2], int x, int y, uint8_t* out) {
  FormPrediction(ref.y.data(), ref.width, 2 * x + mv[0], 2 * y + mv[1], 16, 16, out);
  // Chroma vectors are the luminance ones halved toward zero, in chroma half pixels.
  const int cx2 = x + mv[0] / 2, cy2 = y + mv[1] / 2;
  FormPrediction(ref.cb.data(), ref.width / 2, cx2, cy2, 8, 8, out + 256);
  FormPrediction(ref.cr.data(), ref.width / 2, cx2, cy2, 8, 8, out + 320);
}

}  // namespace

void PredictMacroblock(const MacroblockInfo& mb, const Frame* forwardRef, const Frame* backwardRef,
                       int x, int y, MacroblockPrediction& pred) {
  uint8_t* out = pred.pixels;
  if (mb.flags & kMbIntra) {
    std::memset(out, 128, 384);
    return;
  }
  const bool fwd = (mb.flags & kMbForward) || !(mb.flags & kMbBackward);
  const bool bwd = mb.flags & kMbBackward;
  if (fwd && bwd) {
    uint8_t other[384];
    PredictFrom(*forwardRef, mb.mvForward, x, y, out);
    PredictFrom(*backwardRef, mb.mvBackward, x, y, other);
    for (int i = 0; i < 384; ++i) out[i] = uint8_t((out[i] + other[i] + 1) >> 1);
  } else if (fwd) {
    PredictFrom(*forwardRef, mb.mvForward, x, y, out);
  } else {
    PredictFrom(*backwardRef, mb.mvBackward, x, y, out);
  }
}

void TransformMacroblock(const dsp::Functions& dsp, const Frame& src, int x, int y,
                         const MacroblockPrediction& pred, int16_t coef[6][64]) {
  for (int b = 0; b < 6; ++b) {
    const BlockPlace& place = kBlocks[b];
    const int stride = src.stride(place.component);
    const int ox = (place.component == 0 ? x : x / 2) + place.planeX;
    const int oy = (place.component == 0 ? y : y / 2) + place.planeY;
    const uint8_t* s = src.plane(place.component) + oy * stride + ox;
    const uint8_t* pr = pred.pixels + place.predOffset;
    int differs = 0;
    for (int j = 0; j < 8; ++j)
      for (int i = 0; i < 8; ++i) {
        const int d = s[j * stride + i] - pr[j * place.predStride + i];
        coef[b][8 * j + i] = int16_t(d);
        differs |= d;
      }
    // A perfectly predicted block transforms to zeros; static areas are full of them.
    if (differs) dsp.fdct(coef[b]);
  }
}

int QuantiseMacroblock(bool intra, const int16_t coef[6][64], int16_t levels[6][64],
                       const VideoParams& p, const FastQuantiser* fast, int mquant) {
  if (fast) {
    if (intra) {
      for (int b = 0; b < 6; ++b) fast->Intra(coef[b], levels[b], mquant);
      return 63;
    }
    int cbp = 0;
    for (int b = 0; b < 6; ++b)
      if (fast->NonIntra(coef[b], levels[b], mquant)) cbp |= 32 >> b;
    return cbp;
  }
  if (intra) {
    for (int b = 0; b < 6; ++b) QuantIntra(coef[b], levels[b], p.intraMatrix, mquant);
    return 63;
  }
  int cbp = 0;
  for (int b = 0; b < 6; ++b)
    if (QuantNonIntra(coef[b], levels[b], p.nonIntraMatrix, mquant)) cbp |= 32 >> b;
  return cbp;
}

}  // namespace zr::mpeg
