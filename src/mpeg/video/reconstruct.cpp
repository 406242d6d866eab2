#include "mpeg/video/reconstruct.h"

#include <cstring>

#include "mpeg/video/quant.h"

namespace zr::mpeg {

namespace {
inline uint8_t Clip255(int v) { return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v)); }
}  // namespace

void ReconstructMacroblock(const dsp::Functions& dsp, const VideoParams& p, bool intra, int cbp,
                           const int16_t levels[6][64], int mquant,
                           const MacroblockPrediction& pred, int x, int y, Frame& rec) {
  for (int b = 0; b < 6; ++b) {
    const BlockPlace& place = kBlocks[b];
    const int stride = rec.stride(place.component);
    const int ox = (place.component == 0 ? x : x / 2) + place.planeX;
    const int oy = (place.component == 0 ? y : y / 2) + place.planeY;
    uint8_t* d = rec.plane(place.component) + oy * stride + ox;
    const uint8_t* pr = pred.pixels + place.predOffset;
    if (!intra && !(cbp & (32 >> b))) {
      for (int j = 0; j < 8; ++j) std::memcpy(d + j * stride, pr + j * place.predStride, 8);
      continue;
    }
    alignas(16) int16_t block[64];
    if (intra) IquantIntra(levels[b], block, p.intraMatrix, mquant);
    else IquantNonIntra(levels[b], block, p.nonIntraMatrix, mquant);
    dsp.idct(block);
    for (int j = 0; j < 8; ++j)
      for (int i = 0; i < 8; ++i)
        d[j * stride + i] = Clip255(pr[j * place.predStride + i] + block[8 * j + i]);
  }
}

}  // namespace zr::mpeg
