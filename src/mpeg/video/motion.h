// Motion estimation: exhaustive whole-pixel search on source pictures, half-pixel
// refinement on reconstructions, and the macroblock mode decision.
#pragma once

#include <cstdint>
#include <vector>

#include "mpeg/dsp/dsp.h"
#include "mpeg/video/frame.h"
#include "mpeg/video/params.h"

namespace zr::mpeg {

struct SearchResult {
  int x2 = 0, y2 = 0;  // half-pixel position of the best match
  int sad = 0;
};

// The sum of every 8 x 8 block of a plane, by its top-left position. The four sums of a
// candidate give a lower bound of its SAD (|sum a - sum b| <= sum |a - b| per quadrant).
struct BlockSums {
  int width = 0;  // stride; sums exist for x <= width - 8, y <= height - 8
  std::vector<uint16_t> sums;
  // Allocates for a plane of this size, so that Compute never does (may throw bad_alloc).
  void Reserve(int width, int height);
  void Compute(const uint8_t* plane, int width, int height);
  const uint16_t* at(int x, int y) const { return sums.data() + size_t(y) * width + x; }

 private:
  std::vector<uint16_t> across_;
  std::vector<int> down_;
};

// `cur` points at the current macroblock's luminance, (x, y) its position in pixels;
// `srcRef` and `recRef` are whole reference luminance planes, all of stride `width`.
// The whole-pixel result is the smallest SAD, ties to the earliest position of the
// spiral of FullSearchSpiral. Positions are measured 16 at a time along rows; with
// `srcSums` (the block sums of srcRef) groups whose bounds cannot reach the best so far
// are passed over.
SearchResult FullSearch(const dsp::Functions& dsp, const uint8_t* srcRef, const uint8_t* recRef,
                        const uint8_t* cur, int x, int y, int sx, int sy, int width, int height,
                        const BlockSums* srcSums = nullptr);

// The definition: every position of the window in spiral order from the centre, a
// position replacing the best only with a strictly smaller SAD.
SearchResult FullSearchSpiral(const dsp::Functions& dsp, const uint8_t* srcRef,
                              const uint8_t* recRef, const uint8_t* cur, int x, int y, int sx,
                              int sy, int width, int height);

int IntraVariance(const uint8_t* cur, int stride);

struct MotionInput {
  int pictureType = 0;
  const Frame* current = nullptr;
  const Frame* olderSource = nullptr;
  const Frame* olderRecon = nullptr;
  const Frame* newerSource = nullptr;  // B pictures only
  const Frame* newerRecon = nullptr;
  const BlockSums* olderSums = nullptr;  // of the source luminance; null: plain search
  const BlockSums* newerSums = nullptr;
  MotionRecord record{};
};

// Fills the records of macroblock rows [rowBegin, rowEnd). Rows are independent, so any
// split over threads gives the same records.
void EstimateMotionRows(const dsp::Functions& dsp, const MotionInput& in, int rowBegin,
                        int rowEnd, MacroblockInfo* mbs);

}  // namespace zr::mpeg
