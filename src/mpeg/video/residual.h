// The residual of a macroblock: its prediction, the difference to the source, the
// forward transform, and the quantisation that gives the levels and the coded pattern.
#pragma once

#include <cstdint>

#include "mpeg/dsp/dsp.h"
#include "mpeg/video/frame.h"
#include "mpeg/video/params.h"

namespace zr::mpeg {

// Prediction layout: luminance 16 x 16, then Cb and Cr 8 x 8.
struct MacroblockPrediction {
  alignas(16) uint8_t pixels[384];
};

// Where block b (Y0..Y3, Cb, Cr) lies in the prediction and relative to the macroblock's
// origin in its plane.
struct BlockPlace {
  int component;
  int predOffset, predStride;
  int planeX, planeY;
};
inline constexpr BlockPlace kBlocks[6] = {{0, 0, 16, 0, 0},   {0, 8, 16, 8, 0},
                                          {0, 128, 16, 0, 8}, {0, 136, 16, 8, 8},
                                          {1, 256, 8, 0, 0},  {2, 320, 8, 0, 0}};

// Intra macroblocks predict from 128; a macroblock without direction flags (a P
// macroblock without motion compensation) predicts forward with its (0, 0) vector.
void PredictMacroblock(const MacroblockInfo& mb, const Frame* forwardRef, const Frame* backwardRef,
                       int x, int y, MacroblockPrediction& pred);
// Source minus prediction, transformed: six blocks in natural order.
void TransformMacroblock(const dsp::Functions& dsp, const Frame& source, int x, int y,
                         const MacroblockPrediction& pred, int16_t coef[6][64]);
// Levels for `mquant`; returns the coded block pattern (63 for intra).
int QuantiseMacroblock(bool intra, const int16_t coef[6][64], int16_t levels[6][64],
                       const VideoParams& p, int mquant);

}  // namespace zr::mpeg
