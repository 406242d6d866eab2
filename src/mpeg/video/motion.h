// Motion estimation: exhaustive whole-pixel search on source pictures, half-pixel
// refinement on reconstructions, and the macroblock mode decision.
#pragma once

#include "mpeg/dsp/dsp.h"
#include "mpeg/video/frame.h"
#include "mpeg/video/params.h"

namespace zr::mpeg {

struct SearchResult {
  int x2 = 0, y2 = 0;  // half-pixel position of the best match
  int sad = 0;
};

// `cur` points at the current macroblock's luminance, (x, y) its position in pixels;
// `srcRef` and `recRef` are whole reference luminance planes, all of stride `width`.
SearchResult FullSearch(const dsp::Functions& dsp, const uint8_t* srcRef, const uint8_t* recRef,
                        const uint8_t* cur, int x, int y, int sx, int sy, int width, int height);

int IntraVariance(const uint8_t* cur, int stride);

struct MotionInput {
  int pictureType = 0;
  const Frame* current = nullptr;
  const Frame* olderSource = nullptr;
  const Frame* olderRecon = nullptr;
  const Frame* newerSource = nullptr;  // B pictures only
  const Frame* newerRecon = nullptr;
  MotionRecord record{};
};

// Fills the records of macroblock rows [rowBegin, rowEnd). Rows are independent, so any
// split over threads gives the same records.
void EstimateMotionRows(const dsp::Functions& dsp, const MotionInput& in, int rowBegin,
                        int rowEnd, MacroblockInfo* mbs);

}  // namespace zr::mpeg
