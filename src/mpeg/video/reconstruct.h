// Reconstruction of a coded macroblock into its picture store, as a decoder will see it.
#pragma once

#include <cstdint>

#include "mpeg/dsp/dsp.h"
#include "mpeg/video/frame.h"
#include "mpeg/video/params.h"
#include "mpeg/video/residual.h"

namespace zr::mpeg {

// Blocks outside `cbp` are the prediction itself; coded ones add the inverse transform
// of the dequantised levels.
void ReconstructMacroblock(const dsp::Functions& dsp, const VideoParams& p, bool intra, int cbp,
                           const int16_t levels[6][64], int mquant,
                           const MacroblockPrediction& pred, int x, int y, Frame& rec);

}  // namespace zr::mpeg
