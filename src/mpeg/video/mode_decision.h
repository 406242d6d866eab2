// Rate-distortion choices of the high-quality mode: the macroblock mode from the
// prediction errors, and trailing coefficients that cost more bits than they are worth.
#pragma once

#include <cstdint>

#include "mpeg/video/frame.h"

namespace zr::mpeg {

// Squared errors of one macroblock's candidates (256 luminance samples each).
struct ModeCosts {
  int intraVariance = 0;
  int forward = 0, backward = 0, interpolated = 0;  // B: all three; P: forward only
  int zero = 0;                                     // P: the zero vector
};

// Sets mb.flags for a P or B macroblock whose vectors are already in mb; the vectors stay,
// as candidates of the coding stage's choice.
void ChooseMode(int pictureType, const ModeCosts& c, MacroblockInfo& mb);

// Zeroes trailing +-1 levels of a block (natural order) whose distortion saving is below
// their bit cost at quantiser step `mquant`. `coef` is the transformed block, `matrix`
// its weights. Returns true when the block still has a coded coefficient (AC for intra).
bool TrimTrailingOnes(bool intra, const int16_t* coef, int16_t* levels, const uint8_t* matrix,
                      int mquant);

}  // namespace zr::mpeg
