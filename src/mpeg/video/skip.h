// Whether a macroblock is left out of the stream: the decoder rebuilds it from the
// previous macroblock's mode and vectors.
#pragma once

#include "mpeg/video/frame.h"

namespace zr::mpeg {

struct SkipContext {
  int pictureType = 0;
  bool firstInSlice = false;
  bool lastInSlice = false;
  int previousFlags = 0;   // of the last macroblock, coded or skipped
  const int (*predictors)[2] = nullptr;  // forward, backward motion predictors
};

// `flags` are the motion-estimation flags, `cbp` the coded block pattern.
bool DecideSkip(const SkipContext& c, int flags, int cbp, const MacroblockInfo& mb);

}  // namespace zr::mpeg
